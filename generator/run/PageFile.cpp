#include "PageFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

// A temporary file in the page's directory, ".<name>.<process>-<count>", created like any
// page (so the process's file creation mask applies) and never over another file.
int CreateTemporary(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned long> counter{0};
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    temporary.assign(path, 0, nameStart);
    temporary += '.';
    temporary.append(path, nameStart, std::string::npos);
    temporary += '.';
    temporary += std::to_string(::getpid());
    temporary += '-';
    temporary += std::to_string(counter.fetch_add(1));
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        // Left by an earlier process of the same number that was killed.
        ::unlink(temporary.c_str());
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
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
