#include "Installation.h"

#include "Com.h"
#include "DataSource.h"
#include "IniFile.h"
#include "InstallExt.h"
#include "Metabase.h"
#include "MetabaseFile.h"
#include "Process.h"
#include "Registry.h"
#include "RemovalRecord.h"
#include "SchemaScript.h"
#include "ServeSite.h"
#include "Settings.h"
#include "Text.h"
#include "UninstExt.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace installation {

namespace {

constexpr char DATA_SOURCE[] = "Dorvale";
constexpr char WEB_SITE[] = "Default Web Site";
constexpr char FTP_SITE[] = "Default FTP Site";
constexpr char VIRTUAL_DIRECTORY[] = "/dorvale";
// The product's registry keys: the only ones this program makes or removes.
constexpr char PRODUCT_KEY[] = "Software\\Halvren Software";

// Kinds of this program's own record entries.
constexpr char FILE_ENTRY[] = "FILE";
constexpr char DIRECTORY_ENTRY[] = "DIRECTORY";
constexpr char REGISTRY_KEY_ENTRY[] = "REGISTRYKEY";
constexpr char REGISTRY_VALUE_ENTRY[] = "REGISTRYVALUE";
// A key every machine with registered classes or settings has; removed only when empty.
constexpr char REGISTRY_CONTAINER_ENTRY[] = "REGISTRYCONTAINER";
constexpr const char* CONTAINER_KEYS[] = {"HKCR\\CLSID", "HKCR\\Interface", "HKCR\\TypeLib",
                                          "HKLM\\Software"};
constexpr char METABASE_KEY_ENTRY[] = "METABASEKEY";
constexpr char DATABASE_FILE_ENTRY[] = "DATABASEFILE";
constexpr char TABLES_ENTRY[] = "TABLES";
constexpr char TABLES_KEY[] = "catalogue tables";
// Where the connection that reaches the tables is kept, for dropping them when purging after
// the data source has gone.
constexpr char CATALOGUE_SECTION[] = "Dorvale Catalogue";
constexpr char CONNECTION_KEY[] = "Connection";

// HKCR\... or HKLM\... as a root and a path below it.
bool SplitRegistryKey(const std::string& key, HKEY& root, std::string& path) {
    if (base::StartsWithNoCase(key, "HKCR\\")) {
        root = HKEY_CLASSES_ROOT;
    } else if (base::StartsWithNoCase(key, "HKLM\\")) {
        root = HKEY_LOCAL_MACHINE;
    } else {
        return false;
    }
    path = key.substr(5);
    return !path.empty();
}

bool RegistryKeyExists(const std::string& key) {
    HKEY root = nullptr;
    std::string path;
    CRegKey probe;
    return SplitRegistryKey(key, root, path) &&
           probe.Open(root, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

std::string ExtError() {
    char text[2048];
    GetInstallExtError(text, sizeof text);
    return text;
}

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

std::string ProgramDirectory() {
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path().string();
}

// A file that comes with the programs: beside them in the build, or in the installed tree.
std::string FindShipped(const std::vector<fs::path>& candidates) {
    std::error_code ec;
    for (const fs::path& candidate : candidates) {
        if (fs::exists(candidate, ec)) {
            return candidate.lexically_normal().string();
        }
    }
    return {};
}

class CInstaller {
public:
    CInstaller(const CInstallOptions& options, const ReportFn& report)
        : m_options(options), m_report(report) {}

    bool Run(std::string& error) {
        std::error_code ec;
        m_prefix = fs::absolute(m_options.prefix, ec).lexically_normal().string();
        while (m_prefix.size() > 1 && m_prefix.back() == '/') {
            m_prefix.pop_back();
        }
        m_record = RecordFileOf(m_prefix);
        if (!CheckDataSourcePassword(error) || !MakeDirectory(m_prefix, error)) {
            return false;
        }
        SetUninstallINI(m_record.c_str());
        const bool done = RegisterClasses(error) && MakeInstances(error) && WriteSettings(error) &&
                          MakeDataSource(error) && MakeTables(error) && CopySiteFiles(error) &&
                          MakeVirtualDirectory(error);
        SetUninstallINI(nullptr);
        if (done && !m_recordError.empty()) {
            error = m_recordError;
            return false;
        }
        return done;
    }

private:
    std::string Site() const { return m_prefix + "/site"; }
    std::string Data() const { return m_prefix + "/data"; }

    // Records one of this program's own entries.
    void Own(const std::string& key, const char* kind) {
        std::string error;
        if (!inifile::WriteEntry(m_record, OWN_SECTION, key, kind, error)) {
            m_recordError = "the removal record cannot be written: " + error;
        }
    }

    bool IsInside(const fs::path& path) const {
        const std::string text = path.lexically_normal().string();
        return text == m_prefix || text.rfind(m_prefix + "/", 0) == 0;
    }

    // Makes the directory and those missing above it; those inside the prefix (the prefix
    // too) are recorded, outermost first, so that the removal takes them innermost first.
    bool MakeDirectory(const std::string& path, std::string& error) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            return true;
        }
        std::vector<fs::path> missing;
        for (fs::path at = path; !fs::exists(at, ec) && at != at.parent_path();
             at = at.parent_path()) {
            missing.push_back(at);
        }
        for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
            if (!fs::create_directory(*it, ec) && !fs::is_directory(*it, ec)) {
                error = "cannot create " + it->string() + ": " + ec.message();
                return false;
            }
            if (IsInside(*it)) {
                Own(it->string(), DIRECTORY_ENTRY);
            }
        }
        return true;
    }

