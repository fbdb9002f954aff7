#include "Publishing.h"

#include "Settings.h"

#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace services {

namespace {

namespace fs = std::filesystem;

constexpr const char* SYSTEM_DIRECTORIES[] = {"/etc",  "/proc", "/sys", "/dev",
                                              "/boot", "/root", "/bin", "/sbin",
                                              "/lib",  "/usr",  "/run", "/var/lib/dorvale"};

std::string Resolve(const std::string& path) {
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) {
        resolved = fs::absolute(path).lexically_normal();
    }
    std::string text = resolved.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

// Whether `inner` is `outer` or lies below it.
bool IsWithin(const std::string& inner, const std::string& outer) {
    return inner == outer || outer == "/" ||
           (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
            inner[outer.size()] == '/');
}

} // namespace

std::vector<std::string> ProtectedDirectories() {
    std::vector<std::string> dirs;
    const char* registry = std::getenv("DORVALE_REGISTRY");
    dirs.emplace_back(registry != nullptr && *registry != '\0' ? registry
                                                               : "/var/lib/dorvale/registry");
    std::string database;
    if (ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                         database) &&
        !database.empty()) {
        dirs.push_back(database);
    }
    dirs.emplace_back("/var/lib/dorvale");
    return dirs;
}

bool CheckPublishable(const std::string& directory, std::string& resolved, std::string& why,
                      const std::vector<std::string>& protectedDirs) {
    if (directory.empty() || directory.front() != '/') {
        why = "it is not an absolute path";
        return false;
    }
    resolved = Resolve(directory);
    if (resolved == "/") {
        why = "it is the root of the file system";
        return false;
    }
    for (const char* system : SYSTEM_DIRECTORIES) {
        if (IsWithin(resolved, system)) {
            why = std::string("it is the system directory ") + system + " or lies inside it";
            return false;
        }
    }
    for (const std::string& store : protectedDirs) {
        const std::string kept = Resolve(store);
        if (IsWithin(kept, resolved)) {
            why = "it holds Dorvale's own " + kept +
                  " (the registry, the database directory or "
                  "the state directory)";
            return false;
        }
    }
    return true;
}

bool ChooseWorkerAccount(const std::vector<std::string>& candidates, std::string& user,
                         std::string& group, std::string& why) {
    if (::geteuid() != 0) {
        const passwd* self = ::getpwuid(::geteuid());
        const struct group* own = ::getgrgid(::getegid());
        user = self != nullptr ? self->pw_name : std::to_string(::geteuid());
        group = own != nullptr ? own->gr_name : std::to_string(::getegid());
        return true;
    }
    for (const std::string& candidate : candidates) {
        const passwd* account = ::getpwnam(candidate.c_str());
        if (account == nullptr || account->pw_uid == 0) {
            continue;
        }
        const struct group* primary = ::getgrgid(account->pw_gid);
        user = candidate;
        group = primary != nullptr ? primary->gr_name : std::to_string(account->pw_gid);
        return true;
    }
    why = "started as root, but none of the unprivileged accounts";
    for (const std::string& candidate : candidates) {
        why += " " + candidate;
    }
    why += " exists to run the server as; refusing to run it as root";
    return false;
}

} // namespace services
