#include "VisitorSettings.h"

#include "FormData.h"
#include "Settings.h"

static_assert(DEFAULT_UPLOAD_LIMIT_MIB == settings::UPLOAD_LIMIT_DEFAULT_MIB);

bool ReadVisitorSettings(CVisitorSettings& settings, std::string& error) {
    settings = CVisitorSettings();
    const char* key = settings::SettingsKey;
    std::string text;
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpPath, text);
    settings.httpPath = DirectoryWithoutSlash(text);
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpServer, text);
    settings.httpServer = HttpServerBase(text);
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::AdminEmail, text);
    settings.adminEmail = text;
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::DatabasePath, text);
    settings.databasePath = DirectoryWithoutSlash(text);
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::BadPath, text);
    settings.badPath = DirectoryWithoutSlash(std::string(TrimBlanks(text)));
    DWORD number = 0;
    if (ReadRegistryNumber(HKEY_LOCAL_MACHINE, key, settings::AllowUploads, number)) {
        settings.allowUploads = number;
    }
    number = 0;
    if (ReadRegistryNumber(HKEY_LOCAL_MACHINE, key, settings::Overwrite, number)) {
        settings.overwrite = number;
    }
    if (ReadRegistryNumber(HKEY_LOCAL_MACHINE, key, settings::FreeSpaceThreshold, number)) {
        settings.freeSpaceThreshold = number;
    }
    if (ReadRegistryNumber(HKEY_LOCAL_MACHINE, key, settings::UploadLimit, number) && number > 0) {
        settings.uploadLimit = std::uint64_t(number) << 20;
    }
    if (settings.httpPath.empty()) {
        error = "the setting HttpPath (where the site and its reviews live) is not set";
        return false;
    }
    return true;
}
