#include "HiveStore.h"

#include "Fd.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace hivestore {

namespace {

using base::CFd;

constexpr std::size_t MAX_HIVE_BYTES = std::size_t{1} << 30;

// A parsed hive file, kept while its bytes stay the same.
struct CLoaded {
    std::string bytes;
    std::shared_ptr<const CKey> tree; // null when the file cannot be parsed
    std::string error;
};

std::mutex g_cacheMutex;
std::map<std::string, std::shared_ptr<const CLoaded>> g_cache;

bool IsUserHive(ERoot root) {
    return root == ERoot::CurrentUser;
}

std::string UserConfigDirectory() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') {
        return std::string(home) + "/.config";
    }
    struct passwd entry;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found) {
        return std::string(found->pw_dir) + "/.config";
    }
    return "/tmp";
}

LONG ReadError(int err) {
    return (err == EACCES || err == EPERM) ? ERROR_ACCESS_DENIED : ERROR_CANTREAD;
}

LONG WriteError(int err) {
    return (err == EACCES || err == EPERM || err == EROFS) ? ERROR_ACCESS_DENIED : ERROR_CANTWRITE;
}

void Lock(int fd, int operation) {
    while (::flock(fd, operation) != 0 && errno == EINTR) {
    }
}

std::shared_ptr<const CLoaded> Parse(ERoot root, const std::string& path, std::string bytes) {
    auto loaded = std::make_shared<CLoaded>();
    std::vector<regtext::CEntry> entries;
    regtext::CParseError error;
    if (!regtext::ParseRegText(bytes, true, entries, error)) {
        loaded->error = path + ":" + std::to_string(error.line) + ": " + error.message;
    } else {
        for (const auto& entry : entries) {
            if (entry.root != root) {
                loaded->error = path + ":" + std::to_string(entry.line) + ": a key outside " +
                                regtext::RootName(root);
                break;
            }
        }
    }
    if (loaded->error.empty()) {
        auto tree = std::make_shared<CKey>(regtext::RootName(root));
        regtext::ApplyEntries(*tree, root, entries);
        loaded->tree = std::move(tree);
    }
    loaded->bytes = std::move(bytes);
    return loaded;
}

// Reads the hive file as it is now; the caller holds the lock when there is one.
LONG Load(ERoot root, const std::string& path, std::shared_ptr<const CLoaded>& loaded,
          mode_t* mode) {
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) {
        if (errno == ENOENT) {
            auto empty = std::make_shared<CLoaded>();
            empty->tree = std::make_shared<CKey>(regtext::RootName(root));
            loaded = std::move(empty);
            return ERROR_SUCCESS;
        }
        return ReadError(errno);
    }
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0) {
        return ReadError(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        auto bad = std::make_shared<CLoaded>();
        bad->error = path + ": not a regular file";
        loaded = std::move(bad);
        return ERROR_SUCCESS;
    }
    if (mode) {
        *mode = st.st_mode & 07777;
    }
    std::string bytes;
    if (!base::ReadAll(fd.Get(), bytes, MAX_HIVE_BYTES)) {
        if (errno == EFBIG) {
            auto bad = std::make_shared<CLoaded>();
            bad->error = path + ": larger than 1 GiB";
            loaded = std::move(bad);
            return ERROR_SUCCESS;
        }
        return ReadError(errno);
    }
    {
        std::lock_guard<std::mutex> guard(g_cacheMutex);
        const auto it = g_cache.find(path);
        if (it != g_cache.end() && it->second->bytes == bytes) {
            loaded = it->second;
            return ERROR_SUCCESS;
        }
    }
    loaded = Parse(root, path, std::move(bytes));
    std::lock_guard<std::mutex> guard(g_cacheMutex);
    g_cache[path] = loaded;
    return ERROR_SUCCESS;
}

