// The metabase file's parser on arbitrary bytes: it must refuse or accept without harm, and
// what it accepts must come back unchanged through writing and reading again.
#include "MetabaseTree.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    metabase::CTree tree;
    std::string error;
    if (!tree.Parse(std::string_view(reinterpret_cast<const char*>(data), size), error)) {
        return 0;
    }
    const std::string text = tree.Write();
    metabase::CTree again;
    if (!again.Parse(text, error) || again.Write() != text) {
        std::abort();
    }
    return 0;
}
