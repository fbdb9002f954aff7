// Review files and the submissions file as the site and editors leave them: parsing never
// fails, and records written back read the same (unless a text line begins with a TAB, which
// by design ends a record).
#include "Reviews.h"

#include <cstdlib>

namespace {

bool HasTabLine(std::string text) {
    std::erase(text, '\r');
    return (!text.empty() && text[0] == '\t') || text.find("\n\t") != std::string::npos;
}

template <class TEntry, class TParse, class TFormat>
void CheckRoundTrip(std::string_view bytes, TParse parse, TFormat format) {
    std::string written;
    for (const TEntry& entry : parse(bytes)) {
        if (HasTabLine(entry.text)) {
            return;
        }
        written += format(entry);
    }
    std::string rewritten;
    for (const TEntry& entry : parse(written)) {
        rewritten += format(entry);
    }
    if (rewritten != written) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckRoundTrip<ReviewEntry>(bytes, ParseReviews, FormatReview);
    CheckRoundTrip<SubmissionEntry>(bytes, ParseSubmissions, FormatSubmission);
    return 0;
}
