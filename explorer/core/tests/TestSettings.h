#pragma once
// Writing the registry for tests, from sources that also see the catalogue's headers (the
// registry's and ODBC's Windows type names do not meet in one source).

#include <cstdint>
#include <string>

void SetSettingText(const char* name, const std::string& value);
void SetSettingNumber(const char* name, std::uint32_t value);
void DeleteSetting(const char* name);
// The explorer's layout values (HKCU).
void SetLayoutText(const char* name, const std::string& value);
void SetLayoutNumber(const char* name, std::uint32_t value);

// The names of the settings used here.
extern const char* const SETTING_DATABASE_PATH;
extern const char* const SETTING_HTTP_PATH;
extern const char* const SETTING_PRECEDENCE;
extern const char* const SETTING_VIRUS_CHECKER;
extern const char* const SETTING_VIRUS_CMDLINE;
extern const char* const SETTING_VIRUS_EXIT_CODE;
extern const char* const SETTING_HTTP_SERVER;
extern const char* const LAYOUT_WINDOW_POSITION;
extern const char* const LAYOUT_WINDOW_STYLE;
extern const char* const LAYOUT_VPOSITION;
extern const char* const LAYOUT_COLUMNS[6];
