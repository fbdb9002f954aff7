// The SMTP client of the mail component.

#include "SmtpClient.h"

#include "Fd.h"
#include "Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace qtrweb {

namespace {

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Connects a non-blocking socket within the time-out, then makes it blocking again.
int ConnectWithin(const addrinfo& address, std::chrono::milliseconds timeout) {
    const int fd = socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                          address.ai_protocol);
    if (fd < 0) {
        return -1;
    }
    if (connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            close(fd);
            return -1;
        }
        pollfd waiter{fd, POLLOUT, 0};
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int ready;
        do {
            ready = poll(&waiter, 1, RemainingMs(deadline));
        } while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready <= 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
            error != 0) {
            close(fd);
            return -1;
        }
    }
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    // A server that stops reading must not hold a sender for ever.
    timeval sendTimeout{static_cast<time_t>(timeout.count() / 1000),
                        static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    return fd;
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A subject as encoded words of at most 39 bytes of text each (a line of at most 73
// characters with the field's name), cut between characters, one to a folded line.
std::string EncodeSubject(std::string_view subject) {
    constexpr std::size_t WORD_BYTES = 39;
    std::string encoded;
    while (!subject.empty()) {
        std::size_t take = base::Utf8CutLength(subject, WORD_BYTES);
        if (take == 0) {
            take = std::min(subject.size(), WORD_BYTES);
        }
        encoded += encoded.empty() ? "" : "\r\n ";
        encoded += "=?UTF-8?B?" + base::EncodeBase64(subject.substr(0, take)) + "?=";
        subject.remove_prefix(take);
    }
    return encoded;
}

// The longest line of a body, counted as it is sent (carriage returns dropped).
std::size_t LongestLine(std::string_view body) {
    std::size_t longest = 0;
    std::size_t length = 0;
    for (const char c : body) {
        if (c == '\n') {
            length = 0;
        } else if (c != '\r') {
            longest = std::max(longest, ++length);
        }
    }
    return longest;
}

// Quoted-printable (RFC 2045): lines of at most 76 characters with soft breaks, '=' and
// bytes beyond ASCII escaped, a space or tab that ends a line escaped; line feeds kept.
std::string EncodeQuotedPrintable(std::string_view body) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string encoded;
    std::string line;
    for (std::size_t at = 0; at < body.size(); ++at) {
        const char c = body[at];
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            encoded += line + "\n";
            line.clear();
            continue;
        }
        std::size_t next = at + 1;
        while (next < body.size() && body[next] == '\r') {
            ++next;
        }
        const bool endsLine = next == body.size() || body[next] == '\n';
        const auto byte = static_cast<unsigned char>(c);
        std::string token;
        if ((byte >= 33 && byte <= 126 && c != '=') || ((c == ' ' || c == '\t') && !endsLine)) {
            token = c;
        } else {
            token = {'=', HEX[byte >> 4], HEX[byte & 15]};
        }
        if (line.size() + token.size() > 75) {
            encoded += line + "=\n";
            line.clear();
        }
        line += token;
    }
    return encoded + line;
}

std::string Bracketed(const std::string& command, const std::string& address) {
    // An address that brings its own angle brackets (a display name with an address) is
    // sent as written.
    if (address.find('<') != std::string::npos) {
        return command + address + "\r\n";
    }
    return command + "<" + address + ">\r\n";
}

} // namespace

