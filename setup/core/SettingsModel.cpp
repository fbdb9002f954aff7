#include "SettingsModel.h"
#include "Text.h"

#include "EnsureDirectory.h"
#include "FileAreaStore.h"
#include "IISManager.h"
#include "Settings.h"
#include "SetupText.h"

#include <charconv>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

using prompt::EButtons;
using prompt::EIcon;

constexpr CSettingInfo SETTINGS[SETTING_COUNT] = {
    {ESetting::HttpServer, settings::HttpServer, ESettingsPage::General},
    {ESetting::FtpServer, settings::FtpServer, ESettingsPage::General},
    {ESetting::HttpPath, settings::HttpPath, ESettingsPage::General},
    {ESetting::DatabasePath, settings::DatabasePath, ESettingsPage::General},
    {ESetting::TempPath, settings::TempPath, ESettingsPage::General},
    {ESetting::AdminEmail, settings::AdminEmail, ESettingsPage::General},
    {ESetting::SMTPServer, settings::SMTPServer, ESettingsPage::General},
    {ESetting::AllowUploads, settings::AllowUploads, ESettingsPage::UploadOptions},
    {ESetting::DIZSDIPrecedence, settings::DIZSDIPrecedence, ESettingsPage::UploadOptions},
    {ESetting::VirusChecker, settings::VirusChecker, ESettingsPage::UploadOptions},
    {ESetting::VirusCmdLine, settings::VirusCmdLine, ESettingsPage::UploadOptions},
    {ESetting::VirusExitCode, settings::VirusExitCode, ESettingsPage::UploadOptions},
    {ESetting::BadPath, settings::BadPath, ESettingsPage::HttpUploads},
    {ESetting::Overwrite, settings::Overwrite, ESettingsPage::HttpUploads},
    {ESetting::FreeSpaceThreshold, settings::FreeSpaceThreshold, ESettingsPage::HttpUploads},
};

// The order each page checks its fields when it is left, and writes them on OK or Apply.
constexpr ESetting GENERAL_CHECKS[] = {ESetting::AdminEmail,   ESetting::HttpServer,
                                       ESetting::FtpServer,    ESetting::HttpPath,
                                       ESetting::DatabasePath, ESetting::TempPath};
constexpr ESetting GENERAL_WRITES[] = {
    ESetting::FtpServer, ESetting::HttpServer, ESetting::HttpPath,  ESetting::DatabasePath,
    ESetting::TempPath,  ESetting::AdminEmail, ESetting::SMTPServer};
constexpr ESetting UPLOAD_WRITES[] = {ESetting::AllowUploads, ESetting::DIZSDIPrecedence,
                                      ESetting::VirusChecker, ESetting::VirusCmdLine,
                                      ESetting::VirusExitCode};
constexpr ESetting HTTP_UPLOAD_WRITES[] = {ESetting::Overwrite, ESetting::BadPath,
                                           ESetting::FreeSpaceThreshold};

constexpr char ILLEGAL_EMAIL_CHARACTERS[] = "!() /<>,;:\\[]";

const char* KeyOf(ESetting setting) {
    return setting == ESetting::SMTPServer ? settings::SendMailKey : settings::SettingsKey;
}

bool ParseWhole(const std::string& text, long long& value) {
    if (text.empty()) {
        return false;
    }
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// The framework's message for a number outside its field's range.
bool CheckRange(const std::string& text, long long min, long long max, prompt::IPrompt& prompt) {
    long long value = 0;
    if (ParseWhole(text, value) && value >= min && value <= max) {
        return true;
    }
    prompt.Message("Please enter an integer between " + std::to_string(min) + " and " +
                       std::to_string(max) + ".",
                   PROGRAM_TITLE, EButtons::Ok, EIcon::Warning);
    return false;
}

bool IsHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

} // namespace

const CSettingInfo& GetSettingInfo(ESetting setting) {
    return SETTINGS[static_cast<std::size_t>(setting)];
}

std::optional<ESetting> FindSetting(const std::string& name) {
    for (const CSettingInfo& info : SETTINGS) {
        if (base::EqualsNoCase(name, info.name)) {
            return info.setting;
        }
    }
    return std::nullopt;
}

bool ReadUploadsForbidden() {
    DWORD mode = 1;
    return ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::AllowUploads,
                              mode) &&
           mode == 0;
}

bool IsServerUrl(const std::string& text, bool ftp) {
    std::size_t hostStart = 0;
    if (ftp) {
        if (!base::StartsWithNoCase(text, "ftp://")) {
            return false;
        }
        hostStart = 6;
    } else if (base::StartsWithNoCase(text, "http://")) {
        hostStart = 7;
    } else if (base::StartsWithNoCase(text, "https://")) {
        hostStart = 8;
    } else {
        return false;
    }
    std::size_t end = text.find_first_of("/?#", hostStart);
    std::string authority =
        text.substr(hostStart, end == std::string::npos ? end : end - hostStart);
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        authority.erase(0, at + 1);
    }
    std::string host = authority;
    std::string port;
    if (!authority.empty() && authority.front() == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos || close == 1) {
            return false;
        }
        host = authority.substr(1, close - 1);
        if (host.find_first_not_of("0123456789abcdefABCDEF:.") != std::string::npos) {
            return false;
        }
        const std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return false;
            }
            port = after.substr(1);
        } else {
            return true;
        }
    } else {
        const std::size_t colon = authority.find(':');
        if (colon != std::string::npos) {
            host = authority.substr(0, colon);
            port = authority.substr(colon + 1);
        }
        if (host.empty()) {
            return false;
        }
        for (char c : host) {
            if (!IsHostCharacter(c)) {
                return false;
            }
        }
        if (colon == std::string::npos) {
            return true;
        }
    }
    long long number = 0;
    return ParseWhole(port, number) && number >= 0 && number <= 65535;
}

