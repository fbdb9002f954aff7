// Member paths as typed on a command line: parsing never fails loudly, and what parses
// formats back to a text that parses to the same path.

#include "AutoExpression.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<autohost::CMemberCall> path;
    std::string error;
    if (!autohost::ParseMemberPath(text, path, error)) {
        if (error.empty()) {
            std::abort();
        }
        return 0;
    }
    std::string formatted;
    for (const auto& call : path) {
        formatted += (formatted.empty() ? "" : ".") + autohost::FormatMemberCall(call);
    }
    std::vector<autohost::CMemberCall> again;
    if (!autohost::ParseMemberPath(formatted, again, error) || again.size() != path.size()) {
        std::abort();
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (again[i].name != path[i].name || again[i].arguments != path[i].arguments ||
            again[i].hasParentheses != path[i].hasParentheses) {
            std::abort();
        }
    }
    // A single path read as a sequence is a sequence of one.
    std::vector<std::vector<autohost::CMemberCall>> paths;
    if (!autohost::ParseMemberPaths(text, paths, error) || paths.size() != 1 ||
        paths[0].size() != path.size()) {
        std::abort();
    }
    return 0;
}