std::string FormatMailDate(std::time_t when) {
    static const char* const DAYS[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    gmtime_r(&when, &utc);
    char date[32];
    std::snprintf(date, sizeof date, "%s, %02d %s %04d", DAYS[utc.tm_wday % 7], utc.tm_mday,
                  MONTHS[utc.tm_mon % 12], utc.tm_year + 1900);
    char time[16];
    std::snprintf(time, sizeof time, "%02d:%02d:%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
    return std::string(date) + " " + time + " GMT";
}

std::string BuildMessageText(const std::string& from, const std::string& to,
                             const std::string& subject, const std::string& date,
                             const std::string& body) {
    const std::string field = "Subject: ";
    const bool plainSubject = IsAscii(subject) && field.size() + subject.size() <= MAX_TEXT_LINE;
    std::string text = "From: " + from + "\r\nTo: " + to + "\r\n" + field +
                       (plainSubject ? subject : EncodeSubject(subject)) + "\r\nDate: " + date +
                       "\r\n";
    const bool wrap = LongestLine(body) > MAX_TEXT_LINE;
    if (!wrap && IsAscii(body)) {
        return text + "\r\n" + body;
    }
    text += "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: ";
    text += wrap ? "quoted-printable\r\n\r\n" + EncodeQuotedPrintable(body) : "8bit\r\n\r\n" + body;
    return text;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

bool IsSafeAddress(const std::string& address) {
    if (address.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
        return false;
    }
    const std::size_t open = address.find('<');
    const std::size_t close = address.find('>');
    if (open == std::string::npos && close == std::string::npos) {
        return true;
    }
    const std::size_t end = address.find_last_not_of(" \t");
    return open != std::string::npos && close == end && open < close &&
           address.find('<', open + 1) == std::string::npos;
}

bool EncodeMessage(const std::string& text, const std::function<bool(const std::string&)>& send,
                   const std::function<void()>& pause) {
    std::string pending;
    pending.reserve(CHUNK_LIMIT + 3);
    char previous = '\0';
    for (const char c : text) {
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            pending += "\r\n";
        } else if (c == '.' && previous == '\n') {
            pending += "..";
        } else {
            pending += c;
        }
        previous = c;
        if (pending.size() > CHUNK_LIMIT) {
            if (!send(pending)) {
                return false;
            }
            pending.clear();
            pause();
        }
    }
    return pending.empty() || send(pending);
}

bool ParseServerAddress(const std::string& text, std::string& host, unsigned short& port) {
    std::string portText;
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) {
            return false;
        }
        host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                return false;
            }
            portText = text.substr(close + 2);
            if (portText.empty()) {
                return false;
            }
        }
    } else {
        const std::size_t colon = text.find(':');
        if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
            host = text.substr(0, colon);
            portText = text.substr(colon + 1);
            if (portText.empty()) {
                return false;
            }
        } else {
            host = text; // no port, or an IPv6 address without brackets
        }
    }
    if (host.empty()) {
        return false;
    }
    port = 25;
    if (!portText.empty()) {
        if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        const unsigned long value = std::stoul(portText);
        if (value == 0 || value > 65535) {
            return false;
        }
        port = static_cast<unsigned short>(value);
    }
    return true;
}

// ---- Connection ----

CSmtpConnection::CSmtpConnection(std::chrono::milliseconds byteTimeout,
                                 std::chrono::milliseconds replyTimeout)
    : m_byteTimeout(byteTimeout), m_replyTimeout(replyTimeout) {}

CSmtpConnection::~CSmtpConnection() {
    Close();
}

bool CSmtpConnection::Connect(const std::string& host, unsigned short port) {
    Close();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    addrinfo* addresses = nullptr;
    // A dotted (or colon) address is taken as it is; anything else is a name to resolve.
    hints.ai_flags |= AI_NUMERICHOST;
    if (getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses) != 0) {
        hints.ai_flags &= ~AI_NUMERICHOST;
        addresses = nullptr;
        if (getaddrinfo(host.c_str(), service.c_str(), &hints, &addresses) != 0) {
            return false;
        }
    }
    for (const addrinfo* address = addresses; address && m_fd < 0; address = address->ai_next) {
        m_fd = ConnectWithin(*address, m_byteTimeout);
    }
    freeaddrinfo(addresses);
    return m_fd >= 0;
}

bool CSmtpConnection::Send(const std::string& bytes) {
    if (m_fd < 0) {
        return false;
    }
    return base::SendAll(m_fd, bytes);
}

