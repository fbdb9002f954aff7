// Undoing an installation from its removal record. The record is trusted only as far as it
// can be: an entry is acted on only when what it names was made by this installation (its
// directory lies in the record's directory, or it carries the record's mark), so a damaged
// or altered record cannot remove what belongs to someone else.
#include "UninstExt.h"

#include "Com.h"
#include "DataSource.h"
#include "DriverRemoval.h"
#include "IISRegistryManager.h"
#include "IniFile.h"
#include "InstalledServices.h"
#include "Metabase.h"
#include "Process.h"
#include "Registry.h"
#include "RemovalRecord.h"
#include "Services.h"
#include "Settings.h"
#include "Text.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr DWORD METABASE_TIMEOUT_MS = 1000;

class CRemoval {
public:
    CRemoval(std::string recordFile, UninstReport report, void* context)
        : m_recordFile(std::move(recordFile)), m_report(report), m_context(context) {}
    CRemoval(const CRemoval&) = delete;
    CRemoval& operator=(const CRemoval&) = delete;

    int Run() {
        At("", "");
        if (!CheckRecordFile()) {
            return -1;
        }
        std::string error;
        if (!m_record.Load(m_recordFile, error)) {
            Report(error);
            return -1;
        }
        RemoveVirtualRoots();
        RemoveServices();
        RunRemovalCommands();
        RemoveDataSources();
        return m_skipped;
    }

private:
    void Report(const std::string& line, bool left = false) {
        if (m_report != nullptr) {
            m_report(m_context, m_section, m_key.c_str(), line.c_str(), left ? 1 : 0);
        }
    }
    void Skip(const std::string& line) {
        ++m_skipped;
        Report(line, true);
    }
    // The entry the next reports are about.
    void At(const char* section, const std::string& key) {
        m_section = section;
        m_key = key;
    }

    // A record others may change could name anything; such a record is not read.
    bool CheckRecordFile() {
        struct stat info {};
        if (::stat(m_recordFile.c_str(), &info) != 0) {
            Report(m_recordFile + ": no removal record, nothing to remove");
            return false;
        }
        if ((info.st_uid != 0 && info.st_uid != ::geteuid()) || (info.st_mode & 022) != 0) {
            Report(m_recordFile + ": others than its owner may change it; nothing removed");
            return false;
        }
        std::error_code ec;
        m_root = fs::weakly_canonical(fs::absolute(m_recordFile).parent_path(), ec).string();
        return true;
    }

    // Whether `path` lies inside the installation's directory.
    bool IsInstalled(const std::string& path) const {
        if (path.empty() || path.front() != '/') {
            return false;
        }
        std::error_code ec;
        const std::string resolved = fs::weakly_canonical(path, ec).string();
        return !ec && (resolved == m_root || resolved.rfind(m_root + "/", 0) == 0);
    }

    void RemoveVirtualRoots() {
        const auto applications = m_record.Section(removalrecord::APPLICATIONS_SECTION);
        bool metabaseChanged = false;
        for (const auto& [key, value] : m_record.Section(removalrecord::VIRTUAL_ROOTS_SECTION)) {
            At(removalrecord::VIRTUAL_ROOTS_SECTION, key);
            if (base::EqualsNoCase(value, removalrecord::REGISTRY_ROOT)) {
                RemoveRegistryRoot(key);
            } else if (base::EqualsNoCase(value, removalrecord::METABASE_ROOT)) {
                bool application = false;
                for (const auto& [appKey, appValue] : applications) {
                    application =
                        application ||
                        (base::EqualsNoCase(appKey, key) &&
                         base::EqualsNoCase(appValue, removalrecord::METABASE_APPLICATION));
                }
                metabaseChanged = RemoveMetabaseRoot(key, application) || metabaseChanged;
            }
        }
        // The running web server takes the metabase as it now is.
        At(removalrecord::VIRTUAL_ROOTS_SECTION, "");
        std::string error;
        if (metabaseChanged && services::IsServiceRunning("W3SVC") &&
            !services::ReloadService("W3SVC", error)) {
            Report("the web server did not take the change: " + error);
        }
    }