    std::string Library(const std::string& name) const {
        const std::string self = ProgramDirectory();
        std::vector<fs::path> candidates;
        if (!m_options.libraryDir.empty()) {
            candidates.push_back(fs::path(m_options.libraryDir) / name);
        }
        candidates.push_back(fs::path(self) / "../lib" / name);
        candidates.push_back(fs::path(self) / "../" DORVALE_INSTALL_LIBDIR / name);
        return FindShipped(candidates);
    }

    // Keys the registrations and settings will make where they are missing.
    void OwnMissingContainers() {
        for (const char* key : CONTAINER_KEYS) {
            if (!RegistryKeyExists(key)) {
                Own(key, REGISTRY_CONTAINER_ENTRY);
            }
        }
    }

    bool RegisterClasses(std::string& error) {
        OwnMissingContainers();
        const std::string regsvr = FindShipped({fs::path(ProgramDirectory()) / "dorvale-regsvr"});
        if (regsvr.empty()) {
            error = "dorvale-regsvr is not beside dorvale-install";
            return false;
        }
        for (const char* name :
             {"libDorvaleMetabase.so", "libCatalink.so", "libQTRWeb.so", "libLiftwell.so"}) {
            const std::string library = Library(name);
            if (library.empty()) {
                error = std::string("the library ") + name + " is not installed";
                return false;
            }
            const std::string quoted = process::QuoteArgument(library);
            const std::string removal = process::QuoteArgument(regsvr) + " -u " + quoted;
            if (!ExecuteApplication(regsvr.c_str(), quoted.c_str(), removal.c_str(), 1)) {
                error = "cannot register " + library + ": " + ExtError();
                return false;
            }
        }
        m_report("registered the automation classes (Dorvale.Metabase, Catalink, QTRWeb, "
                 "Liftwell)");
        return true;
    }

