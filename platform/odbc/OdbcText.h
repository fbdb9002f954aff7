#pragma once
// Small text helpers shared by the ODBC classes and the data source tool: keywords, names
// and attribute keys compare without case, and statements and values lose their padding.

#include <algorithm>
#include <cctype>
#include <string>

namespace odbctext {

// `text` with ASCII letters in lower case.
inline std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// `text` without its leading white space and without any trailing run of `trailing`.
inline std::string Trim(const std::string& text, const char* trailing = " \t\r\n") {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(trailing);
    return text.substr(first, last - first + 1);
}

} // namespace odbctext
