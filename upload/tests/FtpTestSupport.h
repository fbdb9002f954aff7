#pragma once
// The FTP server of the test peers (scripts/services.d/ftp.sh): its address, accounts and
// login directory, and a fresh directory below it for each test.

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ftptest {

struct CFtpPeer {
    std::string address;  // "127.0.0.1:port"
    std::string root;     // the login directory on this machine
    std::string user;     // an account with a password
    std::string password;

    // False (the test should skip) when the peers' environment is not there.
    bool Load() {
        const char* address = std::getenv("DORVALE_FTP_ADDRESS");
        const char* root = std::getenv("DORVALE_FTP_ROOT");
        const char* user = std::getenv("DORVALE_FTP_USER");
        const char* password = std::getenv("DORVALE_FTP_PASSWORD");
        if (!address || !root || !user || !password) {
            return false;
        }
        this->address = address;
        this->root = root;
        this->user = user;
        this->password = password;
        return true;
    }

    // A new directory below the login directory that the server may write into; its path
    // relative to the login directory is `relative`. Removed with its content by the caller.
    std::filesystem::path MakeDirectory(const std::string& tag, std::string& relative) const {
        static std::atomic<int> counter{0};
        relative = tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        const std::filesystem::path dir = std::filesystem::path(root) / relative;
        std::filesystem::create_directories(dir);
        // The server may run as another user (as root the peers run unprivileged).
        struct stat owner{};
        if (::stat(root.c_str(), &owner) == 0 && ::chown(dir.c_str(), owner.st_uid, owner.st_gid) != 0) {
            ::chmod(dir.c_str(), 0777);
        }
        return dir;
    }
};

// A directory below the login directory, removed when the test ends.
class CFtpDirectory {
public:
    CFtpDirectory(const CFtpPeer& peer, const std::string& tag) : m_path(peer.MakeDirectory(tag, m_relative)) {}
    ~CFtpDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    CFtpDirectory(const CFtpDirectory&) = delete;
    CFtpDirectory& operator=(const CFtpDirectory&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    const std::string& Relative() const { return m_relative; }

private:
    std::string m_relative;
    std::filesystem::path m_path;
};

// A loopback port where nothing listens (bound, then let go).
inline int UnusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (fd >= 0) {
        ::close(fd);
    }
    return port;
}

} // namespace ftptest

#define SKIP_WITHOUT_FTP_PEER(peer)                                                             \
    do {                                                                                        \
        if (!(peer).Load()) {                                                                   \
            GTEST_SKIP() << "no FTP test server: start the peers (scripts/services.sh) and "   \
                            "source their env";                                                 \
        }                                                                                       \
    } while (0)
