#include "Process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace process {

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

CExitStatus FromWaitStatus(int raw, const rusage& usage) {
    CExitStatus status;
    status.peakKiB = usage.ru_maxrss;
    if (WIFEXITED(raw)) {
        status.exited = true;
        status.code = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        status.signal = WTERMSIG(raw);
    }
    return status;
}

// The caller's environment with `changes` ("NAME=VALUE") replacing or adding entries.
std::vector<std::string> MergeEnvironment(const std::vector<std::string>& changes) {
    std::vector<std::string> merged;
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        std::string text = *entry;
        bool replaced = false;
        for (const std::string& change : changes) {
            if (nameOf(change) == nameOf(text)) {
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            merged.push_back(std::move(text));
        }
    }
    merged.insert(merged.end(), changes.begin(), changes.end());
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    pointers.reserve(texts.size() + 1);
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Reaps a child nobody waits for, so that it leaves no zombie behind.
void ReapLater(pid_t pid) {
    std::thread([pid] {
        int raw = 0;
        while (::waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace

CProcess::~CProcess() {
    Detach();
}

CProcess::CProcess(CProcess&& other) noexcept
    : m_pid(other.m_pid), m_pidfd(std::move(other.m_pidfd)) {
    other.m_pid = -1;
}

CProcess& CProcess::operator=(CProcess&& other) noexcept {
    if (this != &other) {
        Detach();
        m_pid = other.m_pid;
        m_pidfd = std::move(other.m_pidfd);
        other.m_pid = -1;
    }
    return *this;
}

bool CProcess::Start(const std::string& program, const std::vector<std::string>& arguments,
                     const CSpawnOptions& options, std::string& error) {
    Detach();
    std::string path = options.searchPath ? FindProgram(program) : program;
    if (path.empty()) {
        error = program + ": command not found";
        return false;
    }
    std::vector<std::string> argv;
    argv.push_back(program);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> env = MergeEnvironment(options.environment);
    std::vector<char*> argvPointers = Pointers(argv);
    std::vector<char*> envPointers = Pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    if (options.streams == EStreams::Discard) {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    } else if (options.streams == EStreams::ToFile) {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, options.outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    // The child gets the standard streams and nothing else this process holds open.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (options.newSession) {
        flags |= POSIX_SPAWN_SETSID;
    }
    posix_spawnattr_setflags(&attributes, flags);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argvPointers.data(),
                                 envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        error = path + ": " + std::strerror(rc);
        return false;
    }
    m_pid = pid;
    m_pidfd.Reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    return true;
}

EWaitResult CProcess::Wait(int timeoutMs, CExitStatus& status) {
    if (m_pid <= 0) {
        return EWaitResult::Failed;
    }
    if (timeoutMs >= 0) {
        if (m_pidfd.IsOpen()) {
            pollfd ready{m_pidfd.Get(), POLLIN, 0};
            int rc = 0;
            while ((rc = ::poll(&ready, 1, timeoutMs)) < 0 && errno == EINTR) {
            }
            if (rc == 0) {
                return EWaitResult::TimedOut;
            }
        } else {
            // No process descriptor (an old kernel): look every few milliseconds.
            int raw = 0;
            rusage usage{};
            for (int waited = 0;; waited += 5) {
                const pid_t done = ::wait4(m_pid, &raw, WNOHANG, &usage);
                if (done == m_pid) {
                    status = FromWaitStatus(raw, usage);
                    m_pid = -1;
                    return EWaitResult::Exited;
                }
                if (done < 0 && errno != EINTR) {
                    m_pid = -1;
                    return EWaitResult::Failed;
                }
                if (waited >= timeoutMs) {
                    return EWaitResult::TimedOut;
                }
                ::usleep(5000);
            }
        }
    }
    int raw = 0;
    rusage usage{};
    pid_t done = -1;
    while ((done = ::wait4(m_pid, &raw, 0, &usage)) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    m_pidfd.Reset();
    if (done < 0) {
        return EWaitResult::Failed;
    }
    status = FromWaitStatus(raw, usage);
    return EWaitResult::Exited;
}

bool CProcess::Terminate(int graceMs, CExitStatus& status) {
    if (m_pid <= 0) {
        return false;
    }
    ::kill(m_pid, SIGTERM);
    if (Wait(graceMs, status) == EWaitResult::TimedOut) {
        ::kill(m_pid, SIGKILL);
        Wait(-1, status);
    }
    return true;
}

void CProcess::Detach() {
    m_pidfd.Reset();
    if (m_pid > 0) {
        ReapLater(m_pid);
        m_pid = -1;
    }
}

bool RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                const CSpawnOptions& options, CExitStatus& status, std::string& error) {
    CProcess child;
    if (!child.Start(program, arguments, options, error)) {
        return false;
    }
    if (child.Wait(-1, status) != EWaitResult::Exited) {
        error = program + ": could not wait for it to end";
        return false;
    }
    return true;
}

std::string FindProgram(std::string_view name, const char* path) {
    if (name.empty()) {
        return {};
    }
    if (name.find('/') != std::string_view::npos) {
        return IsExecutableFile(std::string(name)) ? std::string(name) : std::string();
    }
    if (path == nullptr) {
        path = std::getenv("PATH");
    }
    std::string_view directories = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = directories.find(':');
        std::string_view directory = directories.substr(0, colon);
        // An empty entry means the current directory.
        std::string candidate = directory.empty() ? std::string(".") : std::string(directory);
        candidate += '/';
        candidate += name;
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return {};
        }
        directories.remove_prefix(colon + 1);
    }
}

bool SplitCommandLine(std::string_view text, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else if (c == '\'') {
            const std::size_t close = text.find('\'', i + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            word.append(text.substr(i + 1, close - i - 1));
            i = close;
            inWord = true;
        } else if (c == '"') {
            bool closed = false;
            for (++i; i < text.size(); ++i) {
                if (text[i] == '"') {
                    closed = true;
                    break;
                }
                if (text[i] == '\\' && i + 1 < text.size() &&
                    (text[i + 1] == '"' || text[i + 1] == '\\')) {
                    ++i;
                }
                word += text[i];
            }
            if (!closed) {
                return false;
            }
            inWord = true;
        } else if (c == '\\') {
            if (i + 1 >= text.size()) {
                return false;
            }
            word += text[++i];
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return true;
}

std::string QuoteArgument(std::string_view word) {
    std::string quoted = "\"";
    for (const char c : word) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

bool IsAlive(long pid) {
    if (pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM)) {
        return false;
    }
    // ") S ppid ...": the state follows the name's closing parenthesis.
    const std::string stat = base::ReadTrimmedFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] != 'Z';
}

long RunningFromPidFile(const std::string& pidFile, const std::string& name) {
    const std::string text = base::ReadTrimmedFile(pidFile);
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    const long pid = std::stol(text);
    return IsAlive(pid) &&
                   (name.empty() || base::ReadTrimmedFile("/proc/" + text + "/comm") == name)
               ? pid
               : 0;
}

} // namespace process
