#pragma once
// Download locations: either a URL, used unchanged, or a local location
// `local://<area id>/<name>` naming a file below the directory of a file area.

#include "FileAreaStore.h"

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char LOCAL_LOCATION_PREFIX[] = "local://";

// `local://`, the decimal id, `/` and the name relative to the area's directory.
std::string BuildLocalLocation(std::uint32_t areaId, const std::string& fileName);

// True when the location starts with `local://` in any letter case; anything else is a URL.
bool IsLocalLocation(const std::string& location);

// Splits a local location into its area id and relative name. Fails for a URL, when no
// digits follow the prefix, when the id does not fit, when no `/` follows the digits, and
// for a name that would lead out of the area's directory (empty, starting with `/`, or with
// a `..` component).
bool ParseLocalLocation(const std::string& location, std::uint32_t& areaId, std::string& fileName);

// Finds the area of a local location and the path of its file (the area's Path and the
// name joined with `/`). Fails, meaning "no local file", when the location does not parse,
// no area has that id, or the area has no directory.
bool ResolveLocalLocation(const std::string& location, const CFileAreaStore& store,
                          AreaRecord& area, std::string& localPath);
bool ResolveLocalLocation(const std::string& location, const std::vector<AreaRecord>& areas,
                          AreaRecord& area, std::string& localPath);
