#include "PageFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

// A temporary file in the page's directory, ".<process>-<count>.tmp", created like any page
// (so the process's file creation mask applies) and never over another file. The name is
// short and its length does not depend on the page's: a page whose name takes the whole of
// the 255 bytes a name may have still gets a temporary file beside it.
int CreateTemporary(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned long> counter{0};
    const std::size_t slash = path.find_last_of('/');
    temporary.assign(path, 0, slash == std::string::npos ? 0 : slash + 1);
    temporary += '.';
    temporary += std::to_string(::getpid());
    temporary += '-';
    temporary += std::to_string(counter.fetch_add(1));
    temporary += ".tmp";
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        // Left by an earlier process of the same number that was killed.
        ::unlink(temporary.c_str());
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    return fd;
}

} // namespace

bool WritePageFile(CTemplate& page, const std::string& path, std::string& error) {
    std::string temporary;
    std::error_code why;
    int fd = CreateTemporary(path, temporary);
    if (fd < 0 && errno == ENOENT) {
        const std::size_t slash = path.find_last_of('/');
        if (slash != std::string::npos && slash > 0) {
            // The directory's own reason (a file in the way, no permission) says more than
            // the temporary file's "no such file or directory".
            std::filesystem::create_directories(path.substr(0, slash), why);
            if (!why) {
                fd = CreateTemporary(path, temporary);
            }
        }
    }
    if (fd < 0) {
        if (!why) {
            why.assign(errno, std::generic_category());
        }
        std::string discarded;
        page.Render(discarded);
        error = path + ": " + why.message();
        return false;
    }
    // Render closes the descriptor.
    if (!page.Render(fd) || std::rename(temporary.c_str(), path.c_str()) != 0) {
        why.assign(errno, std::generic_category());
        ::unlink(temporary.c_str());
        error = path + ": " + why.message();
        return false;
    }
    return true;
}