    void RemoveRegistryRoot(const std::string& name) {
        CRegKey roots;
        std::string data;
        if (roots.Open(HKEY_LOCAL_MACHINE, settings::VirtualRootsKey, KEY_READ | KEY_WRITE) !=
                ERROR_SUCCESS ||
            roots.QueryStringValue(name.c_str(), data) != ERROR_SUCCESS) {
            Report("virtual root " + name + ": not there, nothing to remove");
            return;
        }
        std::string path;
        unsigned permissions = 0;
        CIISRegistryManager::ParseRootData(data, path, permissions);
        if (!IsInstalled(path)) {
            Skip("virtual root " + name + ": its directory " + path +
                 " is not part of the installation; left alone");
            return;
        }
        if (roots.DeleteValue(name.c_str()) != ERROR_SUCCESS) {
            Skip("virtual root " + name + ": cannot be deleted");
        }
    }

    // A recorded metabase path names a virtual directory below an instance's root.
    static bool IsVirtualDirectoryPath(const std::string& path) {
        std::vector<std::string> names;
        return metabase::SplitPath(path, names) && names.size() >= 4 &&
               (base::EqualsNoCase(names[0], "W3SVC") ||
                base::EqualsNoCase(names[0], "MSFTPSVC")) &&
               !names[1].empty() && names[1].find_first_not_of("0123456789") == std::string::npos &&
               base::EqualsNoCase(names[2], "Root");
    }

    bool RemoveMetabaseRoot(const std::string& path, bool application) {
        if (!IsVirtualDirectoryPath(path)) {
            Skip("virtual directory " + path + ": not a virtual directory's key; left alone");
            return false;
        }
        if (!m_com) {
            m_com = std::make_unique<CComInitialize>();
            m_admin = m_com->Succeeded() ? metabase::CreateAdminBase() : nullptr;
        }
        if (!m_admin) {
            Skip("virtual directory " + path + ": the metabase cannot be reached");
            return false;
        }
        metabase::CMetabaseKey lm(m_admin);
        std::string directory;
        if (FAILED(lm.Open("/LM", false, METABASE_TIMEOUT_MS))) {
            Skip("virtual directory " + path + ": the metabase is busy");
            return false;
        }
        if (!lm.GetString(path, MD_VR_PATH, directory)) {
            Report("virtual directory " + path + ": not there, nothing to remove");
            return false;
        }
        (void)lm.Close();
        if (!IsInstalled(directory)) {
            Skip("virtual directory " + path + ": its directory " + directory +
                 " is not part of the installation; left alone");
            return false;
        }
        if (application && FAILED(metabase::DeleteApplication(m_admin, "/LM" + path, true))) {
            Report("virtual directory " + path + ": its application cannot be deleted");
        }
        if (FAILED(lm.Open("/LM", true, METABASE_TIMEOUT_MS)) ||
            FAILED(m_admin->DeleteKey(lm.Get(), path.c_str())) || FAILED(lm.Close())) {
            Skip("virtual directory " + path + ": cannot be deleted");
            return false;
        }
        return true;
    }

    void RemoveServices() {
        for (const auto& [name, value] : m_record.Section(removalrecord::SERVICE_SECTION)) {
            if (!base::EqualsNoCase(value, removalrecord::SERVICE)) {
                continue;
            }
            At(removalrecord::SERVICE_SECTION, name);
            services::CServiceDefinition definition;
            if (!services::ReadServiceDefinition(name, definition)) {
                Report("service " + name + ": not there, nothing to remove");
                continue;
            }
            if (definition.installedBy != m_recordFile) {
                Skip("service " + name + ": not made by this installation; left alone");
                continue;
            }
            std::string error;
            if (!services::DeleteService(name, error)) {
                Skip("service " + name + ": " + error);
            }
        }
    }

    void RunRemovalCommands() {
        auto commands = m_record.Section(removalrecord::PROGRAMS_SECTION);
        // Undone in the reverse of the order they were done.
        for (auto entry = commands.rbegin(); entry != commands.rend(); ++entry) {
            At(removalrecord::PROGRAMS_SECTION, entry->first);
            std::string program = entry->first;
            const std::size_t number = program.rfind('#');
            if (number != std::string::npos &&
                program.find_first_not_of("0123456789", number + 1) == std::string::npos) {
                program.erase(number);
            }
            std::vector<std::string> words;
            if (!process::SplitCommandLine(entry->second, words) || words.empty()) {
                Skip("removal command \"" + entry->second + "\": not a command line");
                continue;
            }
            if (words.front() != program && !IsInstalled(words.front())) {
                Skip("removal command \"" + entry->second + "\": not of the program " + program +
                     " the installation ran; left alone");
                continue;
            }
            const std::string removalProgram = words.front();
            words.erase(words.begin());
            process::CSpawnOptions options;
            options.streams = process::EStreams::Discard;
            process::CExitStatus status;
            std::string error;
            if (!process::RunAndWait(removalProgram, words, options, status, error)) {
                Skip("removal command \"" + entry->second + "\": " + error);
            } else if (!status.exited || status.code != 0) {
                Skip("removal command \"" + entry->second + "\" failed");
            }
        }
    }

