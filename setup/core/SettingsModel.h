#pragma once
// The settings the setup program edits on its General, Upload Options and HTTP Uploads pages,
// with their defaults, their checks and the order they are written in. The sheet and the
// command line both go through here, so a value is refused or accepted alike in both.
//
// Every value is held as the text its field shows: lists as their index, the check box as
// 0 or 1, the free-space threshold in MiB.

#include "Prompt.h"

#include <array>
#include <optional>
#include <string>

class CIISManagerBase;

inline constexpr char PROGRAM_TITLE[] = "Dorvale Setup";

enum class ESettingsPage { General, UploadOptions, HttpUploads };

enum class ESetting {
    HttpServer,
    FtpServer,
    HttpPath,
    DatabasePath,
    TempPath,
    AdminEmail,
    SMTPServer,
    AllowUploads,
    DIZSDIPrecedence,
    VirusChecker,
    VirusCmdLine,
    VirusExitCode,
    BadPath,
    Overwrite,
    FreeSpaceThreshold,
};
constexpr std::size_t SETTING_COUNT = 15;

struct CSettingInfo {
    ESetting setting;
    const char* name; // the registry value's name
    ESettingsPage page;
};
const CSettingInfo& GetSettingInfo(ESetting setting);
// The setting of a registry value name (letter case ignored).
std::optional<ESetting> FindSetting(const std::string& name);

// Longest text a field takes: the registry is read into 260 bytes with the NUL.
constexpr std::size_t SETTING_TEXT_LIMIT = 259;
// The e-mail field keeps this much of what is typed.
constexpr std::size_t EMAIL_LIMIT = 253;
constexpr long VIRUS_EXIT_CODE_MAX = 255;

class CSettingsModel {
public:
    // Upload Options and HTTP Uploads, read when the program starts.
    void LoadUploadPages();
    // General, read when its page is first shown. `web` (may be null) proposes the web
    // site's physical directory.
    void LoadGeneral(CIISManagerBase* web);
    bool IsGeneralLoaded() const { return m_generalLoaded; }

    std::string& Value(ESetting setting) { return m_values[Index(setting)]; }
    const std::string& Value(ESetting setting) const { return m_values[Index(setting)]; }
    int Number(ESetting setting) const;
    bool UploadsAllowed() const { return Number(ESetting::AllowUploads) != 0; }
    // Whether the HTTP Uploads page belongs in the sheet (HTTP uploads allowed).
    bool HttpUploadsAllowed() const;

    // Checks one field as leaving its page does, trimming it in place. False after the
    // user was told why.
    bool Validate(ESetting setting, prompt::IPrompt& prompt);
    // Leaving a page: its fields in order, stopping at the first refused one, which is
    // returned. Leaving Upload Options also writes AllowUploads at once, so that the area
    // editor sees it.
    std::optional<ESetting> ValidatePage(ESettingsPage page, prompt::IPrompt& prompt);

    void Write(ESetting setting) const;
    // OK or Apply: every value of the page, in the order they are written.
    void SavePage(ESettingsPage page) const;

    // The database path field was left with `text`, or Browse put it there: tells once per
    // run that the change needs a restart.
    void NoteDatabasePathChange(const std::string& text, prompt::IPrompt& prompt);

private:
    static std::size_t Index(ESetting setting) { return static_cast<std::size_t>(setting); }
    void ReadText(ESetting setting, const char* defaultText = "");
    void ReadNumber(ESetting setting, unsigned long defaultValue);

    std::array<std::string, SETTING_COUNT> m_values;
    std::string m_storedDatabasePath;
    bool m_generalLoaded = false;
    bool m_databaseNoteShown = false;
};

// Whether the upload mode as stored forbids uploads in the area editor: AllowUploads present
// and 0 (an absent mode does not).
bool ReadUploadsForbidden();

// The address checks of the General page: a URL of one of the schemes with a host name.
bool IsServerUrl(const std::string& text, bool ftp);
