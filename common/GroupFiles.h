#pragma once
// Group files: `<name>.group` in the database directory, a sequence of 4-byte little-endian
// area ids with no header. The group's name is the file name without the extension.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr char GROUP_FILE_EXTENSION[] = ".group";
constexpr std::size_t GROUP_RECORD_SIZE = 4;
// The longest group name whose file name (with the extension) a file system takes.
constexpr std::size_t GROUP_NAME_MAX_BYTES = 255 - (sizeof(GROUP_FILE_EXTENSION) - 1);
// The generated pages' own directories beside the groups' directories in files/: the
// area lists, the area headers (one directory per group inside), and the newest and most
// popular files.
inline constexpr char PAGES_BODY_DIRECTORY[] = "body";
inline constexpr char PAGES_HEADER_DIRECTORY[] = "header";
inline constexpr char PAGES_TOP_DIRECTORY[] = "~top";

// A name that can be stored as a file of the database directory: not empty, no `/`, no NUL.
// Readers accept every such name; new names must also pass GetGroupNameProblem.
bool IsValidGroupName(const std::string& name);

// Why `name` cannot be given to a new group, as a sentence for the user; empty when it can.
// A group's name becomes a file of the database directory and a directory of the generated
// pages, so it must be one file name that neither hides (a leading `.`, which also covers
// `.` and `..`) nor takes the place of one of the pages' own directories, and holds no
// control characters. Editors and the page generator both ask here, so they agree.
std::string GetGroupNameProblem(const std::string& name);
// The same for an area's name, which the pages show and the editors list: no `/`, no
// control characters, no leading `.`.
std::string GetAreaNameProblem(const std::string& name);

// The path of the group's file in the database directory.
std::string GetGroupFilePath(const std::string& databasePath, const std::string& name);

// The names of the groups in the database directory, in the order the file system lists
// them. Only regular files (or links to them) ending in `.group` count.
std::vector<std::string> EnumerateGroups(const std::string& databasePath);

// The most ids a group file may hold, far above real use (a group lists some of the
// areas, and a store holds at most MAX_STORE_AREAS): a longer file is damaged.
constexpr std::size_t MAX_GROUP_IDS = 100000;

// The member ids of a group in file order; trailing bytes short of a whole id are ignored.
// Fails (and creates nothing) when the group file is absent or cannot be opened, and for a
// file of more than MAX_GROUP_IDS ids (then `problem`, when given, says so).
bool ReadGroup(const std::string& databasePath, const std::string& name,
               std::vector<std::uint32_t>& ids, std::string* problem = nullptr);

// Writes the group with these member ids in this order. When the group was renamed, pass
// its former name in `oldName`: that file is removed once the new one is complete.
[[nodiscard]] bool WriteGroup(const std::string& databasePath, const std::string& name,
                const std::vector<std::uint32_t>& ids, const std::string& oldName = {});

// Removes the group's file; true when no file of that name remains.
bool DeleteGroup(const std::string& databasePath, const std::string& name);
