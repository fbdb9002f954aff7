#include "AdminSettings.h"

#include "Settings.h"

void ReadAdminDirectories(std::string& databasePath, std::string& httpPath) {
    databasePath =
        ReadDirectoryValue(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath);
    httpPath = ReadDirectoryValue(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpPath);
}

std::string ReadHttpServerBase() {
    std::string server;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpServer, server);
    return HttpServerBase(server);
}

std::string FileDetailsAddress(const std::string& serverBase, double fileId) {
    if (serverBase.empty()) {
        return {};
    }
    return serverBase + "/dorvale/details/" + std::to_string(static_cast<long long>(fileId)) +
           ".asp";
}
