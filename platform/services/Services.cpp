#include "Services.h"

#include "Fd.h"
#include "Process.h"
#include "Registry.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace services {

namespace {

constexpr char IMAGE_PATH[] = "ImagePath";
constexpr char PID_FILE[] = "PidFile";
constexpr char PROCESS_NAME[] = "ProcessName";
constexpr char SYSTEMD_UNIT[] = "SystemdUnit";

std::string QueryText(HKEY key, const char* name) {
    char buffer[4096];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    return std::string(buffer, strnlen(buffer, size));
}

// Runs a program with its output in a temporary file; true when it ended with 0. `output`
// gets what it said.
bool RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                int timeoutMs, std::string& output) {
    char pattern[] = "/tmp/dorvale-service-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) {
        output = std::string("cannot make a temporary file: ") + std::strerror(errno);
        return false;
    }
    ::close(fd);
    process::CSpawnOptions options;
    options.streams = process::EStreams::ToFile;
    options.outputFile = pattern;
    process::CProcess child;
    std::string error;
    if (!child.Start(program, arguments, options, error)) {
        ::unlink(pattern);
        output = error;
        return false;
    }
    process::CExitStatus status;
    bool done = child.Wait(timeoutMs, status) == process::EWaitResult::Exited;
    if (!done) {
        child.Terminate(2000, status);
    }
    output = base::ReadTrimmedFile(pattern);
    ::unlink(pattern);
    if (!done) {
        output = program + " did not end within " + std::to_string(timeoutMs / 1000) + " seconds" +
                 (output.empty() ? "" : ": " + output);
        return false;
    }
    if (!status.exited || status.code != 0) {
        if (output.empty()) {
            output = program + " failed";
        }
        return false;
    }
    return true;
}

// Runs the service's control command with `verb`.
bool Control(const CServiceConfig& config, const char* verb, int timeoutMs, std::string& output) {
    if (!config.systemdUnit.empty()) {
        return RunProgram("systemctl", {verb, config.systemdUnit}, timeoutMs, output);
    }
    std::vector<std::string> words;
    if (!process::SplitCommandLine(config.imagePath, words) || words.empty()) {
        output = "the service's ImagePath \"" + config.imagePath + "\" is not a command line";
        return false;
    }
    const std::string program = words.front();
    words.erase(words.begin());
    words.insert(words.begin(), verb);
    return RunProgram(program, words, timeoutMs, output);
}

} // namespace

std::string ServiceKey(const std::string& name) {
    return "System\\CurrentControlSet\\Services\\" + name;
}

bool RegisterService(const std::string& name, const CServiceConfig& config, std::string& error) {
    CRegKey key;
    LONG result = key.Create(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str(), KEY_WRITE);
    const std::pair<const char*, const std::string*> values[] = {
        {IMAGE_PATH, &config.imagePath},
        {PID_FILE, &config.pidFile},
        {PROCESS_NAME, &config.processName},
        {SYSTEMD_UNIT, &config.systemdUnit}};
    for (const auto& [valueName, value] : values) {
        if (result == ERROR_SUCCESS) {
            result = RegSetValueEx(key, valueName, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(value->c_str()),
                                   static_cast<DWORD>(value->size() + 1));
        }
    }
    if (result != ERROR_SUCCESS) {
        error = "cannot write HKLM\\" + ServiceKey(name) + ": " + RegGetErrorText(result);
        return false;
    }
    return true;
}

bool ReadServiceConfig(const std::string& name, CServiceConfig& config) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, ServiceKey(name).c_str(), KEY_READ) != ERROR_SUCCESS) {
        return false;
    }
    config.imagePath = QueryText(key, IMAGE_PATH);
    config.pidFile = QueryText(key, PID_FILE);
    config.processName = QueryText(key, PROCESS_NAME);
    config.systemdUnit = QueryText(key, SYSTEMD_UNIT);
    return !config.systemdUnit.empty() || !config.pidFile.empty();
}

long ServicePid(const std::string& name) {
    CServiceConfig config;
    if (!ReadServiceConfig(name, config) || config.pidFile.empty()) {
        return 0;
    }
    return process::RunningFromPidFile(config.pidFile, config.processName);
}

bool IsServiceRunning(const std::string& name, bool* known) {
    CServiceConfig config;
    const bool configured = ReadServiceConfig(name, config);
    if (known != nullptr) {
        *known = configured;
    }
    if (!configured) {
        return false;
    }
    if (!config.systemdUnit.empty()) {
        std::string output;
        const bool active =
            RunProgram("systemctl", {"is-active", "--quiet", config.systemdUnit}, 10000, output);
        return active;
    }
    return ServicePid(name) != 0;
}

bool StartService(const std::string& name, std::string& error, int timeoutMs) {
    CServiceConfig config;
    if (!ReadServiceConfig(name, config)) {
        error = "the service " + name + " is not configured (no HKLM\\" + ServiceKey(name) + ")";
        return false;
    }
    return Control(config, "start", timeoutMs, error);
}

bool StopService(const std::string& name, std::string& error) {
    CServiceConfig config;
    if (!ReadServiceConfig(name, config)) {
        error = "the service " + name + " is not configured";
        return false;
    }
    if (!config.systemdUnit.empty()) {
        return RunProgram("systemctl", {"stop", "--no-block", config.systemdUnit}, 30000, error);
    }
    const long pid = ServicePid(name);
    if (pid == 0) {
        error = "the service " + name + " does not run";
        return false;
    }
    if (::kill(static_cast<pid_t>(pid), SIGTERM) != 0) {
        error =
            "cannot stop " + name + " (pid " + std::to_string(pid) + "): " + std::strerror(errno);
        return false;
    }
    return true;
}

bool ReloadService(const std::string& name, std::string& error, int timeoutMs) {
    CServiceConfig config;
    if (!ReadServiceConfig(name, config)) {
        error = "the service " + name + " is not configured";
        return false;
    }
    return Control(config, "reload", timeoutMs, error);
}

bool RestartService(const std::string& name, std::string& error) {
    if (!IsServiceRunning(name) || !StopService(name, error)) {
        return false;
    }
    for (;;) {
        bool known = false;
        if (!IsServiceRunning(name, &known) || !known) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return StartService(name, error);
}

} // namespace services
