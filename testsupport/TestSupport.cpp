#include "TestSupport.h"

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

CTempDir::CTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/dorvale-test-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
    }
    m_path = pattern;
}

CTempDir::~CTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

CProgramResult RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          const std::string& input) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) || pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC)) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        envStrings.emplace_back(*e);
    }
    for (const auto& extra : env) {
        const auto name = extra.substr(0, extra.find('=') + 1);
        std::erase_if(envStrings, [&](const std::string& s) { return s.starts_with(name); });
        envStrings.push_back(extra);
    }
    std::vector<char*> cargv, cenv;
    for (const auto& a : argv) {
        cargv.push_back(const_cast<char*>(a.c_str()));
    }
    cargv.push_back(nullptr);
    for (const auto& e : envStrings) {
        cenv.push_back(const_cast<char*>(e.c_str()));
    }
    cenv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        execve(cargv[0], cargv.data(), cenv.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);

    CProgramResult result;
    size_t written = 0;
    int inFd = inPipe[1];
    if (input.empty()) {
        close(inFd);
        inFd = -1;
    }
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        pollfd fds[3] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
        if (poll(fds, inFd >= 0 ? 3 : 2, -1) < 0 && errno != EINTR) {
            break;
        }
        char buf[65536];
        for (int i = 0; i < 2; ++i) {
            if (fds[i].revents) {
                const ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n > 0) {
                    (i == 0 ? result.out : result.err).append(buf, static_cast<size_t>(n));
                } else {
                    (i == 0 ? outOpen : errOpen) = false;
                }
            }
        }
        if (inFd >= 0 && fds[2].revents) {
            const ssize_t n = write(inFd, input.data() + written, input.size() - written);
            if (n > 0) {
                written += static_cast<size_t>(n);
            }
            if (n <= 0 || written == input.size()) {
                close(inFd);
                inFd = -1;
            }
        }
    }
    if (inFd >= 0) {
        close(inFd);
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string BuiltProgram(const std::string& name) {
    return std::string(DORVALE_TESTSUPPORT_BIN) + "/" + name;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool UseGermanLocale(std::string& why) {
    constexpr const char* LOCALE_NAME = "de_DE.UTF-8";
    if (std::setlocale(LC_ALL, LOCALE_NAME)) {
        return true;
    }
    const char* home = std::getenv("HOME");
    const std::filesystem::path cache =
        std::filesystem::path(home && *home ? home : "/tmp") / ".cache" / "dorvale-locales";
    std::error_code error;
    if (!std::filesystem::exists(cache / LOCALE_NAME, error)) {
        // Compiled beside its final place and renamed, so that tests running at the same time
        // never see half a locale.
        std::filesystem::create_directories(cache, error);
        const std::filesystem::path partial =
            cache / (std::string(LOCALE_NAME) + ".partial-" + std::to_string(::getpid()));
        const CProgramResult built =
            RunProgram({"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8", partial.string()});
        if (built.exitCode == 0 || std::filesystem::exists(partial / "LC_CTYPE", error)) {
            std::filesystem::rename(partial, cache / LOCALE_NAME, error);
        }
        std::filesystem::remove_all(partial, error);
    }
    ::setenv("LOCPATH", cache.c_str(), 1);
    if (std::setlocale(LC_ALL, LOCALE_NAME)) {
        return true;
    }
    why = "the locale de_DE.UTF-8 is not installed and localedef could not make it (package "
          "locales)";
    return false;
}

} // namespace testsupport
