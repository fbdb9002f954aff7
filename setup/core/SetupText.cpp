#include "SetupText.h"

#include "Text.h"

#include <algorithm>

namespace setuptext {

std::string Trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string TrimLeft(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

bool LessForList(const std::string& a, const std::string& b) {
    const std::string la = base::LowerAscii(a);
    const std::string lb = base::LowerAscii(b);
    return la != lb ? la < lb : a < b;
}

} // namespace setuptext
