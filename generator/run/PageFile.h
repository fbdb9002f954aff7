#pragma once
// Writing one page file so that a visitor never receives half a page: the page is written
// into a temporary file beside its final name and renamed over it when whole.

#include "Template.h"

#include <string>
#include <string_view>

// Renders the page into `path`, creating missing directories. When the file cannot be
// written the page is still rendered (its loops still read their rows) into nothing, `error`
// is "<path>: <the system's reason>" and the result is false; a page that could not be
// written whole leaves any older file in place.
[[nodiscard]] bool WritePageFile(CTemplate& page, const std::string& path, std::string& error);
// The same for a page already rendered.
[[nodiscard]] bool WritePageFile(std::string_view bytes, const std::string& path,
                                 std::string& error);
