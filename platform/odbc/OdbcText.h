#pragma once
// Statements and values lose their padding the same way in the ODBC classes and the data
// source tool.

#include <string>

namespace odbctext {

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