    // The web instance (and the FTP one when a port is given), when the metabase has none.
    bool MakeInstances(std::string& error) {
        CComInitialize com;
        CComPtr<IMetabaseAdmin> admin = com.Succeeded() ? metabase::CreateAdminBase() : nullptr;
        if (!admin) {
            error = "the metabase (Dorvale.Metabase) cannot be created";
            return false;
        }
        for (const auto& [service, comment, port, root] :
             {std::tuple{"W3SVC", WEB_SITE, m_options.webPort, m_prefix + "/www"},
              std::tuple{"MSFTPSVC", FTP_SITE, m_options.ftpPort, m_prefix + "/ftp"}}) {
            if (port == 0) {
                continue;
            }
            const auto instances = metabase::ListInstances(admin, service);
            if (!instances.empty()) {
                m_siteNames[service] = instances.front().comment;
                m_report(std::string("kept the ") + service + " instance \"" +
                         instances.front().comment + "\"");
                continue;
            }
            if (!MakeDirectory(root, error)) {
                return false;
            }
            const std::string path = std::string(service) + "/1";
            metabase::CMetabaseKey lm(admin);
            if (FAILED(lm.Open("/LM", true, 1000)) ||
                FAILED(admin->AddKey(lm.Get(), (path + "/ROOT").c_str())) ||
                FAILED(lm.SetString(path, MD_SERVER_COMMENT, comment, IIS_MD_UT_SERVER)) ||
                FAILED(lm.SetString(path, MD_SERVER_BINDINGS,
                                    "127.0.0.1:" + std::to_string(port) + ":", IIS_MD_UT_SERVER)) ||
                FAILED(lm.SetString(path + "/ROOT", MD_VR_PATH, root)) ||
                FAILED(lm.SetDword(path + "/ROOT", MD_ACCESS_PERM, 1)) || FAILED(lm.Close())) {
                error = std::string("cannot make the ") + service + " instance in the metabase";
                return false;
            }
            Own("/" + path, METABASE_KEY_ENTRY);
            m_siteNames[service] = comment;
            m_report(std::string("made the ") + service + " instance \"" + comment +
                     "\" on 127.0.0.1:" + std::to_string(port));
        }
        return true;
    }

    bool WriteSettings(std::string& error) {
        // The topmost product key made here is recorded; values added to keys that were
        // there are recorded one by one.
        std::string made;
        const std::string product = std::string("HKLM\\") + PRODUCT_KEY;
        std::string key = product;
        for (std::string_view rest =
                 std::string_view(settings::SettingsKey).substr(std::strlen(PRODUCT_KEY));
             made.empty();) {
            if (!RegistryKeyExists(key)) {
                made = key;
            }
            if (rest.empty()) {
                break;
            }
            const std::size_t slash = rest.find('\\', 1);
            key += std::string(rest.substr(0, slash));
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        }
        CRegKey settingsKey;
        if (settingsKey.Create(HKEY_LOCAL_MACHINE, settings::SettingsKey) != ERROR_SUCCESS) {
            error = std::string("cannot write HKLM\\") + settings::SettingsKey;
            return false;
        }
        if (!made.empty()) {
            Own(made, REGISTRY_KEY_ENTRY);
        }
        std::vector<std::pair<const char*, std::string>> values = {
            {settings::InstallDir, m_prefix},
            {settings::HttpPath, Site()},
            {settings::DatabasePath, Data()}};
        for (const auto& [service, setting] :
             {std::pair{"W3SVC", settings::WebServerName}, {"MSFTPSVC", settings::FtpServerName}}) {
            if (m_siteNames.count(service) != 0) {
                values.emplace_back(setting, m_siteNames[service]);
            }
        }
        for (const auto& [name, value] : values) {
            std::string existing;
            const bool had = settingsKey.QueryStringValue(name, existing) == ERROR_SUCCESS;
            if (settingsKey.SetStringValue(name, value.c_str()) != ERROR_SUCCESS) {
                error = std::string("cannot write the setting ") + name;
                return false;
            }
            if (!had && made.empty()) {
                Own(std::string("HKLM\\") + settings::SettingsKey + "\\" + name,
                    REGISTRY_VALUE_ENTRY);
            }
        }
        if (!MakeDirectory(Site(), error) || !MakeDirectory(Data(), error)) {
            return false;
        }
        m_report("wrote the settings: InstallDir " + m_prefix + ", HttpPath " + Site() +
                 ", DatabasePath " + Data());
        return true;
    }

