#pragma once
// A mail server of the tests' own, for the replies a real server would not give: it answers
// each command from a table and records every byte it receives.

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace mailtest {

struct CScript {
    // Raw bytes sent on accepting ("" sends nothing).
    std::string greeting = "220 scripted.example ESMTP\r\n";
    // Reply to each command by its first word in capitals. A missing entry takes the
    // defaults below; CLOSE closes the connection instead of answering; "" never answers.
    std::map<std::string, std::string> replies;
    // Reply to the end of the message data.
    std::string dataEndReply = "250 2.0.0 queued\r\n";
};

inline const std::string CLOSE = "<close>";

class CScriptedSmtpServer {
public:
    explicit CScriptedSmtpServer(CScript script) : m_script(std::move(script)) {
        m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) ||
            listen(m_listener, 4) ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) ||
            pipe2(m_stop, O_CLOEXEC)) {
            throw std::runtime_error("scripted SMTP server cannot listen");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~CScriptedSmtpServer() {
        if (write(m_stop[1], "x", 1) < 0) {
            // the thread also ends when the listener closes
        }
        m_thread.join();
        close(m_listener);
        close(m_stop[0]);
        close(m_stop[1]);
    }
    CScriptedSmtpServer(const CScriptedSmtpServer&) = delete;
    CScriptedSmtpServer& operator=(const CScriptedSmtpServer&) = delete;

    unsigned short Port() const { return m_port; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }
    // Every byte received so far, over all connections.
    std::string Transcript() const {
        std::lock_guard lock(m_mutex);
        return m_transcript;
    }
    int Connections() const { return m_connections; }

private:
    static std::string DefaultReply(const std::string& verb) {
        static const std::map<std::string, std::string> DEFAULT_REPLIES = {
            {"HELO", "250 scripted.example\r\n"},
            {"MAIL", "250 2.1.0 Ok\r\n"},
            {"RCPT", "250 2.1.5 Ok\r\n"},
            {"DATA", "354 End data with <CR><LF>.<CR><LF>\r\n"},
            {"RSET", "250 2.0.0 Ok\r\n"},
            {"QUIT", "221 2.0.0 Bye\r\n"}};
        const auto found = DEFAULT_REPLIES.find(verb);
        return found == DEFAULT_REPLIES.end() ? "502 5.5.2 Error: command not recognized\r\n"
                                              : found->second;
    }

    // One byte from the client; false when it closed or the server is stopping.
    bool Read(int fd, char& byte) {
        for (;;) {
            pollfd waiters[2] = {{fd, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (poll(waiters, 2, -1) < 0) {
                continue;
            }
            if (waiters[1].revents) {
                return false;
            }
            const ssize_t n = recv(fd, &byte, 1, 0);
            if (n != 1) {
                return false;
            }
            std::lock_guard lock(m_mutex);
            m_transcript += byte;
            return true;
        }
    }

    static void Write(int fd, const std::string& bytes) {
        if (!bytes.empty()) {
            send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        }
    }

    void Serve(int fd) {
        Write(fd, m_script.greeting);
        std::string line;
        bool inData = false;
        std::string recent;
        char byte;
        while (Read(fd, byte)) {
            if (inData) {
                recent += byte;
                if (recent.size() > 5) {
                    recent.erase(0, recent.size() - 5);
                }
                if (recent == "\r\n.\r\n") {
                    inData = false;
                    recent.clear();
                    Write(fd, m_script.dataEndReply);
                }
                continue;
            }
            line += byte;
            if (byte != '\n') {
                continue;
            }
            std::string verb = line.substr(0, line.find_first_of(" :\r\n"));
            for (char& c : verb) {
                c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
            }
            line.clear();
            const auto scripted = m_script.replies.find(verb);
            const std::string reply =
                scripted == m_script.replies.end() ? DefaultReply(verb) : scripted->second;
            if (reply == CLOSE) {
                return;
            }
            Write(fd, reply);
            if (verb == "DATA" && reply.rfind("354", 0) == 0) {
                // The CR LF that ends the DATA line starts the end marker's search.
                inData = true;
                recent = "\r\n";
            }
            if (verb == "QUIT") {
                return;
            }
        }
    }

    void Run() {
        for (;;) {
            pollfd waiters[2] = {{m_listener, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (poll(waiters, 2, -1) < 0) {
                continue;
            }
            if (waiters[1].revents) {
                return;
            }
            const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            ++m_connections;
            Serve(fd);
            close(fd);
        }
    }

    CScript m_script;
    int m_listener = -1;
    int m_stop[2] = {-1, -1};
    unsigned short m_port = 0;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::string m_transcript;
    std::atomic<int> m_connections{0};
};

} // namespace mailtest
