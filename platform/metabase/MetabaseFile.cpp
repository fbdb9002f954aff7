#include "MetabaseFile.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace metabase {

namespace {

constexpr char FILE_NAME[] = "metabase.txt";
constexpr char LOCK_NAME[] = "metabase.lock";

std::string Reason() {
    return std::strerror(errno);
}

} // namespace

std::string MetabaseDirectory() {
    const char* dir = std::getenv("DORVALE_REGISTRY");
    return dir != nullptr && *dir != '\0' ? dir : "/var/lib/dorvale/registry";
}

bool CMetabaseLock::Acquire(const std::string& directory, bool exclusive, unsigned timeoutMs) {
    m_fd.Reset(::open((directory + "/" + LOCK_NAME).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (!m_fd.IsOpen()) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (::flock(m_fd.Get(), (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_fd.Reset();
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            m_fd.Reset();
            errno = EBUSY;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool LoadTree(const std::string& directory, CTree& tree, std::string& error) {
    const std::string path = directory + "/" + FILE_NAME;
    base::CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) {
        if (errno == ENOENT) {
            tree = CTree();
            return true;
        }
        error = path + ": " + Reason();
        return false;
    }
    std::string text;
    // Far above any real tree; a larger file is damaged.
    if (!base::ReadAll(fd.Get(), text, 64 << 20)) {
        error = path + ": " + Reason();
        return false;
    }
    std::string fault;
    if (!tree.Parse(text, fault)) {
        error = path + ":" + fault;
        return false;
    }
    return true;
}

bool SaveTree(const std::string& directory, const CTree& tree, std::string& error) {
    const std::string path = directory + "/" + FILE_NAME;
    const std::string temp = path + ".new";
    base::CFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.IsOpen() || !base::WriteAll(fd.Get(), tree.Write()) || ::fsync(fd.Get()) != 0 ||
        !fd.Close() || ::rename(temp.c_str(), path.c_str()) != 0) {
        error = path + ": " + Reason();
        ::unlink(temp.c_str());
        return false;
    }
    // The rename itself is only durable once the directory is.
    base::CFd dir(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsOpen()) {
        ::fsync(dir.Get());
    }
    return true;
}

} // namespace metabase
