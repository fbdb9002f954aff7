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

// "From: ...\r\nTo: ...\r\nSubject: ...\r\nDate: ...\r\n\r\n<body>". Text a mail
// line cannot carry as it is gets encoded: a subject beyond ASCII, or too long for one
// line, as UTF-8 encoded words on folded lines (RFC 2047); a body beyond ASCII is declared
// UTF-8 (MIME-Version, Content-Type) and, when one of its lines is longer than
// MAX_TEXT_LINE, sent quoted-printable.
constexpr std::size_t MAX_TEXT_LINE = 998;
std::string BuildMessageText(const std::string& from, const std::string& to,
                             const std::string& subject, const std::string& date,
                             const std::string& body);

// Whether a header field's text carries a carriage return or a line feed, which would end
// the field early and let its writer add fields or recipients of their own.
bool HasLineBreak(const std::string& text);

// Whether an address may go into MAIL FROM / RCPT TO: no line break or NUL, and angle
// brackets only as one "<path>" at its end. A second bracket would close the path early and
// let the writer add parameters of their own ("a@b> SIZE=1 <c@d").
bool IsSafeAddress(const std::string& address);

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
    // More lines than any server's reply has (an EHLO reply has a dozen).
    static constexpr int MAX_REPLY_LINES = 100;

    explicit CSmtpConnection(std::chrono::milliseconds byteTimeout = std::chrono::seconds(60),
                             std::chrono::milliseconds replyTimeout = std::chrono::seconds(60));
    ~CSmtpConnection();
    CSmtpConnection(const CSmtpConnection&) = delete;
    CSmtpConnection& operator=(const CSmtpConnection&) = delete;

    // Resolves the host (a dotted address is used as it is) and connects to the first
    // address that answers.
    bool Connect(const std::string& host, unsigned short port);
    bool IsConnected() const { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    // Reads one reply, each byte awaited at most the byte time-out and the whole reply at
    // most the reply time-out: lines up to a line feed (a trailing CR removed, at most
    // MAX_LINE bytes kept) until one has a space as its fourth character or is a bare
    // three-character code. The code is the number of its first three characters; NO_REPLY
    // on a time-out, a closed connection, an empty line or more than MAX_REPLY_LINES lines.
    // `lastLine` receives the reply's last line.
    int ReadReply(std::string* lastLine = nullptr);
    void Close();

private:
    // 1: a byte; 0: closed; -1: error or time-out (the byte's or `replyDeadline`).
    int ReadByte(char& byte, std::chrono::steady_clock::time_point replyDeadline);

    int m_fd = -1;
    std::chrono::milliseconds m_byteTimeout;
    std::chrono::milliseconds m_replyTimeout;
    // Bytes received and not yet read: one recv takes what has arrived, not a byte.
    std::string m_received;
    std::size_t m_readAt = 0;
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
    std::chrono::milliseconds replyTimeout = std::chrono::seconds(60);
    std::chrono::milliseconds chunkPause = std::chrono::milliseconds(10);
};

// One transaction on a fresh connection to `server` ("host[:port]"), greeting with
// `computerName` and dating the message `date`.
ESendOutcome SendMailMessage(const std::string& server, const std::string& computerName,
                             const CMailMessage& message, const std::string& date,
                             const CSendOptions& options = {});

} // namespace qtrweb
