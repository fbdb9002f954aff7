#pragma once
// Installing and removing a working Dorvale, as the install and uninstall programs did, over
// libinstallext and libuninstext. An installation lives in one directory, the prefix: the
// settings point there (InstallDir, HttpPath = PREFIX/site, DatabasePath = PREFIX/data), the
// embedded catalogue is PREFIX/data/dorvale.db by default, and the removal record is
// PREFIX/_UNINST.INI.
//
// Order of installation, each step recorded once it is done: the automation classes
// (Dorvale.Metabase, Catalink, QTRWeb, Liftwell) registered through dorvale-regsvr, the web
// (and FTP) instance in the metabase, the settings, the data source "Dorvale" and its tables
// (a schema script run batch by batch), the templates and assets, the /dorvale virtual
// directory. Removal undoes the record in reverse: the tables first (only when purging),
// then what libuninstext undoes (virtual directories, services, registrations, data
// sources), then this program's own entries ("Dorvale Remove": files, directories emptied by
// the removal, registry keys and values, metabase instances, the catalogue's file when
// purging), last first. An entry naming something outside the prefix or beyond Dorvale's
// own registry keys is reported and left alone.

#include <functional>
#include <string>

namespace installation {

enum class EDatabaseKind { Sqlite, Postgresql };

struct CInstallOptions {
    std::string prefix;
    EDatabaseKind database = EDatabaseKind::Sqlite;
    std::string sqliteFile; // default PREFIX/data/dorvale.db
    std::string postgresConnection;
    int webPort = 8080;
    int ftpPort = 0;             // 0: no FTP instance
    bool userDataSource = false; // a user data source instead of a system one
    std::string templatesDir;    // default: the templates that come with the programs
    std::string libraryDir;      // default: beside the programs
};

// Called with one line per step done or left alone.
using ReportFn = std::function<void(const std::string&)>;

// The section of the record that holds this program's own entries.
inline constexpr char OWN_SECTION[] = "Dorvale Remove";

// Installs into options.prefix; false with the reason. Safe to run again: what is there
// already is kept or brought up to date.
bool Install(const CInstallOptions& options, const ReportFn& report, std::string& error);

// The removal record of the installation in `prefix`.
std::string RecordFileOf(const std::string& prefix);

// Removes the installation whose record is `recordFile`; `purge` also drops the catalogue's
// tables and deletes its file. With `throughCommandLine` libuninstext finds the record itself
// from this process's "-c" argument (UninstInitialize), as the uninstall program had it.
// False when anything was left (each said through `report`); the record then stays for
// another try.
bool Uninstall(const std::string& recordFile, bool purge, bool throughCommandLine,
               const ReportFn& report, std::string& error);

} // namespace installation
