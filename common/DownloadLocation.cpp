#include "DownloadLocation.h"

#include "Text.h"

#include <cstring>
#include <limits>

namespace {

constexpr std::size_t PREFIX_LENGTH = sizeof(LOCAL_LOCATION_PREFIX) - 1;

// The name is joined to the area's directory, so it must stay inside it.
bool IsSafeRelativeName(const std::string& name) {
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string::npos) {
        return false;
    }
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) {
            end = name.size();
        }
        if (name.compare(start, end - start, "..") == 0) {
            return false;
        }
        start = end + 1;
    }
    return true;
}

bool MakeLocalPath(const AreaRecord& area, const std::string& fileName, std::string& localPath) {
    // An area without a directory has no local files; joining would name a file at the root.
    if (area.Path.empty()) {
        return false;
    }
    localPath = JoinPath(area.Path, fileName);
    return true;
}

} // namespace

std::string BuildLocalLocation(std::uint32_t areaId, const std::string& fileName) {
    return LOCAL_LOCATION_PREFIX + std::to_string(areaId) + '/' + fileName;
}

bool IsLocalLocation(const std::string& location) {
    return base::StartsWithNoCase(location, LOCAL_LOCATION_PREFIX);
}

bool ParseLocalLocation(const std::string& location, std::uint32_t& areaId, std::string& fileName) {
    if (!IsLocalLocation(location)) {
        return false;
    }
    std::size_t pos = PREFIX_LENGTH;
    std::uint64_t id = 0;
    const std::size_t digitsStart = pos;
    while (pos < location.size() && location[pos] >= '0' && location[pos] <= '9') {
        id = id * 10 + static_cast<std::uint64_t>(location[pos] - '0');
        if (id > std::numeric_limits<std::uint32_t>::max()) {
            return false; // no area can have that id
        }
        ++pos;
    }
    if (pos == digitsStart || pos >= location.size() || location[pos] != '/') {
        return false;
    }
    std::string name = location.substr(pos + 1);
    if (!IsSafeRelativeName(name)) {
        return false;
    }
    areaId = static_cast<std::uint32_t>(id);
    fileName = std::move(name);
    return true;
}

bool ResolveLocalLocation(const std::string& location, const CFileAreaStore& store,
                          AreaRecord& area, std::string& localPath) {
    std::uint32_t id = 0;
    std::string fileName;
    AreaRecord found;
    if (!ParseLocalLocation(location, id, fileName) || !store.FindArea(id, found) ||
        !MakeLocalPath(found, fileName, localPath)) {
        return false;
    }
    area = std::move(found);
    return true;
}

bool ResolveLocalLocation(const std::string& location, const std::vector<AreaRecord>& areas,
                          AreaRecord& area, std::string& localPath) {
    std::uint32_t id = 0;
    std::string fileName;
    if (!ParseLocalLocation(location, id, fileName)) {
        return false;
    }
    for (const AreaRecord& candidate : areas) {
        if (candidate.Id == id) {
            if (!MakeLocalPath(candidate, fileName, localPath)) {
                return false;
            }
            area = candidate;
            return true;
        }
    }
    return false;
}
