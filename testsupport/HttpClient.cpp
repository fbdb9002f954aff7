#include "HttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

namespace {

// The body of a chunked answer; false until the last chunk has arrived.
bool DecodeChunked(const std::string& raw, std::string& body) {
    body.clear();
    std::size_t at = 0;
    for (;;) {
        const std::size_t lineEnd = raw.find("\r\n", at);
        if (lineEnd == std::string::npos) {
            return false;
        }
        const std::size_t size = std::stoul(raw.substr(at, lineEnd - at), nullptr, 16);
        if (size == 0) {
            return raw.find("\r\n", lineEnd + 2) != std::string::npos;
        }
        if (raw.size() < lineEnd + 2 + size + 2) {
            return false;
        }
        body += raw.substr(lineEnd + 2, size);
        at = lineEnd + 2 + size + 2;
    }
}

} // namespace

CHttpClient::~CHttpClient() {
    Close();
}

void CHttpClient::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
}

bool CHttpClient::Connect() {
    if (m_fd >= 0) {
        return true;
    }
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(m_port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        Close();
        return false;
    }
    return true;
}

bool CHttpClient::SendOnly(const std::string& head, const std::string& body) {
    if (!Connect()) {
        return false;
    }
    const std::string data = head + body;
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            Close();
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

CHttpResponse CHttpClient::Exchange(const std::string& request) {
    CHttpResponse response;
    // A kept connection the server has closed meanwhile is opened again once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!SendOnly(request, {})) {
            continue;
        }
        std::string raw;
        char buffer[65536];
        std::size_t headEnd = std::string::npos;
        std::size_t length = 0;
        bool chunked = false;
        for (;;) {
            if (headEnd != std::string::npos && !chunked && raw.size() >= headEnd + 4 + length) {
                break;
            }
            if (chunked && raw.size() >= headEnd + 4 &&
                DecodeChunked(raw.substr(headEnd + 4), response.body)) {
                length = raw.size() - headEnd - 4;
                break;
            }
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                break;
            }
            raw.append(buffer, static_cast<std::size_t>(n));
            if (headEnd == std::string::npos &&
                (headEnd = raw.find("\r\n\r\n")) != std::string::npos) {
                response.headers.clear();
                std::size_t line = raw.find("\r\n") + 2;
                while (line < headEnd) {
                    const std::size_t next = raw.find("\r\n", line);
                    const std::string header = raw.substr(line, next - line);
                    const std::size_t colon = header.find(':');
                    std::string name = header.substr(0, colon);
                    for (char& c : name) {
                        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
                    }
                    response.headers[name] =
                        colon + 2 <= header.size() ? header.substr(colon + 2) : "";
                    line = next + 2;
                }
                const auto found = response.headers.find("content-length");
                length = found == response.headers.end() ? 0 : std::stoul(found->second);
                const auto encoding = response.headers.find("transfer-encoding");
                chunked = encoding != response.headers.end() && encoding->second == "chunked";
                continue;
            }
        }
        if (headEnd == std::string::npos || raw.size() < headEnd + 4 + length || raw.size() < 12) {
            Close();
            if (raw.empty()) {
                continue;
            }
            return response;
        }
        response.status = std::stoi(raw.substr(9, 3));
        if (!chunked) {
            response.body = raw.substr(headEnd + 4, length);
        }
        const auto connection = response.headers.find("connection");
        if (connection != response.headers.end() && connection->second == "close") {
            Close();
        }
        return response;
    }
    return response;
}

CHttpResponse CHttpClient::Get(const std::string& target) {
    return Exchange("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

CHttpResponse CHttpClient::Post(const std::string& target, const std::string& contentType,
                                const std::string& body) {
    return Exchange("POST " + target +
                    " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + contentType +
                    "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

int FreeLoopbackPort() {
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

} // namespace testsupport
