// Feeds arbitrary text to the upload link's parser. Besides not crashing, every parameter it
// accepts must come back unchanged from a link built with it.
#include "FuzzCheck.h"
#include "UploadLink.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CUploadLinkParameters parameters;
    std::string error;
    if (!ParseUploadLink(text, parameters, error)) {
        Check(!error.empty());
        return 0;
    }
    for (const auto& [name, value] : parameters) {
        Check(name.find('\0') == std::string::npos && value.find('\0') == std::string::npos);
        CUploadLinkParameters again;
        Check(ParseUploadLink(BuildUploadLink(value, name, "u"), again, error));
        Check(again.size() == 3 && again[0].second == value && again[2].second == name);
    }
    return 0;
}