int CSmtpConnection::ReadByte(char& byte, std::chrono::steady_clock::time_point replyDeadline) {
    if (m_readAt < m_received.size()) {
        byte = m_received[m_readAt++];
        return 1;
    }
    const auto deadline = std::min(std::chrono::steady_clock::now() + m_byteTimeout, replyDeadline);
    for (;;) {
        pollfd waiter{m_fd, POLLIN, 0};
        const int ready = poll(&waiter, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return -1;
        }
        char buffer[512];
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0 ? 0 : -1;
        }
        m_received.assign(buffer, static_cast<std::size_t>(n));
        m_readAt = 1;
        byte = buffer[0];
        return 1;
    }
}

int CSmtpConnection::ReadReply(std::string* lastLine) {
    if (lastLine) {
        lastLine->clear();
    }
    if (m_fd < 0) {
        return NO_REPLY;
    }
    const auto deadline = std::chrono::steady_clock::now() + m_replyTimeout;
    for (int lines = 1; lines <= MAX_REPLY_LINES; ++lines) {
        std::string line;
        for (;;) {
            char byte;
            if (ReadByte(byte, deadline) != 1) {
                return NO_REPLY;
            }
            if (byte == '\n') {
                break;
            }
            if (line.size() < MAX_LINE) {
                line += byte;
            }
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty()) {
            return NO_REPLY;
        }
        if (lastLine) {
            *lastLine = line;
        }
        // The last line of a reply has a space after its code, or nothing at all.
        if (line.size() == 3 || (line.size() > 3 && line[3] == ' ')) {
            int code = 0;
            for (int i = 0; i < 3; ++i) {
                if (line[i] < '0' || line[i] > '9') {
                    return code;
                }
                code = code * 10 + (line[i] - '0');
            }
            return code;
        }
    }
    return NO_REPLY;
}

void CSmtpConnection::Close() {
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    m_received.clear();
    m_readAt = 0;
}

// ---- One transaction ----

ESendOutcome SendMailMessage(const std::string& server, const std::string& computerName,
                             const CMailMessage& message, const std::string& date,
                             const CSendOptions& options) {
    std::string host;
    unsigned short port = 25;
    if (!ParseServerAddress(server, host, port)) {
        return ESendOutcome::NotConnected;
    }
    CSmtpConnection connection(options.byteTimeout, options.replyTimeout);
    if (!connection.Connect(host, port)) {
        return ESendOutcome::NotConnected;
    }
    if (connection.ReadReply() != 220) {
        return ESendOutcome::NotConnected;
    }
    if (!connection.Send("HELO " + computerName + "\r\n") || connection.ReadReply() != 250) {
        connection.Send("QUIT\r\n");
        connection.ReadReply();
        return ESendOutcome::NotConnected;
    }

    const auto transaction = [&] {
        if (!connection.Send(Bracketed("MAIL FROM:", message.from)) ||
            connection.ReadReply() != 250) {
            return false;
        }
        if (!connection.Send(Bracketed("RCPT TO:", message.to))) {
            return false;
        }
        const int recipient = connection.ReadReply();
        if (recipient != 250 && recipient != 251) {
            return false;
        }
        if (!connection.Send("DATA\r\n") || connection.ReadReply() != 354) {
            return false;
        }
        const std::string text =
            BuildMessageText(message.from, message.to, message.subject, date, message.body);
        const bool sent = EncodeMessage(
            text, [&](const std::string& chunk) { return connection.Send(chunk); },
            [&] { std::this_thread::sleep_for(options.chunkPause); });
        return sent && connection.Send("\r\n.\r\n") && connection.ReadReply() == 250;
    };
    const bool accepted = transaction();
    if (!accepted) {
        connection.Send("RSET\r\n");
        connection.ReadReply();
    }
    connection.Send("QUIT\r\n");
    connection.ReadReply();
    connection.Close();
    return accepted ? ESendOutcome::Accepted : ESendOutcome::Refused;
}

} // namespace qtrweb