    // The system data source file is read by every user, so it keeps no password: refused
    // before anything is made, not after the settings are written.
    bool CheckDataSourcePassword(std::string& error) const {
        if (m_options.database != EDatabaseKind::Postgresql || m_options.userDataSource) {
            return true;
        }
        std::vector<std::pair<std::string, std::string>> attributes;
        if (!ParsePostgresConnection(m_options.postgresConnection, attributes, error)) {
            error = "cannot read the PostgreSQL connection: " + error;
            return false;
        }
        if (HoldsPassword(attributes)) {
            error = "the PostgreSQL connection holds a password, which the system data "
                    "source file would show to every user: give it in ~/.pgpass of each "
                    "user that runs Dorvale, or install with --user-data-source";
            return false;
        }
        return true;
    }

    bool MakeDataSource(std::string& error) {
        const EDataSourceScope scope =
            m_options.userDataSource ? EDataSourceScope::User : EDataSourceScope::System;
        const auto existing = ReadDataSource(scope, DATA_SOURCE);
        bool ours = false;
        if (existing) {
            for (const auto& [name, value] : *existing) {
                ours = ours ||
                       (base::EqualsNoCase(name, removalrecord::INSTALLED_BY) && value == m_record);
            }
            if (!ours) {
                m_report("kept the existing data source \"Dorvale\" (" + DataSourceFile(scope) +
                         ")");
                return true;
            }
        }
        std::vector<std::pair<std::string, std::string>> attributes;
        const bool sqlite = m_options.database == EDatabaseKind::Sqlite;
        if (sqlite) {
            std::string file =
                m_options.sqliteFile.empty() ? Data() + "/dorvale.db" : m_options.sqliteFile;
            std::error_code ec;
            file = fs::absolute(file, ec).lexically_normal().string();
            if (!fs::exists(file, ec)) {
                if (!MakeDirectory(fs::path(file).parent_path().string(), error)) {
                    return false;
                }
                Own(file, DATABASE_FILE_ENTRY);
            }
            attributes = {{"Description", "Dorvale catalogue (SQLite)"},
                          {"Database", file},
                          {"JournalMode", "WAL"},
                          {"SyncPragma", "NORMAL"},
                          {"Timeout", "100000"}};
        } else {
            if (!ParsePostgresConnection(m_options.postgresConnection, attributes, error)) {
                error = "cannot read the PostgreSQL connection: " + error;
                return false;
            }
            attributes.insert(attributes.begin(),
                              {"Description", "Dorvale catalogue (PostgreSQL)"});
        }
        attributes.emplace_back(removalrecord::INSTALLED_BY, m_record);
        const std::string driver =
            FindDriver(sqlite ? EDriverKind::Sqlite : EDriverKind::Postgresql);
        if (driver.empty()) {
            error = sqlite
                        ? "the SQLite ODBC driver is not installed (Debian package libsqliteodbc)"
                        : "the PostgreSQL ODBC driver is not installed (Debian package "
                          "odbc-postgresql)";
            return false;
        }
        m_connection = "Driver={" + driver + "}";
        for (const auto& [name, value] : attributes) {
            m_connection +=
                ";" + name + "=" +
                (value.find_first_of(";{}") == std::string::npos ? value : "{" + value + "}");
        }
        if (!WriteDataSource(scope, DATA_SOURCE, driver, attributes, error)) {
            error = "cannot write the data source \"Dorvale\" in " + DataSourceFile(scope) + ": " +
                    error;
            return false;
        }
        if (!ours) {
            std::string recordError;
            if (!inifile::WriteEntry(m_record, removalrecord::ODBC_SECTION, "DataSource1",
                                     driver + ";" + DATA_SOURCE, recordError)) {
                m_recordError = recordError;
            }
        }
        m_report("made the " + std::string(ScopeName(scope)) + " data source \"Dorvale\" in " +
                 DataSourceFile(scope));
        return true;
    }

