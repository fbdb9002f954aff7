#include "PageFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The process's file creation mask, read without changing it (umask() would, for every
// thread at once).
mode_t ReadUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
}

// A temporary file in the page's directory: ".<name>.XXXXXX", readable like any page.
int CreateTemporary(const std::string& path, std::string& temporary) {
    const std::size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    temporary = dir + "." + name + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return -1;
    }
    static const mode_t mask = ReadUmask();
    ::fchmod(fd, 0666 & ~mask);
    return fd;
}

} // namespace

bool WritePageFile(CTemplate& page, const std::string& path) {
    std::string temporary;
    int fd = CreateTemporary(path, temporary);
    if (fd < 0 && errno == ENOENT) {
        const std::size_t slash = path.find_last_of('/');
        if (slash != std::string::npos && slash > 0) {
            std::error_code error;
            std::filesystem::create_directories(path.substr(0, slash), error);
            fd = CreateTemporary(path, temporary);
        }
    }
    if (fd < 0) {
        std::string discarded;
        page.Render(discarded);
        return false;
    }
    if (!page.Render(fd)) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
