#include "AdminSettings.h"

#include "Settings.h"

void ReadAdminDirectories(std::string& databasePath, std::string& httpPath) {
    databasePath =
        ReadDirectoryValue(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath);
    httpPath = ReadDirectoryValue(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpPath);
}