    // The catalogue's tables, from a schema script of this product's definitions, unless
    // the catalogue has them already.
    bool MakeTables(std::string& error) {
        const std::string connection = std::string("DSN=") + DATA_SOURCE;
        const std::string probe = m_prefix + "/.schema-probe.sql";
        const std::string script = m_prefix + "/.schema.sql";
        const std::string text = SchemaScript(m_options.database == EDatabaseKind::Sqlite);
        if (!WriteText(probe, "SELECT COUNT(*) FROM files\nGO\n") || !WriteText(script, text)) {
            error = "cannot write the schema script in " + m_prefix;
            return false;
        }
        const bool present = ExecuteSQLScript(connection.c_str(), probe.c_str()) != 0;
        bool done = present || ExecuteSQLScript(connection.c_str(), script.c_str()) != 0;
        if (!done) {
            error = "cannot create the catalogue's tables: " + ExtError();
        }
        std::error_code ec;
        fs::remove(probe, ec);
        fs::remove(script, ec);
        if (done && !present) {
            std::string recordError;
            if (!m_connection.empty() &&
                !inifile::WriteEntry(m_record, CATALOGUE_SECTION, CONNECTION_KEY, m_connection,
                                     recordError)) {
                m_recordError = recordError;
            }
            Own(TABLES_KEY, TABLES_ENTRY);
        }
        if (done) {
            m_report(present ? "kept the catalogue's tables" : "created the catalogue's tables");
        }
        return done;
    }

    bool CopySiteFiles(std::string& error) {
        std::string templates = m_options.templatesDir;
        if (templates.empty()) {
            templates = FindShipped({fs::path(ProgramDirectory()) / "../share/dorvale/templates",
                                     fs::path(DORVALE_TEMPLATES_DIR)});
        }
        // What is to come is recorded before it is copied, so a failure half-way leaves
        // nothing unrecorded.
        std::error_code ec;
        if (!MakeDirectory(m_prefix + "/templates", error) ||
            !MakeDirectory(Site() + "/assets", error)) {
            return false;
        }
        auto ownFile = [&](const std::string& file) {
            if (!fs::exists(file, ec)) {
                Own(file, FILE_ENTRY);
            }
        };
        for (const fs::directory_entry& entry : fs::directory_iterator(templates, ec)) {
            if (entry.is_regular_file() && entry.path().extension() == ".tmpl") {
                ownFile(m_prefix + "/templates/" + entry.path().filename().string());
            }
        }
        const fs::path assets = fs::path(templates) / "assets";
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(assets, ec)) {
            const std::string target =
                Site() + "/assets/" + entry.path().lexically_relative(assets).string();
            if (entry.is_directory()) {
                if (!MakeDirectory(target, error)) {
                    return false;
                }
            } else {
                ownFile(target);
            }
        }
        CServeSettings site;
        site.installDir = m_prefix;
        site.httpPath = Site();
        int copied = 0;
        if (!InstallSiteFiles(templates, site, copied, error)) {
            return false;
        }
        m_report("installed " + std::to_string(copied) + " templates and assets from " + templates);
        return true;
    }

    bool MakeVirtualDirectory(std::string& error) {
        // Read by all, an application in the web server's own process.
        if (!AddVirtualRoot(m_siteNames["W3SVC"].c_str(), VIRTUAL_DIRECTORY, Site().c_str(), 1,
                            1)) {
            error = std::string("cannot make the virtual directory ") + VIRTUAL_DIRECTORY + ": " +
                    ExtError();
            return false;
        }
        m_report(std::string("made the virtual directory ") + VIRTUAL_DIRECTORY + " for " + Site());
        return true;
    }

    const CInstallOptions& m_options;
    const ReportFn& m_report;
    std::string m_prefix;
    std::string m_record;
    std::string m_recordError;
    std::string m_connection; // the data source's connection, when made here
    std::map<std::string, std::string> m_siteNames;
};

} // namespace

std::string RecordFileOf(const std::string& prefix) {
    return (fs::path(prefix) / removalrecord::FILE_NAME).string();
}

