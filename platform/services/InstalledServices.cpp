#include "InstalledServices.h"

#include "Process.h"
#include "Registry.h"
#include "Services.h"
#include "Text.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace services {

namespace {

constexpr char PROGRAM[] = "Program";
constexpr char DISPLAY_NAME[] = "DisplayName";
constexpr char OBJECT_NAME[] = "ObjectName";
constexpr char INSTALLED_BY[] = "InstalledBy";
constexpr char GROUP[] = "Group";
constexpr char DEPEND_ON_SERVICE[] = "DependOnService";

// A service's name becomes part of a unit's and a file's name: letters, digits, '-', '_', '.'.
bool IsSafeName(const std::string& name) {
    return !name.empty() && name.size() <= 200 && name.front() != '.' && name.front() != '-' &&
           name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                  "0123456789-_.") == std::string::npos;
}

std::string UnitName(const std::string& name) {
    return "dorvale-" + base::LowerAscii(name) + ".service";
}

std::string UnitDirectory() {
    const char* dir = std::getenv("DORVALE_SYSTEMD_DIR");
    return dir != nullptr && *dir != '\0' ? dir : "/etc/systemd/system";
}

std::string PidFileOf(const std::string& name) {
    return ServiceRunDirectory() + "/" + name + ".pid";
}

std::string LogFileOf(const std::string& name) {
    return ServiceRunDirectory() + "/" + name + ".log";
}

bool RunQuietly(const std::string& program, const std::vector<std::string>& arguments,
                std::string& error) {
    process::CSpawnOptions options;
    options.streams = process::EStreams::Discard;
    process::CExitStatus status;
    if (!process::RunAndWait(program, arguments, options, status, error)) {
        return false;
    }
    if (!status.exited || status.code != 0) {
        error = program + " " + (arguments.empty() ? "" : arguments.front()) + " failed";
        return false;
    }
    return true;
}

// systemd's own quoting of one word of ExecStart.
std::string UnitWord(const std::string& word) {
    std::string quoted = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c == '%' ? std::string("%%") : std::string(1, c);
    }
    return quoted + "\"";
}

bool WriteUnit(const std::string& name, const CServiceDefinition& definition,
               const std::vector<std::string>& words, std::string& error) {
    std::string text =
        "[Unit]\nDescription=" + (definition.displayName.empty() ? name : definition.displayName) +
        "\n";
    for (const std::string& dependency : definition.dependencies) {
        text += "Requires=" + UnitName(dependency) + "\nAfter=" + UnitName(dependency) + "\n";
    }
    text += "\n[Service]\nExecStart=";
    for (std::size_t i = 0; i < words.size(); ++i) {
        text += (i == 0 ? "" : " ") + UnitWord(words[i]);
    }
    text += "\n";
    if (!definition.account.empty()) {
        text += "User=" + definition.account + "\n";
    }
    text += "Restart=on-failure\n\n[Install]\nWantedBy=multi-user.target\n";
    const std::string path = UnitDirectory() + "/" + UnitName(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

LONG SetText(CRegKey& key, const char* valueName, const std::string& value) {
    return key.SetStringValue(valueName, value.c_str());
}

} // namespace

bool UsesSystemd() {
    std::error_code ec;
    return ::geteuid() == 0 && fs::is_directory("/run/systemd/system", ec) &&
           !process::FindProgram("systemctl").empty();
}

std::string ServiceRunDirectory() {
    const char* registry = std::getenv("DORVALE_REGISTRY");
    if (registry != nullptr && *registry != '\0') {
        return std::string(registry) + "/run";
    }
    if (::geteuid() == 0) {
        return "/run/dorvale";
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && *runtime != '\0' ? std::string(runtime) + "/dorvale"
                                                  : "/tmp/dorvale-" + std::to_string(::geteuid());
}

std::string ServiceHostProgram() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path beside = self.parent_path() / "dorvale-service";
        if (fs::exists(beside, ec)) {
            return beside.string();
        }
    }
    return process::FindProgram("dorvale-service");
}

