// Feeds arbitrary bytes to the readers of the catalogue's binary files: as a file-area store, as
// a group file, and as a download location resolved against the areas read. Besides not
// crashing, every text read must stay inside its field, and a record read and written again
// must read back the same.
#include "DownloadLocation.h"
#include "FileAreaStore.h"
#include "FuzzCheck.h"
#include "GroupFiles.h"
#include "Text.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string g_workDirectory;

void RemoveWorkDirectory() {
    ::unlink(GetFileAreaStorePath(g_workDirectory).c_str());
    ::unlink(GetGroupFilePath(g_workDirectory, "fuzz").c_str());
    ::rmdir(g_workDirectory.c_str());
}

const std::string& WorkDirectory() {
    static const std::string& dir = g_workDirectory = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/area_store_fuzz.XXXXXX";
        Check(::mkdtemp(pattern.data()) != nullptr);
        std::atexit(RemoveWorkDirectory);
        return pattern;
    }();
    return dir;
}

void Store(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    Check(fd >= 0);
    Check(::write(fd, data, size) == static_cast<ssize_t>(size));
    ::close(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& dir = WorkDirectory();
    Store(GetFileAreaStorePath(dir), data, size);
    Store(GetGroupFilePath(dir, "fuzz"), data, size);

    // A store whose ids do not ascend from 1 is refused, and says so; any other is read whole.
    std::size_t count = size / AREA_RECORD_SIZE > 0 ? size / AREA_RECORD_SIZE - 1 : 0;
    bool ascending = true;
    for (std::uint32_t index = 1, previous = 0; index <= count; ++index) {
        std::uint32_t id = 0;
        for (int byte = 3; byte >= 0; --byte) {
            id = id << 8 | data[index * AREA_RECORD_SIZE + static_cast<std::size_t>(byte)];
        }
        ascending = ascending && id > previous;
        previous = id;
    }
    CFileAreaStore store;
    Check(store.OpenForReading(dir) == ascending);
    Check(store.GetProblem().empty() == ascending);
    if (!ascending) {
        count = 0;
    }
    Check(store.GetAreaCount() == count);
    const std::vector<AreaRecord> areas = store.EnumerateAreas();
    Check(areas.size() == count);
    for (const AreaRecord& area : areas) {
        Check(area.Name.size() <= AREA_NAME_SIZE && area.Path.size() <= AREA_PATH_SIZE &&
              area.FtpAlias.size() <= AREA_PATH_SIZE && area.HttpAlias.size() <= AREA_PATH_SIZE);
        AreaRecord found;
        if (store.FindArea(area.Id, found)) {
            Check(found.Id == area.Id);
        }
        std::array<unsigned char, AREA_RECORD_SIZE> bytes;
        EncodeAreaRecord(area, bytes.data());
        const AreaRecord again = DecodeAreaRecord(bytes.data());
        Check(again.Id == area.Id && again.Flags == (area.Flags & AREA_FLAGS_MASK));
        Check(again.Name == base::CutUtf8Field(area.Name, AREA_NAME_SIZE - 1));
        Check(again.Path == base::CutUtf8Field(area.Path, AREA_PATH_SIZE - 1));
    }

    std::vector<std::uint32_t> ids;
    Check(ReadGroup(dir, "fuzz", ids));
    Check(ids.size() == size / GROUP_RECORD_SIZE);

    const std::string location(reinterpret_cast<const char*>(data), size);
    AreaRecord area;
    std::string path;
    if (ResolveLocalLocation(location, areas, area, path)) {
        Check(IsLocalLocation(location) && !area.Path.empty());
        Check(path.compare(0, area.Path.size(), area.Path) == 0);
        // Nothing after the area's directory may climb out of it.
        const std::string rest = "/" + path.substr(area.Path.size()) + "/";
        Check(rest.find("/../") == std::string::npos);
    }
    return 0;
}
