#include "ServeSite.h"

#include "Fd.h"
#include "Process.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Runs a program with its output going to `outputFile` (a daemon that keeps a pipe open
// would make reading a pipe wait forever); the exit status, or -1 when it could not start.
int RunTo(const std::vector<std::string>& argv, const fs::path& outputFile) {
    const pid_t pid = SpawnWithOutput(argv, outputFile.string(), false, false);
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> NginxArgs(const std::string& nginx, const std::string& runDir) {
    return {nginx, "-p", runDir + "/", "-c", runDir + "/nginx.conf", "-e", runDir + "/error.log"};
}

} // namespace

pid_t SpawnWithOutput(const std::vector<std::string>& argv, const std::string& outputFile,
                      bool append, bool newSession) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    if (newSession) {
        setsid();
    }
    const int out = open(outputFile.c_str(),
                         O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out < 0 || in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
        _exit(127);
    }
    execv(args[0], args.data());
    _exit(127);
}

bool AcceptsConnections(const std::string& address, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, address.c_str(), &to.sin_addr);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    close(fd);
    return connected;
}

bool StopProgram(long pid, const std::string& name, int seconds, std::string& error) {
    if (kill(static_cast<pid_t>(pid), SIGTERM) != 0) {
        error =
            "cannot stop " + name + " (pid " + std::to_string(pid) + "): " + std::strerror(errno);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process::IsAlive(pid)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error = name + " (pid " + std::to_string(pid) + ") did not stop within " +
            std::to_string(seconds) + " seconds";
    return false;
}

std::string FindNginx(const std::string& preferred) {
    if (!preferred.empty()) {
        return preferred;
    }
    std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/usr/local/sbin";
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((dir + "/nginx").c_str(), X_OK) == 0) {
            return dir + "/nginx";
        }
    }
    return {};
}

long RunningNginx(const std::string& runDir) {
    return process::RunningFromPidFile((fs::path(runDir) / "nginx.pid").string(), "nginx");
}

bool WriteNginxConfig(const CNginxSite& site, std::string& error) {
    std::error_code ec;
    fs::create_directories(fs::path(site.runDir) / "temp", ec);
    if (ec) {
        error = "cannot create the directory " + site.runDir + "/temp: " + ec.message();
        return false;
    }
    const std::string path = site.runDir + "/nginx.conf";
    base::CFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd.IsOpen() || !base::WriteAll(fd.Get(), BuildNginxConfig(site)) || !fd.Close()) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

std::string ServedAddress(const std::string& runDir) {
    std::ifstream conf(runDir + "/nginx.conf");
    std::string line;
    const std::string key = "listen ";
    while (std::getline(conf, line)) {
        const std::size_t at = line.find(key);
        if (at != std::string::npos) {
            std::string address = line.substr(at + key.size());
            if (!address.empty() && address.back() == ';') {
                address.pop_back();
            }
            return address;
        }
    }
    return {};
}

bool StartNginx(const std::string& nginx, const CNginxSite& site, std::string& error) {
    if (RunningNginx(site.runDir) && !StopNginx(site.runDir, error)) {
        return false;
    }
    if (!WriteNginxConfig(site, error)) {
        return false;
    }
    const fs::path output = fs::path(site.runDir) / "nginx-start.log";
    std::vector<std::string> test = NginxArgs(nginx, site.runDir);
    test.push_back("-t");
    test.push_back("-q");
    int status = RunTo(test, output);
    if (status != 0) {
        error = status == 127 || status < 0
                    ? "cannot run " + nginx + " (install the Debian package nginx)"
                    : "nginx rejects " + site.runDir + "/nginx.conf:\n" +
                          base::ReadTrimmedFile(output, WHOLE_FILE);
        return false;
    }
    status = RunTo(NginxArgs(nginx, site.runDir), output);
    if (status != 0) {
        error = "nginx did not start:\n" + base::ReadTrimmedFile(output, WHOLE_FILE);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (RunningNginx(site.runDir) && AcceptsConnections(site.address, site.port)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    error = "nginx started but does not answer on " + site.address + ":" +
            std::to_string(site.port) + " (see " + site.runDir + "/error.log)";
    return false;
}

bool StopNginx(const std::string& runDir, std::string& error) {
    const long pid = RunningNginx(runDir);
    std::error_code ec;
    if (pid == 0) {
        fs::remove(fs::path(runDir) / "nginx.pid", ec);
        return true;
    }
    // Fast shutdown: the master ends its workers and removes the pid file.
    if (!StopProgram(pid, "nginx", 10, error)) {
        return false;
    }
    fs::remove(fs::path(runDir) / "nginx.pid", ec);
    return true;
}