void CSettingsModel::ReadText(ESetting setting, const char* defaultText) {
    std::string text;
    ReadRegistryText(HKEY_LOCAL_MACHINE, KeyOf(setting), GetSettingInfo(setting).name, text);
    Value(setting) = text.empty() ? defaultText : text;
}

void CSettingsModel::ReadNumber(ESetting setting, unsigned long defaultValue) {
    DWORD value = static_cast<DWORD>(defaultValue);
    ReadRegistryNumber(HKEY_LOCAL_MACHINE, KeyOf(setting), GetSettingInfo(setting).name, value);
    Value(setting) = std::to_string(value);
}

void CSettingsModel::LoadUploadPages() {
    ReadNumber(ESetting::AllowUploads, 0);
    if (Number(ESetting::AllowUploads) >= settings::ALLOW_UPLOADS_COUNT) {
        Value(ESetting::AllowUploads) = "0";
    }
    ReadNumber(ESetting::DIZSDIPrecedence, 0);
    Value(ESetting::DIZSDIPrecedence) = Number(ESetting::DIZSDIPrecedence) != 0 ? "1" : "0";
    ReadText(ESetting::VirusChecker);
    ReadText(ESetting::VirusCmdLine);
    ReadNumber(ESetting::VirusExitCode, 0);
    ReadText(ESetting::BadPath);
    ReadNumber(ESetting::Overwrite, 0);
    if (Number(ESetting::Overwrite) >= settings::OVERWRITE_COUNT) {
        Value(ESetting::Overwrite) = "0";
    }
    DWORD bytes = settings::FREE_SPACE_THRESHOLD_DEFAULT_MIB << 20;
    ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::FreeSpaceThreshold,
                       bytes);
    Value(ESetting::FreeSpaceThreshold) = std::to_string(FreeSpaceThresholdToMiB(bytes));
}

void CSettingsModel::LoadGeneral(CIISManagerBase* web) {
    ReadText(ESetting::HttpServer);
    ReadText(ESetting::FtpServer);
    ReadText(ESetting::HttpPath);
    if (Value(ESetting::HttpPath).empty() && web != nullptr) {
        std::string path;
        unsigned permissions = 0;
        if (web->GetRoot("/dorvale", path, permissions)) {
            Value(ESetting::HttpPath) = path;
        }
    }
    std::error_code ec;
    ReadText(ESetting::DatabasePath);
    m_storedDatabasePath = Value(ESetting::DatabasePath);
    if (Value(ESetting::DatabasePath).empty()) {
        Value(ESetting::DatabasePath) = std::filesystem::current_path(ec).string();
    }
    ReadText(ESetting::TempPath);
    if (Value(ESetting::TempPath).empty()) {
        Value(ESetting::TempPath) = std::filesystem::temp_directory_path(ec).string();
    }
    ReadText(ESetting::AdminEmail);
    ReadText(ESetting::SMTPServer);
    m_generalLoaded = true;
}

int CSettingsModel::Number(ESetting setting) const {
    long long value = 0;
    return ParseWhole(Value(setting), value) && value >= 0 && value <= 0x7fffffff
               ? static_cast<int>(value)
               : 0;
}

bool CSettingsModel::HttpUploadsAllowed() const {
    const int mode = Number(ESetting::AllowUploads);
    return mode == 1 || mode == 3;
}