    void RemoveDataSources() {
        for (const auto& [key, value] : m_record.Section(removalrecord::ODBC_SECTION)) {
            if (!base::StartsWithNoCase(key, "DATASOURCE")) {
                continue; // MANAGER, DRIVER, TRANSLATOR: installed by others, kept
            }
            At(removalrecord::ODBC_SECTION, key);
            const std::size_t semicolon = value.find(';');
            const std::string driver =
                semicolon == std::string::npos ? std::string() : value.substr(0, semicolon);
            const std::string name =
                semicolon == std::string::npos ? value : value.substr(semicolon + 1);
            RemoveDataSource(driver, name);
        }
    }

    void RemoveDataSource(const std::string& driver, const std::string& name) {
        for (EDataSourceScope scope : {EDataSourceScope::System, EDataSourceScope::User}) {
            const auto attributes = ReadDataSource(scope, name);
            if (!attributes) {
                continue;
            }
            std::string mark;
            for (const auto& [attribute, value] : *attributes) {
                if (base::EqualsNoCase(attribute, removalrecord::INSTALLED_BY)) {
                    mark = value;
                }
            }
            if (mark != m_recordFile) {
                Skip("data source " + name + ": not made by this installation; left alone");
                return;
            }
            if (ConfigRemoveDataSource(scope == EDataSourceScope::System, driver, name) &&
                !ReadDataSource(scope, name)) {
                return;
            }
            // Drivers without a setup library cannot be asked; the installer's own removal
            // does the same to the ini file.
            std::string error;
            if (!::RemoveDataSource(scope, name, error)) {
                Skip("data source " + name + ": " + error);
            }
            return;
        }
        Report("data source " + name + ": not there, nothing to remove");
    }

    std::string m_recordFile;
    UninstReport m_report;
    void* m_context;
    std::string m_root;
    inifile::CIniFile m_record;
    int m_skipped = 0;
    const char* m_section = "";
    std::string m_key;
    std::unique_ptr<CComInitialize> m_com; // made when the metabase is first needed
    CComPtr<IMetabaseAdmin> m_admin;       // released before COM is, being declared after it
};

// The record file of this process's "-c" argument: "-c FILE" or "-cFILE", the first such
// argument; its directory with "_UNINST.INI". Empty without one.
std::string RecordFileFromCommandLine() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> arguments;
    for (std::string argument; std::getline(in, argument, '\0');) {
        arguments.push_back(argument);
    }
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        std::string named;
        if (arguments[i] == "-c" && i + 1 < arguments.size()) {
            named = arguments[i + 1];
        } else if (arguments[i].size() > 2 && arguments[i].rfind("-c", 0) == 0) {
            named = arguments[i].substr(2);
        } else {
            continue;
        }
        std::error_code ec;
        const fs::path full = fs::absolute(named, ec);
        return ec || named.empty() ? std::string()
                                   : (full.parent_path() / removalrecord::FILE_NAME).string();
    }
    return {};
}

void ReportToStandardError(void*, const char*, const char*, const char* line, int) {
    std::fprintf(stderr, "uninstext: %s\n", line);
}

} // namespace

extern "C" {

int UninstInitialize(void) {
    const std::string record = RecordFileFromCommandLine();
    if (!record.empty()) {
        UninstProcessRecord(record.c_str(), ReportToStandardError, nullptr);
    }
    return 0;
}

int UninstUnInitialize(void) {
    return 0;
}

int UninstProcessRecord(const char* recordFile, UninstReport report, void* context) {
    if (recordFile == nullptr || *recordFile == '\0') {
        return -1;
    }
    CRemoval removal(recordFile, report, context);
    return removal.Run();
}

} // extern "C"
