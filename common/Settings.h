#pragma once
// The product's settings in the registry: every key and value name, and the four typed
// operations every program reads and writes them with.

#include "Registry.h"

#include <string>
#include <string_view>

namespace settings {

// Named as the registry keys and values they spell, which the design names.
// NOLINTBEGIN(readability-identifier-naming)
// ---- Keys ----

// Product settings, under HKEY_LOCAL_MACHINE.
constexpr const char* SettingsKey = "Software\\Halvren Software\\Quenwick\\Dorvale";
// The administration program's window layout, under HKEY_CURRENT_USER.
constexpr const char* ExplorerKey = "Software\\Halvren Software\\Quenwick\\Dorvale\\Explorer";
// The mail component's server, under HKEY_LOCAL_MACHINE.
constexpr const char* SendMailKey = "Software\\Halvren Software\\Quenwick\\QTR Web\\SendMail";

// The same keys with their root prefix, for the prefixed operations below.
constexpr const char* SettingsKeyHKLM = "HKLM\\Software\\Halvren Software\\Quenwick\\Dorvale";
constexpr const char* ExplorerKeyHKCU =
    "HKCU\\Software\\Halvren Software\\Quenwick\\Dorvale\\Explorer";

// ---- Values of the settings key ----

constexpr const char* DatabasePath = "DatabasePath";             // REG_SZ, a directory
constexpr const char* HttpServer = "HttpServer";                 // REG_SZ
constexpr const char* FtpServer = "FtpServer";                   // REG_SZ
constexpr const char* HttpPath = "HttpPath";                     // REG_SZ, a directory
constexpr const char* TempPath = "TempPath";                     // REG_SZ
constexpr const char* AdminEmail = "AdminEmail";                 // REG_SZ
constexpr const char* InstallDir = "InstallDir";                 // REG_SZ
constexpr const char* WebServerName = "WebServerName";           // REG_SZ
constexpr const char* FtpServerName = "FtpServerName";           // REG_SZ
constexpr const char* AllowUploads = "AllowUploads";             // REG_DWORD, ALLOW_UPLOADS_TEXTS
constexpr const char* DIZSDIPrecedence = "DIZSDIPrecedence";     // REG_DWORD
constexpr const char* VirusChecker = "VirusChecker";             // REG_SZ
constexpr const char* VirusCmdLine = "VirusCmdLine";             // REG_SZ
constexpr const char* VirusExitCode = "VirusExitCode";           // REG_DWORD
constexpr const char* BadPath = "BadPath";                       // REG_SZ
constexpr const char* Overwrite = "Overwrite";                   // REG_DWORD, OVERWRITE_TEXTS
constexpr const char* FreeSpaceThreshold = "FreeSpaceThreshold"; // REG_DWORD, bytes
constexpr const char* LastDateProcessed = "LastDateProcessed";   // REG_SZ, LAST_DATE_PROCESSED_SIZE
constexpr const char* LastFilesProcessed = "LastFilesProcessed"; // REG_DWORD
// Ours, beside the product's: the largest upload the site's HTTP form takes, in MiB (REG_DWORD;
// absent or 0: UPLOAD_LIMIT_DEFAULT_MIB).
constexpr const char* UploadLimit = "UploadLimit";

// The setup program's first start reads the database path under this spelling (the same value,
// names being compared without regard to case).
constexpr const char* DatabasePathFirstRun = "databasepath";

// ---- Values of the explorer key ----

constexpr const char* WindowPosition = "Window Position"; // REG_SZ, WindowPositionFormat
constexpr const char* WindowStyle = "Window Style";       // REG_DWORD
constexpr const char* VPosition = "VPosition";            // REG_DWORD
constexpr int ColumnCount = 6;
constexpr const char* Columns[ColumnCount] = {"Column0", "Column1", "Column2",
                                              "Column3", "Column4", "Column5"}; // REG_DWORD
constexpr const char* WindowPositionFormat = "%04d %04d %04d %04d %04d %04d %04d %04d";

// ---- Value of the mail key ----

constexpr const char* SMTPServer = "SMTPServer"; // REG_SZ

// ---- Keys and values of the platform ----

// HKEY_LOCAL_MACHINE: one value per virtual directory of the web server.
constexpr const char* VirtualRootsKey =
    "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots";
constexpr const char* AspParametersKey =
    "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\ASP\\Parameters";
constexpr const char* InetsrvCurrentVersionKey = "Software\\Microsoft\\Inetsrv\\CurrentVersion";
constexpr const char* ServiceName = "ServiceName";
constexpr const char* Inetsw95AppPathKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\inetsw95.exe";
constexpr const char* NtlmSecurityKey = "Software\\Microsoft\\Internet Explorer\\Security\\NTLM";
constexpr const char* NtlmFlags = "Flags";
constexpr const char* NtlmDLLFile = "DLLFile";
// HKEY_CLASSES_ROOT: its default value names the document class of web pages.
constexpr const char* HtmClassKey = ".htm";
// NOLINTEND(readability-identifier-naming)

// ---- Lists stored as indexes ----

constexpr int ALLOW_UPLOADS_COUNT = 4;
constexpr const char* ALLOW_UPLOADS_TEXTS[ALLOW_UPLOADS_COUNT] = {
    "Do not allow uploads", "Allow only HTTP uploads", "Allow only ActiveX uploads",
    "Allow both HTTP & ActiveX uploads"};
constexpr int OVERWRITE_COUNT = 3;
constexpr const char* OVERWRITE_TEXTS[OVERWRITE_COUNT] = {
    "Do not allow file overwrites", "Allow file overwrites", "Rename duplicate files"};

// ---- Sizes and defaults ----

// Text values are read into this many bytes, NUL included, unless said otherwise.
constexpr DWORD TEXT_SIZE = 260;
constexpr DWORD LAST_DATE_PROCESSED_SIZE = 64;
// The settings page shows and edits the free-space threshold in MiB, within these bounds.
constexpr DWORD FREE_SPACE_THRESHOLD_DEFAULT_MIB = 5;
constexpr DWORD FREE_SPACE_THRESHOLD_MAX_MIB = 4095;
constexpr DWORD UPLOAD_LIMIT_DEFAULT_MIB = 64;

} // namespace settings

