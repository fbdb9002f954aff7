#include "SheetforgeConfig.h"

#include "Settings.h"

std::string StripTrailingSeparator(std::string path) {
    if (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    return path;
}

void CSheetforgeConfig::Load() {
    generation.httpServer = HttpServerBase(ReadSettingText(settings::HttpServer));
    generation.ftpServer = ReadSettingText(settings::FtpServer);
    generation.httpPath = StripTrailingSeparator(ReadSettingText(settings::HttpPath));
    generation.installDir = StripTrailingSeparator(ReadSettingText(settings::InstallDir));
    generation.allowUploads = ReadSettingNumber(settings::AllowUploads);
    const std::string lastDate =
        ReadSettingText(settings::LastDateProcessed, settings::LAST_DATE_PROCESSED_SIZE);
    lastDateProcessed = lastDate.empty() ? "None" : lastDate;
    lastFilesProcessed = ReadSettingNumber(settings::LastFilesProcessed);
}

bool CSheetforgeConfig::SaveLastRun() const {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, settings::SettingsKey, KEY_WRITE) != ERROR_SUCCESS) {
        return false;
    }
    const bool text =
        key.SetStringValue(settings::LastDateProcessed, lastDateProcessed.c_str()) == ERROR_SUCCESS;
    const bool number =
        key.SetDWORDValue(settings::LastFilesProcessed, lastFilesProcessed) == ERROR_SUCCESS;
    return text && number;
}