bool CreateService(const std::string& name, const CServiceDefinition& definition,
                   std::string& error) {
    if (!IsSafeName(name)) {
        error = "\"" + name + "\" is not a service name (letters, digits, - _ .)";
        return false;
    }
    std::vector<std::string> words;
    if (!process::SplitCommandLine(definition.commandLine, words) || words.empty() ||
        words.front().empty() || words.front().front() != '/') {
        error =
            "the service's program must be an absolute path: \"" + definition.commandLine + "\"";
        return false;
    }
    if (!definition.account.empty() && ::getpwnam(definition.account.c_str()) == nullptr) {
        error = "no account \"" + definition.account + "\"";
        return false;
    }
    CServiceConfig existing;
    if (ReadServiceConfig(name, existing) && !DeleteService(name, error)) {
        return false;
    }
    CServiceConfig control;
    if (UsesSystemd()) {
        control.systemdUnit = UnitName(name);
        if (!WriteUnit(name, definition, words, error) ||
            !RunQuietly("systemctl", {"daemon-reload"}, error) ||
            (definition.startType == SERVICE_START_AUTO &&
             !RunQuietly("systemctl", {"enable", control.systemdUnit}, error))) {
            std::error_code ec;
            fs::remove(UnitDirectory() + "/" + control.systemdUnit, ec);
            return false;
        }
    } else {
        const std::string host = ServiceHostProgram();
        if (host.empty()) {
            error = "dorvale-service is not installed";
            return false;
        }
        control.imagePath = process::QuoteArgument(host) + " " + name;
        control.pidFile = PidFileOf(name);
        // The kernel keeps 15 bytes of a process's name.
        control.processName = fs::path(words.front()).filename().string().substr(0, 15);
    }
    if (!RegisterService(name, control, error)) {
        return false;
    }
    CRegKey key;
    std::string dependencies;
    for (const std::string& dependency : definition.dependencies) {
        dependencies += dependency + '\0';
    }
    dependencies += '\0';
    LONG result = key.Open(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str(), KEY_WRITE);
    for (const auto& [valueName, value] :
         {std::pair<const char*, const std::string*>{PROGRAM, &definition.commandLine},
          {DISPLAY_NAME, &definition.displayName},
          {OBJECT_NAME, &definition.account},
          {GROUP, &definition.group},
          {INSTALLED_BY, &definition.installedBy}}) {
        if (result == ERROR_SUCCESS) {
            result = SetText(key, valueName, *value);
        }
    }
    for (const auto& [valueName, value] :
         {std::pair<const char*, unsigned>{"Type", definition.serviceType},
          {"Start", definition.startType},
          {"ErrorControl", definition.errorControl}}) {
        if (result == ERROR_SUCCESS) {
            result = key.SetDWORDValue(valueName, value);
        }
    }
    if (result == ERROR_SUCCESS) {
        result = key.SetValue(DEPEND_ON_SERVICE, REG_MULTI_SZ, dependencies.data(),
                              static_cast<ULONG>(dependencies.size()));
    }
    if (result != ERROR_SUCCESS) {
        error = "cannot write HKLM\\" + ServiceKey(name) + ": " + RegGetErrorText(result);
        std::string ignored;
        DeleteService(name, ignored);
        return false;
    }
    return true;
}

bool ReadServiceDefinition(const std::string& name, CServiceDefinition& definition) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str(), KEY_READ) != ERROR_SUCCESS ||
        key.QueryStringValue(PROGRAM, definition.commandLine) != ERROR_SUCCESS) {
        return false;
    }
    (void)key.QueryStringValue(DISPLAY_NAME, definition.displayName);
    (void)key.QueryStringValue(OBJECT_NAME, definition.account);
    (void)key.QueryStringValue(GROUP, definition.group);
    (void)key.QueryStringValue(INSTALLED_BY, definition.installedBy);
    DWORD number = 0;
    if (key.QueryDWORDValue("Start", number) == ERROR_SUCCESS) {
        definition.startType = number;
    }
    std::string dependencies;
    DWORD type = 0;
    char buffer[4096];
    ULONG size = sizeof buffer;
    definition.dependencies.clear();
    if (key.QueryValue(DEPEND_ON_SERVICE, &type, buffer, &size) == ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        for (std::size_t at = 0; at < size && buffer[at] != '\0';) {
            const std::string one(buffer + at, strnlen(buffer + at, size - at));
            definition.dependencies.push_back(one);
            at += one.size() + 1;
        }
    }
    return true;
}

