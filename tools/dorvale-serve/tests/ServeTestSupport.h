#pragma once
// What the tests of the servers share: an HTTP client that tells status, headers and body
// apart, free ports, files put in place, and the users a server's processes run as.

#include "TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace servetest {

namespace fs = std::filesystem;

struct CResponse {
    int status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

inline bool Connect(int port, int& fd) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(fd);
        return false;
    }
    return true;
}

// One HTTP/1.0 request; status 0 when nothing answers.
inline CResponse Get(int port, const std::string& target) {
    CResponse response;
    int fd = -1;
    if (!Connect(port, fd)) {
        return response;
    }
    const std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) {
        close(fd);
        return response;
    }
    std::string raw;
    char buffer[8192];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        raw.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    const std::size_t end = raw.find("\r\n\r\n");
    if (end == std::string::npos || raw.size() < 12) {
        return response;
    }
    response.status = std::stoi(raw.substr(9, 3));
    std::size_t line = raw.find("\r\n") + 2;
    while (line < end) {
        const std::size_t next = raw.find("\r\n", line);
        const std::string header = raw.substr(line, next - line);
        const std::size_t colon = header.find(':');
        std::string name = header.substr(0, colon);
        for (char& c : name) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        response.headers[name] = header.substr(colon + 2);
        line = next + 2;
    }
    response.body = raw.substr(end + 4);
    return response;
}

// Writes a file, making its directory first.
inline void Put(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    testsupport::WriteFile(path, bytes);
}

// The real user ids of the processes whose parent is `parent`.
inline std::vector<long> ChildUids(long parent) {
    std::vector<long> uids;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream status(entry.path() / "status");
        std::string line;
        long ppid = -1;
        long uid = -1;
        while (std::getline(status, line)) {
            if (line.rfind("PPid:", 0) == 0) {
                ppid = std::stol(line.substr(5));
            } else if (line.rfind("Uid:", 0) == 0) {
                uid = std::stol(line.substr(4));
            }
        }
        if (ppid == parent) {
            uids.push_back(uid);
        }
    }
    return uids;
}

// A port nothing listens on now.
inline int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    socklen_t size = sizeof at;
    getsockname(fd, reinterpret_cast<sockaddr*>(&at), &size);
    close(fd);
    return ntohs(at.sin_port);
}

} // namespace servetest