// Reads under a shared lock when the lock file can be had; hives are only ever replaced by
// rename, so a reader without it still sees a whole file.
LONG LoadShared(ERoot root, std::shared_ptr<const CLoaded>& loaded) {
    const std::string path = HivePath(root);
    const std::string lockPath = path + ".lock";
    CFd lock(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!lock.IsOpen() && errno == ENOENT) {
        lock.Reset(
            ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, IsUserHive(root) ? 0600 : 0644));
    }
    if (lock.IsOpen()) {
        Lock(lock.Get(), LOCK_SH);
    }
    return Load(root, path, loaded, nullptr);
}

void SyncDirectory(const std::string& dir) {
    CFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.IsOpen()) {
        ::fsync(fd.Get());
    }
}

// Writes `text` beside the hive and renames it over the hive.
LONG Replace(const std::string& dir, const std::string& path, const std::string& text,
             mode_t mode) {
    const std::string temp = path + ".tmp";
    CFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (!fd.IsOpen()) {
        return WriteError(errno);
    }
    int err = 0;
    if (::fchmod(fd.Get(), mode) != 0 || !base::WriteAll(fd.Get(), text) ||
        ::fsync(fd.Get()) != 0) {
        err = errno;
    }
    if (!fd.Close() && err == 0) {
        err = errno;
    }
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(temp.c_str());
        return WriteError(err);
    }
    SyncDirectory(dir);
    return ERROR_SUCCESS;
}

} // namespace

std::string HiveDirectory(ERoot root) {
    const char* dir = std::getenv("DORVALE_REGISTRY");
    if (dir && *dir) {
        return dir;
    }
    if (IsUserHive(root)) {
        return UserConfigDirectory() + "/dorvale";
    }
    return "/var/lib/dorvale/registry";
}

std::string HivePath(ERoot root) {
    return HiveDirectory(root) + "/" + regtext::RootName(root) + ".reg";
}

LONG ReadHive(ERoot root, std::shared_ptr<const CKey>& tree) {
    std::shared_ptr<const CLoaded> loaded;
    const LONG result = LoadShared(root, loaded);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (!loaded->tree) {
        return ERROR_BADDB;
    }
    tree = loaded->tree;
    return ERROR_SUCCESS;
}

std::string HiveError(ERoot root) {
    std::shared_ptr<const CLoaded> loaded;
    const LONG result = LoadShared(root, loaded);
    if (result != ERROR_SUCCESS) {
        return HivePath(root) + ": " +
               (result == ERROR_ACCESS_DENIED ? "permission denied" : "cannot be read");
    }
    return loaded->error;
}

LONG ModifyHive(ERoot root, const Change& change) {
    const std::string dir = HiveDirectory(root);
    const std::string path = HivePath(root);
    const mode_t defaultMode = IsUserHive(root) ? 0600 : 0644;

    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        return WriteError(ec.value());
    }
    CFd lock(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, defaultMode));
    if (!lock.IsOpen()) {
        return WriteError(errno);
    }
    Lock(lock.Get(), LOCK_EX);

    std::shared_ptr<const CLoaded> loaded;
    mode_t mode = defaultMode;
    LONG result = Load(root, path, loaded, &mode);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (!loaded->tree) {
        return ERROR_BADDB;
    }
    // A hive made read-only stays unchanged, although the directory would allow the rename.
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) {
        return WriteError(errno);
    }
    std::shared_ptr<CKey> edited = loaded->tree->Clone();
    bool changed = false;
    result = change(*edited, changed);
    if (result != ERROR_SUCCESS || !changed) {
        return result;
    }
    auto next = std::make_shared<CLoaded>();
    next->bytes = regtext::WriteRegText(*edited, regtext::RootName(root), false);
    result = Replace(dir, path, next->bytes, mode);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    next->tree = std::move(edited);
    std::lock_guard<std::mutex> guard(g_cacheMutex);
    g_cache[path] = std::move(next);
    return ERROR_SUCCESS;
}

} // namespace hivestore