bool Install(const CInstallOptions& options, const ReportFn& report, std::string& error) {
    CInstaller installer(options, report);
    return installer.Run(error);
}

namespace {

class CUninstaller {
public:
    CUninstaller(std::string recordFile, bool purge, const ReportFn& report)
        : m_recordFile(std::move(recordFile)), m_purge(purge), m_report(report) {}

    bool Run(bool throughCommandLine, std::string& error) {
        std::error_code ec;
        m_root = fs::weakly_canonical(fs::absolute(m_recordFile).parent_path(), ec).string();
        if (!m_record.Load(m_recordFile, error)) {
            return false;
        }
        if (!m_record.Exists()) {
            error = "no installation is recorded in " + m_recordFile;
            return false;
        }
        const auto own = m_record.Section(OWN_SECTION);
        // The tables go while their data source is still there.
        for (const auto& [key, kind] : own) {
            if (base::EqualsNoCase(kind, TABLES_ENTRY)) {
                DropTables(key);
            }
        }
        if (throughCommandLine) {
            // As the uninstall program called it; what it could not remove it said on
            // standard error.
            UninstInitialize();
        } else if (UninstProcessRecord(m_recordFile.c_str(), &CUninstaller::Reported, this) < 0) {
            m_complete = false;
        }
        std::vector<std::string> prefixEntries;
        for (auto entry = own.rbegin(); entry != own.rend(); ++entry) {
            const auto& [key, kind] = *entry;
            if (base::EqualsNoCase(kind, DIRECTORY_ENTRY) && key == m_root) {
                prefixEntries.push_back(key); // once the record itself has gone
            } else if (!RemoveOwn(key, kind)) {
                m_kept.emplace_back(key, kind);
            }
        }
        return Finish(!prefixEntries.empty(), error);
    }

private:
    bool IsInside(const std::string& path) const {
        if (path.empty() || path.front() != '/') {
            return false;
        }
        std::error_code ec;
        const std::string resolved = fs::weakly_canonical(path, ec).string();
        return !ec && (resolved == m_root || resolved.rfind(m_root + "/", 0) == 0);
    }

    static void Reported(void* context, const char* section, const char* key, const char* line,
                         int left) {
        auto* self = static_cast<CUninstaller*>(context);
        self->m_report(line);
        if (left != 0) {
            self->m_left.emplace_back(section, key);
            self->m_complete = false;
        }
    }

    void Refuse(const std::string& key, const std::string& why) {
        m_report(key + ": " + why + "; left alone");
        m_complete = false;
    }

    void DropTables(const std::string& key) {
        if (!m_purge) {
            m_report("kept the catalogue's tables (--purge drops them)");
            return;
        }
        std::string connection = "DSN=" + std::string(DATA_SOURCE);
        (void)m_record.Get(CATALOGUE_SECTION, CONNECTION_KEY, connection);
        const std::string script = m_root + "/.drop.sql";
        std::string text;
        for (const char* table : {"areafile", "download", "files"}) {
            text += std::string("DROP TABLE IF EXISTS ") + table + "\nGO\n";
        }
        if (!WriteText(script, text) || !ExecuteSQLScript(connection.c_str(), script.c_str())) {
            Refuse(key, "cannot drop the catalogue's tables: " + ExtError());
        } else {
            m_report("dropped the catalogue's tables");
            m_dropped = true;
        }
        std::error_code ec;
        fs::remove(script, ec);
    }