bool DeleteService(const std::string& name, std::string& error, int timeoutMs) {
    CServiceConfig config;
    if (!ReadServiceConfig(name, config)) {
        CRegKey services;
        if (services.Open(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str(), KEY_READ) !=
            ERROR_SUCCESS) {
            error = "the service " + name + " does not exist";
            return false;
        }
    } else if (IsServiceRunning(name)) {
        if (!StopService(name, error)) {
            return false;
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (IsServiceRunning(name)) {
            if (std::chrono::steady_clock::now() > deadline) {
                error = "the service " + name + " did not stop";
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    std::error_code ec;
    if (!config.systemdUnit.empty()) {
        std::string ignored;
        (void)RunQuietly("systemctl", {"disable", config.systemdUnit}, ignored);
        fs::remove(UnitDirectory() + "/" + config.systemdUnit, ec);
        (void)RunQuietly("systemctl", {"daemon-reload"}, ignored);
    }
    if (IsSafeName(name)) {
        fs::remove(PidFileOf(name), ec);
        fs::remove(LogFileOf(name), ec);
        fs::remove(ServiceRunDirectory(), ec); // only when empty
    }
    const LONG result = RegDeleteTree(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str());
    if (result != ERROR_SUCCESS) {
        error = "cannot delete HKLM\\" + ServiceKey(name) + ": " + RegGetErrorText(result);
        return false;
    }
    return true;
}

bool StartOwnService(const std::string& name, std::string& error) {
    CServiceDefinition definition;
    CServiceConfig config;
    if (!IsSafeName(name) || !ReadServiceDefinition(name, definition) ||
        !ReadServiceConfig(name, config) || config.pidFile.empty()) {
        error = "the service " + name + " is not one of Dorvale's own";
        return false;
    }
    if (ServicePid(name) != 0) {
        return true;
    }
    std::vector<std::string> words;
    if (!process::SplitCommandLine(definition.commandLine, words) || words.empty()) {
        error = "the service's program \"" + definition.commandLine + "\" is not a command line";
        return false;
    }
    if (!definition.account.empty() && ::geteuid() == 0) {
        const passwd* account = ::getpwnam(definition.account.c_str());
        if (account == nullptr) {
            error = "no account \"" + definition.account + "\"";
            return false;
        }
        words.insert(words.begin(),
                     {"setpriv", "--reuid=" + std::to_string(account->pw_uid),
                      "--regid=" + std::to_string(account->pw_gid), "--init-groups", "--"});
    }
    std::error_code ec;
    fs::create_directories(ServiceRunDirectory(), ec);
    process::CSpawnOptions options;
    options.streams = process::EStreams::ToFile;
    options.outputFile = LogFileOf(name);
    options.newSession = true;
    process::CProcess child;
    const std::string program = words.front();
    words.erase(words.begin());
    if (!child.Start(program, words, options, error)) {
        return false;
    }
    {
        std::ofstream pid(config.pidFile, std::ios::trunc);
        pid << child.GetPid() << "\n";
        if (!pid) {
            process::CExitStatus ignored;
            child.Terminate(1000, ignored);
            error = "cannot write " + config.pidFile;
            return false;
        }
    }
    // A program that cannot run ends at once; say so rather than report a start.
    process::CExitStatus status;
    if (child.Wait(300, status) == process::EWaitResult::Exited) {
        fs::remove(config.pidFile, ec);
        std::ifstream log(LogFileOf(name));
        std::string said;
        std::getline(log, said);
        error = "the service " + name + " ended at once" + (said.empty() ? "" : ": " + said);
        return false;
    }
    // The name the process has now, after any exec of a starting script: what tells it from
    // another program given its pid later.
    std::ifstream comm("/proc/" + std::to_string(child.GetPid()) + "/comm");
    std::string processName;
    std::getline(comm, processName);
    child.Detach();
    if (!processName.empty() && processName != config.processName) {
        config.processName = processName;
        if (!RegisterService(name, config, error)) {
            return false;
        }
    }
    return true;
}

} // namespace services
