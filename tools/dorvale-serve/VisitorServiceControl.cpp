// Running dorvale-web beside nginx: started in the background from nginx's directory, with its
// socket, pid file and log there, and stopped with SIGTERM so it writes its download counts.
#include "ServeSite.h"

#include "Process.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string PidFile(const std::string& runDir) {
    return runDir + "/dorvale-web.pid";
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
    return process::FindProgram("dorvale-web");
}

long RunningVisitorService(const std::string& runDir) {
    return process::RunningFromPidFile(PidFile(runDir), "dorvale-web");
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
    const std::vector<std::string> argv = {program,
                                           "--socket",
                                           socket,
                                           "--threads",
                                           std::to_string(threads),
                                           "--pid-file",
                                           PidFile(runDir),
                                           "--database-log",
                                           runDir + "/dorvale-web-database.log"};
    const pid_t child = SpawnWithOutput(argv, log, true, true);
    if (child < 0) {
        error = std::string("cannot start dorvale-web: ") + std::strerror(errno);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            error = "dorvale-web did not start:\n" + base::ReadTrimmedFile(log, WHOLE_FILE);
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
    // It finishes the requests under way and writes its download counts first.
    return StopProgram(pid, "dorvale-web", 30, error);
}
