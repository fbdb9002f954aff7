#pragma once
// Writing one page file so that a visitor never receives half a page: the page is rendered
// into a temporary file beside its final name and renamed over it when whole.

#include "Template.h"

#include <string>

// Renders the page into `path`, creating missing directories. When the file cannot be
// written the page is still rendered (its loops still read their rows) into nothing, `error`
// is "<path>: <the system's reason>" and the result is false; a page that could not be
// written whole leaves any older file in place.
[[nodiscard]] bool WritePageFile(CTemplate& page, const std::string& path, std::string& error);
