// Cuts arbitrary bytes at every limit and checks what a cut promises: a prefix within the
// limit, never a split sequence, never more lost than a split sequence's bytes, and for
// well-formed text the last character boundary within the limit.
#include "FuzzCheck.h"
#include "Text.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

// Decodes the sequence at `at` the strict way (no overlong forms, no surrogates, nothing
// above U+10FFFF); its length, or 0 when it is not well-formed.
std::size_t WellFormedLength(std::string_view text, std::size_t at) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const std::size_t left = text.size() - at;
    const unsigned char lead = b(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || left < length) {
        return 0;
    }
    const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    if (b(1) < low || b(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (b(i) < 0x80 || b(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

// Where each character of well-formed text starts (and its end); empty when it is not
// well-formed.
std::vector<bool> CharacterStarts(std::string_view text) {
    std::vector<bool> starts(text.size() + 1, false);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = WellFormedLength(text, at);
        if (length == 0) {
            return {};
        }
        starts[at] = true;
        at += length;
    }
    starts[text.size()] = true;
    return starts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<bool> starts = CharacterStarts(text);
    const std::size_t nul = text.find('\0');
    for (std::size_t limit = 0; limit <= text.size() + 1; ++limit) {
        const std::string_view cut = base::CutUtf8(text, limit);
        Check(cut.data() == text.data() && cut.size() <= limit && cut.size() <= text.size());
        if (text.size() <= limit) {
            Check(cut.size() == text.size());
            continue;
        }
        // At most the three bytes of a sequence that the limit would split are given up.
        Check(cut.size() + 3 >= limit);
        // The byte after a shortened cut continues the sequence the cut left out.
        if (cut.size() < limit) {
            Check(base::IsUtf8Continuation(text[limit]));
            Check(!base::IsUtf8Continuation(text[cut.size()]));
        }
        // Well-formed text is cut at the last character start within the limit.
        if (!starts.empty()) {
            Check(starts[cut.size()]);
            for (std::size_t at = cut.size() + 1; at <= limit; ++at) {
                Check(!starts[at]);
            }
            Check(base::Utf8CompleteLength(text.substr(0, limit)) == cut.size());
        }
        Check(base::Utf8CutBefore(text.substr(0, limit), text[limit]) == cut.size());
        // A field ends at its first NUL too, and is the plain cut when none comes that early.
        const std::string_view field = base::CutUtf8Field(text, limit);
        Check(field.data() == text.data() && field.find('\0') == std::string_view::npos);
        Check(nul <= limit ? field.size() <= nul : field == cut);
    }
    return 0;
}