    // Removes one of this program's entries; false when it is kept.
    bool RemoveOwn(const std::string& key, const std::string& kind) {
        std::error_code ec;
        if (base::EqualsNoCase(kind, TABLES_ENTRY)) {
            return m_dropped;
        }
        if (base::EqualsNoCase(kind, FILE_ENTRY) || base::EqualsNoCase(kind, DATABASE_FILE_ENTRY)) {
            if (!IsInside(key)) {
                Refuse(key, "not inside the installation " + m_root);
                return false;
            }
            if (base::EqualsNoCase(kind, DATABASE_FILE_ENTRY) && !m_purge) {
                m_report("kept the catalogue " + key + " (--purge deletes it)");
                return false;
            }
            for (const char* suffix : {"", "-wal", "-shm", "-journal"}) {
                fs::remove(key + suffix, ec);
            }
            return true;
        }
        if (base::EqualsNoCase(kind, DIRECTORY_ENTRY)) {
            if (!IsInside(key)) {
                Refuse(key, "not inside the installation " + m_root);
                return false;
            }
            if (fs::exists(key, ec) && !fs::remove(key, ec)) {
                m_report("kept " + key + ": it holds files the installation did not make");
                return false;
            }
            return true;
        }
        if (base::EqualsNoCase(kind, REGISTRY_CONTAINER_ENTRY)) {
            return RemoveContainer(key);
        }
        if (base::EqualsNoCase(kind, REGISTRY_KEY_ENTRY) ||
            base::EqualsNoCase(kind, REGISTRY_VALUE_ENTRY)) {
            return RemoveRegistry(key, base::EqualsNoCase(kind, REGISTRY_VALUE_ENTRY));
        }
        if (base::EqualsNoCase(kind, METABASE_KEY_ENTRY)) {
            return RemoveInstance(key);
        }
        Refuse(key, "an entry of unknown kind " + kind);
        return false;
    }

