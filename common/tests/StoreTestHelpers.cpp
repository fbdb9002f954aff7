#include "StoreTestHelpers.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace storetest {

CChildHolder::CChildHolder(const std::function<bool()>& open) {
    int ready[2];
    int release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::fflush(nullptr);
    m_pid = ::fork();
    if (m_pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (m_pid == 0) {
        ::close(ready[0]);
        ::close(release[1]);
        const char answer = open() ? '1' : '0';
        if (::write(ready[1], &answer, 1) != 1) {
            ::_exit(3);
        }
        // One byte (or the parent's end closing) releases the child. Waiting for end of file
        // alone is not enough: a later child inherits this pipe's writing end.
        char c;
        ssize_t n;
        do {
            n = ::read(release[0], &c, 1);
        } while (n < 0 && errno == EINTR);
        ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    m_release = release[1];
    char answer = '0';
    const bool got = ::read(ready[0], &answer, 1) == 1;
    ::close(ready[0]);
    m_opened = got && answer == '1';
}

int CChildHolder::Release() {
    if (m_release >= 0) {
        // A child that already ended must not take the test program down with SIGPIPE.
        ::signal(SIGPIPE, SIG_IGN);
        const char c = 'x';
        [[maybe_unused]] const ssize_t n = ::write(m_release, &c, 1);
        ::close(m_release);
        m_release = -1;
    }
    int status = -1;
    if (m_pid > 0) {
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
    }
    return status;
}

CChildHolder::~CChildHolder() {
    Release();
}

bool SucceedsInChild(const std::function<bool()>& attempt) {
    std::fflush(nullptr);
    const int pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::_exit(attempt() ? 0 : 1);
    }
    int status = -1;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace storetest
