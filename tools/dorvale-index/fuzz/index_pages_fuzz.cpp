// What reaches the index server and the setup program from the network: the update form, a
// search's query string, a request's head, and the root list. None may crash; a form made
// by the setup program's encoder reads back as it was sent.
#include "FuzzCheck.h"
#include "IndexRoots.h"
#include "IndexServer.h"
#include "IndexService.h"
#include "Text.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(DecodeFormText(EncodeFormText(text)) == text);
    for (const CIndexRootEntry& entry : ParseUpdateForm(text)) {
        Check(!entry.root.empty() && entry.root == base::LowerAscii(entry.root));
    }
    (void)ParseQueryString(text);
    CHttpRequest request;
    long long length = 0;
    if (ParseRequestHead(text, request, length)) {
        Check(length >= 0);
    }
    const auto roots = ParseIndexRoots(text);
    for (const CIndexRoot& root : roots) {
        Check(root.first == base::LowerAscii(root.first));
    }
    // The roots go back into the update form, which the service reads as they were reported.
    const auto posted = ParseUpdateForm(BuildIndexForm(roots, {}));
    for (const CIndexRootEntry& entry : posted) {
        Check(!entry.indexed);
    }
    return 0;
}