// ---- The four operations ----
// Reads succeed only for the stored type asked for: a text must be REG_SZ (REG_EXPAND_SZ is not
// text here) and fit the buffer with its NUL, else the buffer holds empty text; a number must be
// a REG_DWORD, else `value` keeps the caller's default. Writes create the key when absent.
// Every failure is reported by result only.

bool ReadRegistryText(HKEY root, const char* key, const char* name, char* buffer, DWORD size);
bool ReadRegistryNumber(HKEY root, const char* key, const char* name, DWORD& value);
bool WriteRegistryText(HKEY root, const char* key, const char* name, const char* text);
bool WriteRegistryNumber(HKEY root, const char* key, const char* name, DWORD value);

// The same with the root as a prefix of the key: "HKLM\" for HKEY_LOCAL_MACHINE, "HKCU\" for
// HKEY_CURRENT_USER; a key without either prefix is under HKEY_CURRENT_USER.
bool ReadRegistryText(const char* key, const char* name, char* buffer, DWORD size);
bool ReadRegistryNumber(const char* key, const char* name, DWORD& value);
bool WriteRegistryText(const char* key, const char* name, const char* text);
bool WriteRegistryNumber(const char* key, const char* name, DWORD value);

// Text reads into a string, through a buffer of `size` bytes as above.
bool ReadRegistryText(HKEY root, const char* key, const char* name, std::string& text,
                      DWORD size = settings::TEXT_SIZE);
bool ReadRegistryText(const char* key, const char* name, std::string& text,
                      DWORD size = settings::TEXT_SIZE);

// Splits a prefixed key into its root and the path below it.
void SplitRegistryKey(const char* key, HKEY& root, const char*& path);

// One value of the product's settings key (settings::SettingsKey under HKEY_LOCAL_MACHINE), as
// the programs that run the site read it at start: text empty and a number `fallback` when the
// value is absent or of another type.
std::string ReadSettingText(const char* name, DWORD size = settings::TEXT_SIZE);
DWORD ReadSettingNumber(const char* name, DWORD fallback = 0);

// "the registry cannot be read: <file>:<line>: <fault>" when the hive of `root` cannot be
// parsed, else empty. Every read of it then fails: a value looks missing although it may
// be set, so a program says this rather than that a setting is missing.
std::string GetRegistryProblem(HKEY root = HKEY_LOCAL_MACHINE);

// ---- Rules for particular values ----

// A directory value ready for a file name to be appended: "/" added when the text is not empty
// and does not end in one. An empty directory stays empty (names relative to the current one).
std::string DirectoryWithSlash(std::string_view directory);
// A directory without trailing "/" (the root "/" stays), for joining with "/" + name.
std::string DirectoryWithoutSlash(std::string_view directory);
// A directory value read as text (TEXT_SIZE) and given its slash; empty when absent.
std::string ReadDirectoryValue(HKEY root, const char* key, const char* name);
// The HttpServer base address with one trailing "/" removed.
std::string HttpServerBase(std::string_view httpServer);
// FreeSpaceThreshold is stored in bytes and edited in MiB. MiB beyond FREE_SPACE_THRESHOLD_MAX_MIB
// are held to it rather than wrapping past 32 bits.
DWORD FreeSpaceThresholdToBytes(DWORD mib);
DWORD FreeSpaceThresholdToMiB(DWORD bytes);
