#pragma once
// Sending one plain-text message over SMTP: the message text, its transfer encoding, the
// reply reader and the dialogue of one transaction on a fresh connection.

#include <chrono>
#include <ctime>
#include <functional>
#include <string>

namespace qtrweb {

// The date header's value: "Mon, 05 Feb 2024 13:04:05 GMT" (UTC, English names, 24 hours).
std::string FormatMailDate(std::time_t when);

// "From: ...\r\nTo: ...\r\nSubject: ...\r\nDate: ...\r\n\r\n<body>".
std::string BuildMessageText(const std::string& from, const std::string& to,
                             const std::string& subject, const std::string& date,
                             const std::string& body);

// Whether a header field's text carries a carriage return or a line feed, which would end
// the field early and let its writer add fields or recipients of their own.
bool HasLineBreak(const std::string& text);

// Converts the message text for the DATA phase: carriage returns are dropped, each line
// feed becomes CR LF, and a "." starting a line is doubled. The converted bytes are handed
// to `send` whenever more than CHUNK_LIMIT are pending, with `pause` called after each such
// chunk, and the rest at the end. False as soon as `send` fails.
constexpr std::size_t CHUNK_LIMIT = 4093;
bool EncodeMessage(const std::string& text, const std::function<bool(const std::string&)>& send,
                   const std::function<void()>& pause);

// Splits "host", "host:port", "[v6address]" or "[v6address]:port" (port 25 when absent).
// False for an empty host or a port that is not a number from 1 to 65535.
bool ParseServerAddress(const std::string& text, std::string& host, unsigned short& port);

// One TCP connection to a mail server.
class CSmtpConnection {
public:
    // Code given for a time-out, a closed connection or an empty line.
    static constexpr int NO_REPLY = 500;
    static constexpr std::size_t MAX_LINE = 1023;

    explicit CSmtpConnection(std::chrono::milliseconds byteTimeout = std::chrono::seconds(60));
    ~CSmtpConnection();
    CSmtpConnection(const CSmtpConnection&) = delete;
    CSmtpConnection& operator=(const CSmtpConnection&) = delete;

    // Resolves the host (a dotted address is used as it is) and connects to the first
    // address that answers.
    bool Connect(const std::string& host, unsigned short port);
    bool IsConnected() const { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    // Reads one reply, a byte at a time, each byte awaited at most the byte time-out: lines
    // up to a line feed (a trailing CR removed, at most MAX_LINE bytes kept) until one has
    // a space as its fourth character or is a bare three-character code. The code is the
    // number of its first three characters; NO_REPLY on a time-out, a closed connection
    // or an empty line. `lastLine` receives the reply's last line.
    int ReadReply(std::string* lastLine = nullptr);
    void Close();

private:
    // 1: a byte; 0: closed; -1: error or time-out.
    int ReadByte(char& byte);

    int m_fd = -1;
    std::chrono::milliseconds m_byteTimeout;
};

struct CMailMessage {
    std::string from;
    std::string to;
    std::string subject;
    std::string body;
};

enum class ESendOutcome {
    Accepted,     // the server took the message
    Refused,      // reached and greeted, but the transaction failed (RSET and QUIT sent)
    NotConnected, // not resolvable, refused, or greeting / HELO not accepted
};

struct CSendOptions {
    std::chrono::milliseconds byteTimeout = std::chrono::seconds(60);
    std::chrono::milliseconds chunkPause = std::chrono::milliseconds(10);
};

// One transaction on a fresh connection to `server` ("host[:port]"), greeting with
// `computerName` and dating the message `date`.
ESendOutcome SendMailMessage(const std::string& server, const std::string& computerName,
                             const CMailMessage& message, const std::string& date,
                             const CSendOptions& options = {});

} // namespace qtrweb
