#include "IndexDaemon.h"

#include "Fd.h"
#include "IndexServer.h"
#include "Process.h"
#include "Services.h"
#include "Settings.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStop(int) {
    g_stop = 1;
}

std::string ReadTrimmed(const fs::path& file) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

bool Answers(const std::string& address, int port) {
    base::CFd fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    return fd.IsOpen() && inet_pton(AF_INET, address.c_str(), &to.sin_addr) == 1 &&
           connect(fd.Get(), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

} // namespace

long RunningIndexService(const std::string& indexDir) {
    const std::string text = ReadTrimmed(fs::path(indexDir) / INDEX_PID_FILE);
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    // A pid given since to another program does not count.
    return ReadTrimmed("/proc/" + text + "/comm") == INDEX_PROCESS_NAME ? std::stol(text) : 0;
}

bool RunIndexService(const CIndexServiceOptions& options, std::string& error) {
    std::error_code ec;
    fs::create_directories(options.indexDir, ec);
    CIndexService service(options);
    if (!service.Listen(error)) {
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const fs::path pidFile = fs::path(options.indexDir) / INDEX_PID_FILE;
    {
        std::ofstream pid(pidFile, std::ios::trunc);
        pid << getpid() << "\n";
    }
    std::fprintf(stderr, "dorvale-index %d answers at http://%s:%d/dorvaleindex/, index in %s\n",
                 static_cast<int>(getpid()), options.address.c_str(), service.Port(),
                 options.indexDir.c_str());
    service.Serve(g_stop);
    fs::remove(pidFile, ec);
    return true;
}

bool StartIndexService(const std::string& program, const CIndexServiceOptions& options,
                       std::string& error) {
    if (RunningIndexService(options.indexDir) != 0 && !StopIndexService(options.indexDir, error)) {
        return false;
    }
    std::error_code ec;
    fs::create_directories(options.indexDir, ec);
    const std::vector<std::string> words = {"--dir",     options.indexDir,
                                            "--address", options.address,
                                            "--port",    std::to_string(options.port),
                                            "--rescan",  std::to_string(options.rescanSeconds)};
    std::vector<std::string> arguments = {"run"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    process::CSpawnOptions spawn;
    spawn.streams = process::EStreams::ToFile;
    spawn.outputFile = (fs::path(options.indexDir) / INDEX_LOG_FILE).string();
    spawn.newSession = true;
    process::CProcess child;
    if (!child.Start(program, arguments, spawn, error)) {
        return false;
    }
    const bool answering = WaitFor(
        [&] {
            process::CExitStatus status;
            return child.Wait(0, status) == process::EWaitResult::Exited ||
                   (RunningIndexService(options.indexDir) != 0 &&
                    Answers(options.address, options.port));
        },
        10);
    process::CExitStatus status;
    if (!answering || child.Wait(0, status) == process::EWaitResult::Exited) {
        error = "the index service did not start (see " + spawn.outputFile + ")";
        return false;
    }
    child.Detach();
    services::CServiceConfig service;
    std::string line = process::QuoteArgument(program);
    for (const std::string& word : words) {
        line += " " + process::QuoteArgument(word);
    }
    service.imagePath = line;
    service.pidFile = (fs::path(options.indexDir) / INDEX_PID_FILE).string();
    service.processName = INDEX_PROCESS_NAME;
    const std::string listen = options.address + ":" + std::to_string(options.port);
    if (!services::RegisterService(INDEX_SERVICE_NAME, service, error) ||
        !WriteRegistryText(HKEY_LOCAL_MACHINE, services::ServiceKey(INDEX_SERVICE_NAME).c_str(),
                           "Listen", listen.c_str())) {
        error = "the index service runs, but is not recorded: " + error;
        return false;
    }
    return true;
}

bool StopIndexService(const std::string& indexDir, std::string& error) {
    const long pid = RunningIndexService(indexDir);
    if (pid == 0) {
        return true;
    }
    if (kill(static_cast<pid_t>(pid), SIGTERM) != 0) {
        error = "cannot stop the index service (pid " + std::to_string(pid) +
                "): " + std::strerror(errno);
        return false;
    }
    if (!WaitFor([&] { return RunningIndexService(indexDir) == 0; }, 30)) {
        error = "the index service (pid " + std::to_string(pid) + ") does not stop";
        return false;
    }
    return true;
}
