// The submissions file as the site appends to it: parsing never fails, and records written
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
    const std::vector<SubmissionEntry> submissions = ParseSubmissions(bytes);
    std::string written;
    bool plain = true;
    for (const SubmissionEntry& entry : submissions) {
        written += FormatSubmission(entry);
        plain = plain && !HasTabLine(entry.text);
    }
    if (!plain) {
        return 0;
    }
    std::string rewritten;
    for (const SubmissionEntry& entry : ParseSubmissions(written)) {
        rewritten += FormatSubmission(entry);
    }
    if (rewritten != written) {
        std::abort();
    }
    return 0;
}
