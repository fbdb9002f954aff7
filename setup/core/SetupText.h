#pragma once
// Small text rules of the setup program's fields and lists: trimming, list order. (Letter
// case and cutting are platform/base's.)

#include <string>
#include <string_view>

namespace setuptext {

// Without spaces at either end (only the space character, as the fields trim).
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
// Ordering for the lists shown to the user: letter case ignored first, then exact.
bool LessForList(const std::string& a, const std::string& b);

} // namespace setuptext