    bool RemoveRegistry(const std::string& key, bool value) {
        const std::string product = std::string("HKLM\\") + PRODUCT_KEY;
        if (!base::StartsWithNoCase(key, product) ||
            (key.size() > product.size() && key[product.size()] != '\\') ||
            key.find("\\..") != std::string::npos) {
            Refuse(key, "not one of Dorvale's registry keys");
            return false;
        }
        const std::string path = key.substr(5);
        LONG result = ERROR_SUCCESS;
        if (value) {
            const std::size_t slash = path.rfind('\\');
            CRegKey parent;
            result = parent.Open(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), KEY_WRITE);
            if (result == ERROR_SUCCESS) {
                result = parent.DeleteValue(path.substr(slash + 1).c_str());
            }
        } else {
            result = RegDeleteTree(HKEY_LOCAL_MACHINE, path.c_str());
        }
        if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
            Refuse(key, RegGetErrorText(result));
            return false;
        }
        return true;
    }

    // A key shared with others: it goes only when nothing is left in it.
    bool RemoveContainer(const std::string& key) {
        if (std::none_of(std::begin(CONTAINER_KEYS), std::end(CONTAINER_KEYS),
                         [&](const char* known) { return base::EqualsNoCase(key, known); })) {
            Refuse(key, "not a key the installation may remove");
            return false;
        }
        HKEY root = nullptr;
        std::string path;
        SplitRegistryKey(key, root, path);
        CRegKey container;
        DWORD subkeys = 0;
        DWORD values = 0;
        if (container.Open(root, path.c_str(), KEY_READ) != ERROR_SUCCESS) {
            return true;
        }
        if (RegQueryInfoKey(container, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
            subkeys != 0 || values != 0) {
            return true; // others' now; not ours to remove
        }
        container.Close();
        const LONG result = RegDeleteKey(root, path.c_str());
        if (result != ERROR_SUCCESS) {
            Refuse(key, RegGetErrorText(result));
            return false;
        }
        return true;
    }

    // A server instance the installation made. Its automation class may be unregistered by
    // now, so the metabase's own store is changed, under its lock.
    bool RemoveInstance(const std::string& key) {
        std::vector<std::string> names;
        if (!metabase::SplitPath(key, names) || names.size() != 2 ||
            (names[0] != "W3SVC" && names[0] != "MSFTPSVC") ||
            names[1].find_first_not_of("0123456789") != std::string::npos) {
            Refuse(key, "not a server instance");
            return false;
        }
        const std::string directory = metabase::MetabaseDirectory();
        metabase::CMetabaseLock lock;
        metabase::CTree tree;
        std::string error;
        if (!lock.Acquire(directory, true, 5000) || !metabase::LoadTree(directory, tree, error)) {
            Refuse(key, "the metabase cannot be changed: " + (error.empty() ? "busy" : error));
            return false;
        }
        metabase::CKeyNode* service = tree.Find({"LM", names[0]});
        metabase::CKeyNode* instance = service == nullptr ? nullptr : service->Child(names[1]);
        if (instance == nullptr) {
            return true;
        }
        metabase::CKeyNode* root = instance->Child("ROOT");
        std::string rootPath;
        if (root != nullptr) {
            auto property = root->properties.find(MD_VR_PATH);
            if (property != root->properties.end()) {
                rootPath = property->second.bytes;
            }
        }
        if (!IsInside(rootPath)) {
            Refuse(key, "its root " + rootPath + " is not inside the installation");
            return false;
        }
        service->RemoveChild(names[1]);
        if (service->children.empty() && service->properties.empty()) {
            tree.Find({"LM"})->RemoveChild(names[0]);
        }
        if (!metabase::SaveTree(directory, tree, error)) {
            Refuse(key, error);
            return false;
        }
        return true;
    }

    // The record goes when everything in it has; otherwise it keeps what is left, for
    // another try: the entries not removed, in their order.
    bool Finish(bool removePrefix, std::string& error) {
        std::error_code ec;
        if (m_complete && m_kept.empty()) {
            fs::remove(m_recordFile, ec);
            if (removePrefix && !fs::remove(m_root, ec) && fs::exists(m_root, ec)) {
                m_report("kept " + m_root + ": it holds files the installation did not make");
            }
            return true;
        }
        inifile::CIniFile left;
        for (const char* section :
             {removalrecord::ODBC_SECTION, removalrecord::SERVICE_SECTION,
              removalrecord::VIRTUAL_ROOTS_SECTION, removalrecord::APPLICATIONS_SECTION,
              removalrecord::PROGRAMS_SECTION}) {
            for (const auto& [key, value] : m_record.Section(section)) {
                const bool rootLeft =
                    std::find(m_left.begin(), m_left.end(),
                              std::pair<std::string, std::string>(
                                  removalrecord::VIRTUAL_ROOTS_SECTION, key)) != m_left.end();
                if (std::find(m_left.begin(), m_left.end(),
                              std::pair<std::string, std::string>(section, key)) != m_left.end() ||
                    (std::strcmp(section, removalrecord::APPLICATIONS_SECTION) == 0 && rootLeft)) {
                    left.Set(section, key, value);
                }
            }
        }
        std::string connection;
        if (!m_dropped && m_record.Get(CATALOGUE_SECTION, CONNECTION_KEY, connection)) {
            left.Set(CATALOGUE_SECTION, CONNECTION_KEY, connection);
        }
        if (removePrefix) {
            left.Set(OWN_SECTION, m_root, DIRECTORY_ENTRY);
        }
        for (auto kept = m_kept.rbegin(); kept != m_kept.rend(); ++kept) {
            left.Set(OWN_SECTION, kept->first, kept->second);
        }
        if (!left.Save(m_recordFile, error)) {
            return false;
        }
        if (!m_complete) {
            error = "not everything could be removed; what is left stays in " + m_recordFile +
                    " for another try";
            return false;
        }
        return true;
    }

    std::string m_recordFile;
    bool m_purge;
    const ReportFn& m_report;
    std::string m_root;
    inifile::CIniFile m_record;
    bool m_complete = true;
    bool m_dropped = false;
    std::vector<std::pair<std::string, std::string>> m_kept;
    std::vector<std::pair<std::string, std::string>> m_left; // section, key
};

} // namespace

bool Uninstall(const std::string& recordFile, bool purge, bool throughCommandLine,
               const ReportFn& report, std::string& error) {
    CUninstaller uninstaller(recordFile, purge, report);
    return uninstaller.Run(throughCommandLine, error);
}

} // namespace installation
