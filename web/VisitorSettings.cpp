#include "VisitorSettings.h"

#include "FormData.h"
#include "Settings.h"

static_assert(DEFAULT_UPLOAD_LIMIT_MIB == settings::UPLOAD_LIMIT_DEFAULT_MIB);

bool ReadVisitorSettings(CVisitorSettings& settings, std::string& error) {
    settings = CVisitorSettings();
    settings.httpPath = DirectoryWithoutSlash(ReadSettingText(settings::HttpPath));
    settings.httpServer = HttpServerBase(ReadSettingText(settings::HttpServer));
    settings.adminEmail = ReadSettingText(settings::AdminEmail);
    settings.databasePath = DirectoryWithoutSlash(ReadSettingText(settings::DatabasePath));
    settings.badPath = DirectoryWithoutSlash(TrimBlanks(ReadSettingText(settings::BadPath)));
    settings.allowUploads = ReadSettingNumber(settings::AllowUploads);
    settings.overwrite = ReadSettingNumber(settings::Overwrite);
    settings.freeSpaceThreshold = ReadSettingNumber(
        settings::FreeSpaceThreshold, static_cast<DWORD>(settings.freeSpaceThreshold));
    if (const DWORD limitMiB = ReadSettingNumber(settings::UploadLimit); limitMiB > 0) {
        settings.uploadLimit = std::uint64_t(limitMiB) << 20;
    }
    if (settings.httpPath.empty()) {
        error = "the setting HttpPath (where the site and its reviews live) is not set";
        return false;
    }
    return true;
}
