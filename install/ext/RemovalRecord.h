#pragma once
// The removal record file: what the installation did that its removal must undo, one entry
// per change, in the order the changes were made. libinstallext writes it, libuninstext
// reads it.

#include <string>

namespace removalrecord {

inline constexpr char ODBC_SECTION[] = "ODBC Remove";
inline constexpr char SERVICE_SECTION[] = "Service Remove";
inline constexpr char VIRTUAL_ROOTS_SECTION[] = "Virtual Roots Remove";
inline constexpr char APPLICATIONS_SECTION[] = "Virtual Root Applications Remove";
inline constexpr char PROGRAMS_SECTION[] = "Executed Programs Remove";

inline constexpr char REGISTRY_ROOT[] = "IIS30ROOT";
inline constexpr char METABASE_ROOT[] = "IIS40ROOT";
inline constexpr char METABASE_APPLICATION[] = "IIS40VIRTUALAPP";
inline constexpr char SERVICE[] = "NTSERVICE";

// The name of the mark an installation leaves on what it made (a data source's attribute, a
// service's value), holding the record file's path: a removal touches only what carries it.
inline constexpr char INSTALLED_BY[] = "InstalledBy";

// The record file's name in the installation's directory.
inline constexpr char FILE_NAME[] = "_UNINST.INI";

} // namespace removalrecord
