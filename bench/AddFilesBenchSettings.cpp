// The settings of the benchmark's library, apart from the catalogue's headers (the registry's
// and ODBC's Windows type names do not meet in one source).
#include "Settings.h"

#include <string>

void WriteBenchSettings(const std::string& databasePath) {
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                      databasePath.c_str());
}
