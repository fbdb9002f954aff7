// Feeds arbitrary bytes to the hive reader. Whatever it accepts must write out as text that
// reads back to the same keys and values and writes out again identically.
#include "RegText.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace regtext;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<CEntry> entries;
    CParseError error;
    if (!ParseRegText(text, true, entries, error)) {
        if (error.line < 1 || error.message.empty()) {
            std::abort();
        }
        return 0;
    }
    for (int i = 0; i < ROOT_COUNT; ++i) {
        const ERoot root = static_cast<ERoot>(i);
        CKey tree(RootName(root));
        ApplyEntries(tree, root, entries);
        const std::string written = WriteRegText(tree, RootName(root), false);

        std::vector<CEntry> again;
        if (!ParseRegText(written, false, again, error)) {
            std::abort();
        }
        CKey reread(RootName(root));
        ApplyEntries(reread, root, again);
        if (WriteRegText(reread, RootName(root), false) != written) {
            std::abort();
        }
    }
    return 0;
}
