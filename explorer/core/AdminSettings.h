#pragma once
// The settings the administration core reads from the registry, kept apart from the catalogue's
// headers (the registry's and ODBC's Windows type names do not meet in one source).

#include <string>

// DatabasePath and HttpPath, each ending in '/' unless empty.
void ReadAdminDirectories(std::string& databasePath, std::string& httpPath);
