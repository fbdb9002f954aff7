#include "PageFile.h"

#include "Fd.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <pthread.h>
#include <system_error>
#include <unistd.h>

namespace {

// The process's number, asked once: a run writes hundreds of thousands of temporary names. A
// child made by fork asks again, so that its names never meet its parent's.
pid_t ProcessId() {
    static std::atomic<pid_t> cached{0};
    [[maybe_unused]] static const int FORGOTTEN_IN_CHILDREN =
        ::pthread_atfork(nullptr, nullptr, [] { cached = 0; });
    pid_t pid = cached.load(std::memory_order_relaxed);
    if (pid == 0) {
        pid = ::getpid();
        cached.store(pid, std::memory_order_relaxed);
    }
    return pid;
}

// A temporary file in the page's directory, ".<process>-<count>.tmp", created like any page
// (so the process's file creation mask applies) and never over another file. The name is
// short and its length does not depend on the page's: a page whose name takes the whole of
// the 255 bytes a name may have still gets a temporary file beside it.
int CreateTemporary(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned long> counter{0};
    const std::size_t slash = path.find_last_of('/');
    temporary.assign(path, 0, slash == std::string::npos ? 0 : slash + 1);
    temporary += '.';
    temporary += std::to_string(ProcessId());
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

// Opens the temporary file for `path`, creating missing directories; -1 with `error` set
// when it cannot.
int OpenTemporary(const std::string& path, std::string& temporary, std::string& error) {
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
        error = path + ": " + why.message();
    }
    return fd;
}

// Names the written temporary file `path`, or removes it when it was not written whole.
bool PutInPlace(bool written, const std::string& temporary, const std::string& path,
                std::string& error) {
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::error_code why(errno, std::generic_category());
        ::unlink(temporary.c_str());
        error = path + ": " + why.message();
        return false;
    }
    return true;
}

} // namespace

bool WritePageFile(CTemplate& page, const std::string& path, std::string& error) {
    std::string temporary;
    const int fd = OpenTemporary(path, temporary, error);
    if (fd < 0) {
        std::string discarded;
        page.Render(discarded);
        return false;
    }
    // Render closes the descriptor.
    return PutInPlace(page.Render(fd), temporary, path, error);
}

bool WritePageFile(std::string_view bytes, const std::string& path, std::string& error) {
    std::string temporary;
    const int fd = OpenTemporary(path, temporary, error);
    if (fd < 0) {
        return false;
    }
    const bool written = base::WriteAll(fd, bytes);
    // A close that fails may have lost what was written.
    return PutInPlace(::close(fd) == 0 && written, temporary, path, error);
}
