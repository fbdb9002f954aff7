#include "ServerControl.h"

#include "Fd.h"
#include "Process.h"
#include "ServeSite.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadText(const std::string& path) {
    base::CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (fd.IsOpen()) {
        (void)base::ReadAll(fd.Get(), text, 1 << 20);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

bool WriteText(const std::string& path, const std::string& text, mode_t mode, std::string& error) {
    base::CFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode));
    if (!fd.IsOpen() || ::fchmod(fd.Get(), mode) != 0 || !base::WriteAll(fd.Get(), text) ||
        !fd.Close()) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Runs a program and waits; false with what it said (or why it did not run).
bool Run(const std::string& program, const std::vector<std::string>& arguments,
         const std::string& outputFile, std::string& said) {
    process::CSpawnOptions options;
    options.streams = process::EStreams::ToFile;
    options.outputFile = outputFile;
    process::CProcess child;
    if (!child.Start(program, arguments, options, said)) {
        return false;
    }
    process::CExitStatus status;
    if (child.Wait(60000, status) != process::EWaitResult::Exited) {
        child.Terminate(1000, status);
        said = program + " did not end within a minute";
        return false;
    }
    said = ReadText(outputFile);
    return status.exited && status.code == 0;
}

// Keeps a refused configuration for the administrator to look at.
bool Refused(const std::string& candidate, const std::string& what, const std::string& said,
             std::string& error) {
    std::error_code ec;
    fs::rename(candidate, candidate + ".refused", ec);
    error = what + " refuses the new configuration (kept as " + candidate +
            ".refused); it goes on serving with the old one:\n" + said;
    return false;
}

std::set<long> ChildrenOf(long parent) {
    std::set<long> children;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        const std::string stat = ReadText("/proc/" + name + "/stat");
        const std::size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 4 >= stat.size()) {
            continue;
        }
        // ") S ppid ..."
        if (std::atol(stat.c_str() + stat.find(' ', close + 2) + 1) == parent) {
            children.insert(std::stol(name));
        }
    }
    return children;
}

} // namespace

bool ReloadNginx(const std::string& nginx, const CNginxSite& site, std::string& error) {
    const long master = RunningNginx(site.runDir);
    if (master == 0) {
        error = "nginx does not serve from " + site.runDir;
        return false;
    }
    const std::string conf = site.runDir + "/nginx.conf";
    const std::string candidate = conf + ".new";
    if (!WriteText(candidate, BuildNginxConfig(site), 0644, error)) {
        return false;
    }
    std::string said;
    if (!Run(nginx,
             {"-p", site.runDir + "/", "-c", candidate, "-e", site.runDir + "/error.log", "-t",
              "-q"},
             site.runDir + "/nginx-check.log", said)) {
        return Refused(candidate, "nginx", said, error);
    }
    const std::set<long> oldWorkers = ChildrenOf(master);
    std::error_code ec;
    fs::rename(candidate, conf, ec);
    if (ec || ::kill(static_cast<pid_t>(master), SIGHUP) != 0) {
        error = "cannot hand the new configuration to nginx " + std::to_string(master);
        return false;
    }
    // In use once the workers of the old configuration have gone.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        const std::set<long> now = ChildrenOf(master);
        const bool oldGone = std::none_of(oldWorkers.begin(), oldWorkers.end(),
                                          [&](long pid) { return now.count(pid) != 0; });
        if (oldGone && !now.empty()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error = "nginx took the new configuration but its old workers did not end within 10 seconds";
    return false;
}

std::string FindProftpd() {
    std::string found = process::FindProgram("proftpd");
    if (found.empty() && ::access("/usr/sbin/proftpd", X_OK) == 0) {
        found = "/usr/sbin/proftpd";
    }
    return found;
}

long RunningProftpd(const std::string& runDir) {
    return process::RunningFromPidFile(FtpDirectory(runDir) + "/proftpd.pid", "proftpd");
}

namespace {

// The users, groups and login directory, then the configuration under `name`.
bool WriteFtpFiles(const CFtpSite& site, const std::string& name, std::string& error) {
    const std::string dir = FtpDirectory(site.runDir);
    std::error_code ec;
    fs::create_directories(dir + "/root", ec);
    // The logins pass through these on their way into the jail.
    ::chmod(dir.c_str(), 0755);
    ::chmod((dir + "/root").c_str(), 0755);
    return WriteText(dir + "/users", BuildFtpUsers(site), 0600, error) &&
           WriteText(dir + "/groups", BuildFtpGroups(site), 0644, error) &&
           WriteText(dir + "/" + name, BuildProftpdConfig(site), 0644, error);
}

bool CheckFtpConfig(const std::string& proftpd, const CFtpSite& site, const std::string& file,
                    std::string& said) {
    return Run(proftpd, {"-t", "-c", file}, FtpDirectory(site.runDir) + "/check.log", said);
}

} // namespace

bool StartProftpd(const std::string& proftpd, const CFtpSite& site, std::string& error) {
    if (RunningProftpd(site.runDir) != 0 && !StopProftpd(site.runDir, error)) {
        return false;
    }
    if (!WriteFtpFiles(site, "proftpd.conf", error)) {
        return false;
    }
    const std::string conf = FtpDirectory(site.runDir) + "/proftpd.conf";
    std::string said;
    if (!CheckFtpConfig(proftpd, site, conf, said)) {
        error = "proftpd rejects " + conf + ":\n" + said;
        return false;
    }
    if (!Run(proftpd, {"-c", conf}, FtpDirectory(site.runDir) + "/start.log", said)) {
        error = "proftpd did not start:\n" + said;
        return false;
    }
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        bool all = RunningProftpd(site.runDir) != 0;
        for (const CFtpInstance& instance : site.instances) {
            all = all && AcceptsConnections(instance.address, instance.port);
        }
        if (all) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error =
        "proftpd started but does not answer (see " + FtpDirectory(site.runDir) + "/system.log)";
    return false;
}

bool StopProftpd(const std::string& runDir, std::string& error) {
    const long pid = RunningProftpd(runDir);
    return pid == 0 || StopProgram(pid, "proftpd", 10, error);
}

bool ReloadProftpd(const std::string& proftpd, const CFtpSite& site, std::string& error) {
    const long pid = RunningProftpd(site.runDir);
    if (pid == 0) {
        error = "proftpd does not serve from " + site.runDir;
        return false;
    }
    if (!WriteFtpFiles(site, "proftpd.conf.new", error)) {
        return false;
    }
    const std::string conf = FtpDirectory(site.runDir) + "/proftpd.conf";
    std::string said;
    if (!CheckFtpConfig(proftpd, site, conf + ".new", said)) {
        return Refused(conf + ".new", "proftpd", said, error);
    }
    const std::string log = FtpDirectory(site.runDir) + "/system.log";
    const std::size_t logged = ReadText(log).size();
    std::error_code ec;
    fs::rename(conf + ".new", conf, ec);
    if (ec || ::kill(static_cast<pid_t>(pid), SIGHUP) != 0) {
        error = "cannot hand the new configuration to proftpd " + std::to_string(pid);
        return false;
    }
    // The master says when it reads the file again; connections wait for it meanwhile.
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        if (ReadText(log).find("reparsing configuration", logged) != std::string::npos) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error = "proftpd did not take the new configuration within 10 seconds";
    return false;
}