bool CSettingsModel::Validate(ESetting setting, prompt::IPrompt& prompt) {
    std::string& value = Value(setting);
    // A longer text would not be read back whole.
    if (value.size() > SETTING_TEXT_LIMIT && setting != ESetting::AdminEmail) {
        prompt.Message("The text is too long: at most " + std::to_string(SETTING_TEXT_LIMIT) +
                           " bytes fit.",
                       PROGRAM_TITLE, EButtons::Ok, EIcon::Warning);
        return false;
    }
    const auto invalidDirectory = [&prompt](const char* caption, EIcon icon) {
        prompt.Message("Please enter a valid directory path.", caption, EButtons::Ok, icon);
        return false;
    };
    switch (setting) {
    case ESetting::AdminEmail:
        value = value.substr(0, EMAIL_LIMIT);
        if (value.find_first_of(ILLEGAL_EMAIL_CHARACTERS) != std::string::npos) {
            prompt.Message("Illegal characters in e-mail address.", PROGRAM_TITLE, EButtons::Ok,
                           EIcon::Error);
            return false;
        }
        if (!value.empty() && value.find('@') == std::string::npos) {
            prompt.Message("Invalid e-mail address.", PROGRAM_TITLE, EButtons::Ok, EIcon::Error);
            return false;
        }
        return true;
    case ESetting::HttpServer:
    case ESetting::FtpServer: {
        value = setuptext::Trim(value);
        const bool ftp = setting == ESetting::FtpServer;
        if ((ftp && value.empty()) || IsServerUrl(value, ftp)) {
            return true;
        }
        prompt.Message("Please enter a fully qualified & valid URL.", "Error", EButtons::Ok,
                       EIcon::Information);
        return false;
    }
    case ESetting::HttpPath:
    case ESetting::DatabasePath:
    case ESetting::TempPath:
        value = setuptext::Trim(value);
        if (value.empty() || !EnsureDirectory(value, EEnsureForm::Asking, prompt)) {
            return invalidDirectory("Error", EIcon::Information);
        }
        return true;
    case ESetting::BadPath:
        value = setuptext::Trim(value);
        return EnsureDirectory(value, EEnsureForm::Asking, prompt) ||
               invalidDirectory(PROGRAM_TITLE, EIcon::None);
    case ESetting::AllowUploads:
        return CheckRange(value, 0, settings::ALLOW_UPLOADS_COUNT - 1, prompt);
    case ESetting::Overwrite:
        return CheckRange(value, 0, settings::OVERWRITE_COUNT - 1, prompt);
    case ESetting::DIZSDIPrecedence:
        return CheckRange(value, 0, 1, prompt);
    case ESetting::VirusExitCode:
        return !UploadsAllowed() || CheckRange(value, 0, VIRUS_EXIT_CODE_MAX, prompt);
    case ESetting::FreeSpaceThreshold:
        return CheckRange(value, 0, settings::FREE_SPACE_THRESHOLD_MAX_MIB, prompt);
    case ESetting::VirusChecker: {
        value = setuptext::Trim(value);
        std::error_code ec;
        if (!UploadsAllowed() || value.empty() ||
            (std::filesystem::exists(value, ec) && !std::filesystem::is_directory(value, ec))) {
            return true;
        }
        prompt.Message("Please enter a valid file name and path.", "Error", EButtons::Ok,
                       EIcon::Warning);
        return false;
    }
    case ESetting::SMTPServer:
    case ESetting::VirusCmdLine:
        return true;
    }
    return true;
}

std::optional<ESetting> CSettingsModel::ValidatePage(ESettingsPage page, prompt::IPrompt& prompt) {
    switch (page) {
    case ESettingsPage::General:
        for (ESetting setting : GENERAL_CHECKS) {
            if (!Validate(setting, prompt)) {
                return setting;
            }
        }
        break;
    case ESettingsPage::UploadOptions:
        if (!Validate(ESetting::VirusExitCode, prompt)) {
            return ESetting::VirusExitCode;
        }
        Write(ESetting::AllowUploads);
        if (!Validate(ESetting::VirusChecker, prompt)) {
            return ESetting::VirusChecker;
        }
        break;
    case ESettingsPage::HttpUploads:
        for (ESetting setting : {ESetting::FreeSpaceThreshold, ESetting::BadPath}) {
            if (!Validate(setting, prompt)) {
                return setting;
            }
        }
        break;
    }
    return std::nullopt;
}

void CSettingsModel::Write(ESetting setting) const {
    const char* name = GetSettingInfo(setting).name;
    switch (setting) {
    case ESetting::AllowUploads:
    case ESetting::DIZSDIPrecedence:
    case ESetting::VirusExitCode:
    case ESetting::Overwrite:
        WriteRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, name,
                            static_cast<DWORD>(Number(setting)));
        return;
    case ESetting::FreeSpaceThreshold:
        WriteRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, name,
                            FreeSpaceThresholdToBytes(static_cast<DWORD>(Number(setting))));
        return;
    default:
        WriteRegistryText(
            HKEY_LOCAL_MACHINE, KeyOf(setting), name,
            std::string(base::CutUtf8Field(Value(setting), SETTING_TEXT_LIMIT)).c_str());
        return;
    }
}

void CSettingsModel::SavePage(ESettingsPage page) const {
    switch (page) {
    case ESettingsPage::General:
        for (ESetting setting : GENERAL_WRITES) {
            Write(setting);
        }
        break;
    case ESettingsPage::UploadOptions:
        for (ESetting setting : UPLOAD_WRITES) {
            Write(setting);
        }
        break;
    case ESettingsPage::HttpUploads:
        for (ESetting setting : HTTP_UPLOAD_WRITES) {
            Write(setting);
        }
        break;
    }
}

void CSettingsModel::NoteDatabasePathChange(const std::string& text, prompt::IPrompt& prompt) {
    if (m_databaseNoteShown || text == m_storedDatabasePath) {
        return;
    }
    m_databaseNoteShown = true;
    prompt.Message(
        "Changes to the Database Path will not take effect until you close and restart Dorvale "
        "Setup.",
        "Information", EButtons::Ok, EIcon::Information);
}
