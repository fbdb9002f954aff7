#include "TestSettings.h"

#include "Settings.h"

const char* const SETTING_DATABASE_PATH = settings::DatabasePath;
const char* const SETTING_HTTP_PATH = settings::HttpPath;
const char* const SETTING_PRECEDENCE = settings::DIZSDIPrecedence;
const char* const SETTING_VIRUS_CHECKER = settings::VirusChecker;
const char* const SETTING_VIRUS_CMDLINE = settings::VirusCmdLine;
const char* const SETTING_VIRUS_EXIT_CODE = settings::VirusExitCode;
const char* const SETTING_HTTP_SERVER = settings::HttpServer;
const char* const LAYOUT_WINDOW_POSITION = settings::WindowPosition;
const char* const LAYOUT_WINDOW_STYLE = settings::WindowStyle;
const char* const LAYOUT_VPOSITION = settings::VPosition;
const char* const LAYOUT_COLUMNS[6] = {settings::Columns[0], settings::Columns[1],
                                       settings::Columns[2], settings::Columns[3],
                                       settings::Columns[4], settings::Columns[5]};

void SetSettingText(const char* name, const std::string& value) {
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value.c_str());
}

void SetSettingNumber(const char* name, std::uint32_t value) {
    WriteRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value);
}

void DeleteSetting(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, settings::SettingsKey, 0, KEY_WRITE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValue(key, name);
        RegCloseKey(key);
    }
}

void SetLayoutText(const char* name, const std::string& value) {
    WriteRegistryText(settings::ExplorerKeyHKCU, name, value.c_str());
}

void SetLayoutNumber(const char* name, std::uint32_t value) {
    WriteRegistryNumber(settings::ExplorerKeyHKCU, name, value);
}
