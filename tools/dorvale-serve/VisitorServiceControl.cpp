// Running dorvale-web beside nginx: started in the background from nginx's directory, with its
// socket, pid file and log there, and stopped with SIGTERM so it writes its download counts.
#include "ServeSite.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string PidFile(const std::string& runDir) {
    return runDir + "/dorvale-web.pid";
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    std::string result = text.str();
    while (!result.empty() && (result.back() == '\n' || result.back() == ' ')) {
        result.pop_back();
    }
    return result;
}

bool IsExecutable(const std::string& path) {
    return !path.empty() && access(path.c_str(), X_OK) == 0;
}

} // namespace

std::string VisitorServiceSocket(const std::string& runDir) {
    return runDir + "/dorvale-web.sock";
}

std::string FindVisitorService(const std::string& preferred) {
    if (!preferred.empty()) {
        return IsExecutable(preferred) ? preferred : std::string();
    }
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string beside =
            (fs::path(std::string(self, static_cast<std::size_t>(length))).parent_path() /
             "dorvale-web")
                .string();
        if (IsExecutable(beside)) {
            return beside;
        }
    }
    std::stringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && IsExecutable(dir + "/dorvale-web")) {
            return dir + "/dorvale-web";
        }
    }
    return {};
}

long RunningVisitorService(const std::string& runDir) {
    const std::string text = Slurp(PidFile(runDir));
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    const long pid = std::stol(text);
    // A recycled pid belongs to another program.
    return IsProcessAlive(pid) && Slurp("/proc/" + text + "/comm") == "dorvale-web" ? pid : 0;
}

bool StartVisitorService(const std::string& program, const std::string& runDir, int threads,
                         std::string& error) {
    if (!StopVisitorService(runDir, error)) {
        return false;
    }
    std::error_code ec;
    fs::create_directories(runDir, ec);
    const std::string socket = VisitorServiceSocket(runDir);
    if (socket.size() >= 100) {
        error = "the directory " + runDir + " is too long a path for the service's socket";
        return false;
    }
    const std::string log = runDir + "/dorvale-web.log";
    const std::vector<std::string> argv = {program,      "--socket",     socket,
                                           "--threads",  std::to_string(threads),
                                           "--pid-file", PidFile(runDir), "--database-log",
                                           runDir + "/dorvale-web-database.log"};
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        error = std::string("cannot start dorvale-web: ") + std::strerror(errno);
        return false;
    }
    if (child == 0) {
        // Its own session, so it outlives this program and a terminal's hang-up.
        setsid();
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (out < 0 || in < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(out, 2) < 0) {
            _exit(127);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            error = "dorvale-web did not start:\n" + Slurp(log);
            return false;
        }
        struct stat st {};
        if (RunningVisitorService(runDir) == child && stat(socket.c_str(), &st) == 0 &&
            S_ISSOCK(st.st_mode)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(child, SIGTERM);
    error = "dorvale-web started but does not listen on " + socket + " (see " + log + ")";
    return false;
}

bool StopVisitorService(const std::string& runDir, std::string& error) {
    const long pid = RunningVisitorService(runDir);
    if (pid == 0) {
        return true;
    }
    if (kill(static_cast<pid_t>(pid), SIGTERM) != 0) {
        error = "cannot stop dorvale-web (pid " + std::to_string(pid) + "): " + std::strerror(errno);
        return false;
    }
    // It finishes the requests under way and writes its download counts first.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!IsProcessAlive(pid)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error = "dorvale-web (pid " + std::to_string(pid) + ") did not stop within 30 seconds";
    return false;
}
