#include "SheetforgeConfig.h"

#include "Settings.h"

std::string StripTrailingSeparator(std::string path) {
    if (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    return path;
}

void CSheetforgeConfig::Load() {
    const char* key = settings::SettingsKey;
    std::string text;
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpServer, text);
    generation.httpServer = HttpServerBase(text);
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::FtpServer, text);
    generation.ftpServer = text;
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpPath, text);
    generation.httpPath = StripTrailingSeparator(text);
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::InstallDir, text);
    generation.installDir = StripTrailingSeparator(text);
    DWORD allowUploads = 0;
    ReadRegistryNumber(HKEY_LOCAL_MACHINE, key, settings::AllowUploads, allowUploads);
    generation.allowUploads = allowUploads;
    ReadRegistryText(HKEY_LOCAL_MACHINE, key, settings::LastDateProcessed, text,
                     settings::LAST_DATE_PROCESSED_SIZE);
    lastDateProcessed = text.empty() ? "None" : text;
    DWORD files = 0;
    ReadRegistryNumber(HKEY_LOCAL_MACHINE, key, settings::LastFilesProcessed, files);
    lastFilesProcessed = files;
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
