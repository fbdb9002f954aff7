#pragma once
// Group files: `<name>.group` in the database directory, a sequence of 4-byte little-endian
// area ids with no header. The group's name is the file name without the extension.

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char GROUP_FILE_EXTENSION[] = ".group";
constexpr std::size_t GROUP_RECORD_SIZE = 4;

// A name that can be stored as a file of the database directory: not empty, no `/`, no NUL.
bool IsValidGroupName(const std::string& name);

// The path of the group's file in the database directory.
std::string GetGroupFilePath(const std::string& databasePath, const std::string& name);

// The names of the groups in the database directory, in the order the file system lists
// them. Only regular files (or links to them) ending in `.group` count.
std::vector<std::string> EnumerateGroups(const std::string& databasePath);

// The member ids of a group in file order; trailing bytes short of a whole id are ignored.
// Fails (and creates nothing) when the group file is absent or cannot be opened.
bool ReadGroup(const std::string& databasePath, const std::string& name,
               std::vector<std::uint32_t>& ids);

// Writes the group with these member ids in this order. When the group was renamed, pass
// its former name in `oldName`: that file is removed once the new one is complete.
bool WriteGroup(const std::string& databasePath, const std::string& name,
                const std::vector<std::uint32_t>& ids, const std::string& oldName = {});

// Removes the group's file; true when no file of that name remains.
bool DeleteGroup(const std::string& databasePath, const std::string& name);
