#include "GroupFiles.h"

#include "FileAreaStore.h"
#include "RecordFile.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t EXTENSION_LENGTH = sizeof(GROUP_FILE_EXTENSION) - 1;

bool EndsWithExtension(const std::string& fileName) {
    return fileName.size() > EXTENSION_LENGTH &&
           fileName.compare(fileName.size() - EXTENSION_LENGTH, EXTENSION_LENGTH,
                            GROUP_FILE_EXTENSION) == 0;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace

bool IsValidGroupName(const std::string& name) {
    return !name.empty() && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

namespace {

// The rules names of groups and areas share.
std::string NameProblem(const std::string& name, const char* what) {
    const std::string subject = std::string("A ") + what + " name";
    if (name.empty()) {
        return subject + " cannot be empty.";
    }
    for (const char c : name) {
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return subject + " cannot contain \"/\" or control characters.";
        }
    }
    if (name.front() == '.') {
        return subject + " cannot begin with \".\".";
    }
    return {};
}

} // namespace

std::string GetGroupNameProblem(const std::string& name) {
    std::string problem = NameProblem(name, "group");
    for (const char* own : {PAGES_BODY_DIRECTORY, PAGES_HEADER_DIRECTORY, PAGES_TOP_DIRECTORY}) {
        if (problem.empty() && name == own) {
            problem = "The name \"" + name +
                      "\" is used by the site's own pages and cannot name a group.";
        }
    }
    if (problem.empty() && name.size() > GROUP_NAME_MAX_BYTES) {
        problem =
            "A group name can be at most " + std::to_string(GROUP_NAME_MAX_BYTES) + " bytes long.";
    }
    return problem;
}

std::string GetAreaNameProblem(const std::string& name) {
    return NameProblem(name, "file area");
}

std::string GetGroupFilePath(const std::string& databasePath, const std::string& name) {
    return JoinPath(databasePath, name + GROUP_FILE_EXTENSION);
}

std::vector<std::string> EnumerateGroups(const std::string& databasePath) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(databasePath.empty() ? "." : databasePath, ec);
    const std::filesystem::directory_iterator end;
    while (!ec && it != end) {
        const std::string fileName = it->path().filename().string();
        // A file named only ".group" would be a group without a name; leave it alone.
        if (EndsWithExtension(fileName)) {
            std::error_code typeError;
            if (it->is_regular_file(typeError)) {
                names.push_back(fileName.substr(0, fileName.size() - EXTENSION_LENGTH));
            }
        }
        it.increment(ec);
    }
    return names;
}

bool ReadGroup(const std::string& databasePath, const std::string& name,
               std::vector<std::uint32_t>& ids, std::string* problem) {
    ids.clear();
    if (!IsValidGroupName(name)) {
        return false;
    }
    RecordFile file(GROUP_RECORD_SIZE, false);
    if (!file.Open(GetGroupFilePath(databasePath, name), 0, false)) {
        return false;
    }
    const std::size_t count = file.GetRecordCount();
    if (count > MAX_GROUP_IDS) {
        if (problem) {
            *problem = GetGroupFilePath(databasePath, name) + " holds " + std::to_string(count) +
                       " ids, more than the " + std::to_string(MAX_GROUP_IDS) +
                       " a group may hold: it is damaged";
        }
        return false;
    }
    ids.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* r = file.GetRecord(i);
        ids.push_back(static_cast<std::uint32_t>(r[0]) | (static_cast<std::uint32_t>(r[1]) << 8) |
                      (static_cast<std::uint32_t>(r[2]) << 16) |
                      (static_cast<std::uint32_t>(r[3]) << 24));
    }
    return true;
}

bool WriteGroup(const std::string& databasePath, const std::string& name,
                const std::vector<std::uint32_t>& ids, const std::string& oldName) {
    const bool renamed = !oldName.empty() && oldName != name;
    if (!IsValidGroupName(name) || (renamed && !IsValidGroupName(oldName))) {
        return false;
    }

    // The ids go to a fresh file beside the group's, which then replaces it: a failed write
    // leaves the group as it was instead of empty or half written. The temporary name does
    // not end in the extension, so it never shows up as a group.
    const std::string path = GetGroupFilePath(databasePath, name);
    const std::string temporary =
        JoinPath(databasePath, "." + name + GROUP_FILE_EXTENSION + ".new");
    if (!RemoveFile(temporary)) {
        return false;
    }
    bool ok;
    {
        RecordFile file(GROUP_RECORD_SIZE, true);
        ok = file.Open(temporary, 0);
        for (std::size_t i = 0; ok && i < ids.size(); ++i) {
            const std::uint32_t id = ids[i];
            const unsigned char record[GROUP_RECORD_SIZE] = {
                static_cast<unsigned char>(id & 0xFF), static_cast<unsigned char>((id >> 8) & 0xFF),
                static_cast<unsigned char>((id >> 16) & 0xFF),
                static_cast<unsigned char>((id >> 24) & 0xFF)};
            ok = file.WriteRecord(file.GetRecordCount(), record);
        }
        ok = ok && file.GetRecordCount() == ids.size() && file.Flush();
    }
    if (!ok || ::rename(temporary.c_str(), path.c_str()) != 0) {
        RemoveFile(temporary);
        return false;
    }
    if (renamed) {
        return RemoveFile(GetGroupFilePath(databasePath, oldName));
    }
    return true;
}

bool DeleteGroup(const std::string& databasePath, const std::string& name) {
    return IsValidGroupName(name) && RemoveFile(GetGroupFilePath(databasePath, name));
}
