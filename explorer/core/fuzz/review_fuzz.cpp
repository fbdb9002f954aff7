// Review files as the site and editors leave them: parsing never fails, and records written
// back read the same (unless a text line begins with a TAB, which by design ends a record).
#include "Reviews.h"

#include <cstdlib>

namespace {

bool HasTabLine(std::string text) {
    std::erase(text, '\r');
    return (!text.empty() && text[0] == '\t') || text.find("\n\t") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<ReviewEntry> reviews = ParseReviews(bytes);
    std::string written;
    bool plain = true;
    for (const ReviewEntry& review : reviews) {
        written += FormatReview(review);
        plain = plain && !HasTabLine(review.text);
    }
    if (!plain) {
        return 0;
    }
    std::string rewritten;
    for (const ReviewEntry& review : ParseReviews(written)) {
        rewritten += FormatReview(review);
    }
    if (rewritten != written) {
        std::abort();
    }
    return 0;
}
