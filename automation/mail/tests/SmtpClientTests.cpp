// The SMTP client's pieces: message text, transfer encoding, addresses and reply reading.

#include "ScriptedSmtpServer.h"
#include "SmtpClient.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace qtrweb;
using mailtest::CScript;
using mailtest::CScriptedSmtpServer;

namespace {

struct CEncoded {
    std::vector<std::string> chunks;
    int pauses = 0;
    std::string Joined() const {
        std::string all;
        for (const auto& chunk : chunks) {
            all += chunk;
        }
        return all;
    }
};

CEncoded Encode(const std::string& text) {
    CEncoded encoded;
    EXPECT_TRUE(EncodeMessage(
        text,
        [&](const std::string& chunk) {
            encoded.chunks.push_back(chunk);
            return true;
        },
        [&] { ++encoded.pauses; }));
    return encoded;
}

} // namespace

TEST(SmtpMessage, DateIsUtcWithEnglishNamesAnd24Hours) {
    // 2024-02-05 13:04:05 UTC, a Monday.
    EXPECT_EQ(FormatMailDate(1707138245), "Mon, 05 Feb 2024 13:04:05 GMT");
    // Midnight stays 00, not 12; single digits are padded.
    EXPECT_EQ(FormatMailDate(946684800), "Sat, 01 Jan 2000 00:00:00 GMT");
    EXPECT_EQ(FormatMailDate(1735689599), "Tue, 31 Dec 2024 23:59:59 GMT");
}

TEST(SmtpMessage, TextHasTheFixedHeaderThenTheBody) {
    EXPECT_EQ(BuildMessageText("a@example.org", "b@example.org", "Hi",
                               "Mon, 05 Feb 2024 13:04:05 GMT", "Body"),
              "From: a@example.org\r\nTo: b@example.org\r\nSubject: Hi\r\n"
              "Date: Mon, 05 Feb 2024 13:04:05 GMT\r\n\r\nBody");
    EXPECT_TRUE(HasLineBreak("a\r"));
    EXPECT_TRUE(HasLineBreak("a\nBcc: x"));
    EXPECT_FALSE(HasLineBreak("Joe <joe@example.org>"));
}

TEST(SmtpMessage, TextBeyondShortAsciiLinesIsMarkedAndEncoded) {
    const std::string date = "Mon, 05 Feb 2024 13:04:05 GMT";
    const std::string head = "From: a@example.org\r\nTo: b@example.org\r\n";
    // A subject beyond ASCII is encoded; a body beyond ASCII is declared as UTF-8.
    EXPECT_EQ(BuildMessageText("a@example.org", "b@example.org", "Grüße aus Köln", date, "Grüße\n"),
              head + "Subject: =?UTF-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=\r\nDate: " + date +
                  "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                  "Content-Transfer-Encoding: 8bit\r\n\r\nGrüße\n");

    // A subject too long for one line is folded into encoded words of short lines.
    const std::string folded =
        BuildMessageText("a@example.org", "b@example.org", std::string(1200, 'a'), date, "B");
    const std::string words = folded.substr(head.size(), folded.find("\r\nDate:") - head.size());
    std::string firstWord; // 39 letters a
    for (int i = 0; i < 13; ++i) {
        firstWord += "YWFh";
    }
    EXPECT_EQ(words.rfind("Subject: =?UTF-8?B?" + firstWord + "?=\r\n =?UTF-8?B?", 0), 0u);
    std::size_t count = 0;
    std::size_t lineStart = 0;
    for (std::size_t at = 0; at <= words.size(); ++at) {
        if (at == words.size() || words[at] == '\r') {
            EXPECT_LE(at - lineStart, 76u);
            lineStart = at + 2;
        }
    }
    for (std::size_t at = words.find("=?UTF-8?B?"); at != std::string::npos;
         at = words.find("=?UTF-8?B?", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 31u); // 39 bytes a word
    // Words end between characters, never inside one.
    const std::string wide =
        BuildMessageText("a@example.org", "b@example.org", std::string(38, 'a') + "ü", date, "B");
    EXPECT_NE(wide.find("?=\r\n =?UTF-8?B?w7w=?="), std::string::npos) << wide;

    // A body line longer than a mail line may be goes quoted-printable, its text intact.
    const std::string longBody =
        BuildMessageText("a@example.org", "b@example.org", "S", date,
                         "short =\n" + std::string(1500, 'y') + "=end \nGrüße");
    const std::string qpHead = head + "Subject: S\r\nDate: " + date +
                               "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; "
                               "charset=UTF-8\r\nContent-Transfer-Encoding: quoted-printable"
                               "\r\n\r\n";
    std::string lines;
    for (int i = 0; i < 20; ++i) {
        lines += std::string(75, 'y') + "=\n";
    }
    EXPECT_EQ(longBody, qpHead + "short =3D\n" + lines + "=3Dend=20\nGr=C3=BC=C3=9Fe");
    // An ASCII body of short lines keeps the fixed header alone.
    EXPECT_EQ(BuildMessageText("a@example.org", "b@example.org", "S", date,
                               std::string(998, 'z') + "\r\n" + std::string(998, 'z')),
              head + "Subject: S\r\nDate: " + date + "\r\n\r\n" + std::string(998, 'z') + "\r\n" +
                  std::string(998, 'z'));
}

TEST(SmtpMessage, AnAddressCarriesAtMostOneBracketedPath) {
    for (const char* good : {"a@example.org", "Joe Bloggs <joe@example.org>", "<ann@example.org>",
                             "\"Ann\" <ann@example.org>"}) {
        EXPECT_TRUE(IsSafeAddress(good)) << good;
    }
    for (const char* bad : {"a@example.org> SIZE=1 <x@y", "a@example.org>", "<a@example.org",
                            "<<a@example.org>>", "Joe <a@example.org> <b@example.org>",
                            "<a@example.org> x", "a\r\n@example.org", "a@example.org\n"}) {
        EXPECT_FALSE(IsSafeAddress(bad)) << bad;
    }
    EXPECT_FALSE(IsSafeAddress(std::string("a\0b@example.org", 15)));
}

TEST(SmtpMessage, EncodingEndsLinesWithCrLfAndDoublesLeadingDots) {
    EXPECT_EQ(Encode("a\nb\n").Joined(), "a\r\nb\r\n");
    // Carriage returns are dropped wherever they are, then line feeds get theirs back.
    EXPECT_EQ(Encode("a\r\nb\rc\r\r\n").Joined(), "a\r\nbc\r\n");
    EXPECT_EQ(Encode("x\n.\n..y\n.z").Joined(), "x\r\n..\r\n...y\r\n..z");
    // Only a dot that starts a line; a CR between the line feed and the dot changes nothing.
    EXPECT_EQ(Encode("a.b\n\r.").Joined(), "a.b\r\n..");
    EXPECT_EQ(Encode("").chunks.size(), 0u);
    // Bytes beyond ASCII pass unchanged.
    EXPECT_EQ(Encode("Grüße\n").Joined(), "Grüße\r\n");
}

TEST(SmtpMessage, LongMessagesGoInChunksWithAPauseBetween) {
    const std::string header =
        BuildMessageText("a@example.org", "b@example.org", "Hi", FormatMailDate(0), "");
    const CEncoded encoded = Encode(header + std::string(10000, 'x'));
    ASSERT_EQ(encoded.chunks.size(), 3u);
    EXPECT_EQ(encoded.pauses, 2);
    EXPECT_EQ(encoded.chunks[0].size(), CHUNK_LIMIT + 1);
    EXPECT_EQ(encoded.chunks[1].size(), CHUNK_LIMIT + 1);
    EXPECT_EQ(encoded.Joined(), header + std::string(10000, 'x'));

    // A pair of bytes may carry a chunk one past the limit; nothing is lost or doubled.
    const std::string lines(4092, 'y');
    const CEncoded pairs = Encode(lines + "\n.\n");
    ASSERT_EQ(pairs.chunks.size(), 2u);
    EXPECT_EQ(pairs.chunks[0], lines + "\r\n");
    EXPECT_EQ(pairs.chunks[1], "..\r\n");

    // Exactly at the limit nothing is sent early.
    EXPECT_EQ(Encode(std::string(CHUNK_LIMIT, 'z')).chunks.size(), 1u);

    // A failed send stops the encoding.
    int sends = 0;
    EXPECT_FALSE(EncodeMessage(
        std::string(20000, 'q'), [&](const std::string&) { return ++sends < 2; }, [] {}));
    EXPECT_EQ(sends, 2);
}

TEST(SmtpMessage, ServerAddressTakesAnOptionalPort) {
    std::string host;
    unsigned short port = 0;
    ASSERT_TRUE(ParseServerAddress("mail.example.org", host, port));
    EXPECT_EQ(host, "mail.example.org");
    EXPECT_EQ(port, 25);
    ASSERT_TRUE(ParseServerAddress("127.0.0.1:2525", host, port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 2525);
    ASSERT_TRUE(ParseServerAddress("[::1]:587", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 587);
    ASSERT_TRUE(ParseServerAddress("::1", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 25);
    for (const char* bad : {"", ":25", "host:", "host:0", "host:65536", "host:2x", "[::1",
                            "[::1]25", "host:123456"}) {
        EXPECT_FALSE(ParseServerAddress(bad, host, port)) << bad;
    }
}

TEST(SmtpReplies, MultiLineRepliesEndAtTheLineWithASpace) {
    CScript script;
    script.greeting = "220-mail.example greets you\r\n220-with a second line\r\n220 ready\r\n"
                      "250\r\n"        // a bare code ends its reply too
                      "354 go ahead\n" // a line feed alone ends a line
                      "251-x\r\n" +
                      std::string(3000, 'z') + "\r\n251 " + std::string(2000, 'w') +
                      "\r\n"
                      "\r\n"; // an empty line
    CScriptedSmtpServer server(script);
    CSmtpConnection connection(std::chrono::seconds(30));
    ASSERT_TRUE(connection.Connect("127.0.0.1", server.Port()));
    std::string last;
    EXPECT_EQ(connection.ReadReply(&last), 220);
    EXPECT_EQ(last, "220 ready");
    EXPECT_EQ(connection.ReadReply(), 250);
    EXPECT_EQ(connection.ReadReply(&last), 354);
    EXPECT_EQ(last, "354 go ahead");
    // Over-long lines are kept to their first 1023 bytes and still end where they end.
    EXPECT_EQ(connection.ReadReply(&last), 251);
    EXPECT_EQ(last.size(), CSmtpConnection::MAX_LINE);
    EXPECT_EQ(connection.ReadReply(), CSmtpConnection::NO_REPLY);
}

TEST(SmtpReplies, AReplyEndsWithinItsDeadlineAndLineLimit) {
    // A reply of more lines than any server sends is no reply, though it ends at last.
    {
        CScript script;
        script.greeting.clear();
        for (int i = 0; i < 5000; ++i) {
            script.greeting += "250-more\r\n";
        }
        script.greeting += "250 done\r\n";
        CScriptedSmtpServer server(script);
        CSmtpConnection connection(std::chrono::seconds(30));
        ASSERT_TRUE(connection.Connect("127.0.0.1", server.Port()));
        EXPECT_EQ(connection.ReadReply(), CSmtpConnection::NO_REPLY);
    }
    // A server that trickles lines, each well within the byte time-out, is cut off at the
    // reply's deadline.
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    std::thread trickle([listener] {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        // 60 lines in 3 s, then an end: within the line limit, beyond the deadline.
        for (int i = 0; i < 60 && send(fd, "250-more\r\n", 10, MSG_NOSIGNAL) == 10; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        send(fd, "250 done\r\n", 10, MSG_NOSIGNAL);
        close(fd);
    });
    {
        CSmtpConnection connection(std::chrono::seconds(30), std::chrono::milliseconds(400));
        ASSERT_TRUE(connection.Connect("127.0.0.1", ntohs(address.sin_port)));
        EXPECT_EQ(connection.ReadReply(), CSmtpConnection::NO_REPLY);
    }
    trickle.join();
    close(listener);
}

TEST(SmtpReplies, ClosedOrSilentServerGivesCode500) {
    {
        CScript script;
        script.greeting = "220 partial";
        script.replies["NOOP"] = mailtest::CLOSE;
        CScriptedSmtpServer server(script);
        CSmtpConnection connection(std::chrono::seconds(30));
        ASSERT_TRUE(connection.Connect("localhost", server.Port()));
        ASSERT_TRUE(connection.Send("NOOP\r\n"));
        // The server closes before the line ends.
        EXPECT_EQ(connection.ReadReply(), CSmtpConnection::NO_REPLY);
    }
    {
        CScript script;
        script.greeting = "220-first line of a reply that never ends\r\n";
        CScriptedSmtpServer server(script);
        CSmtpConnection connection(std::chrono::milliseconds(200));
        ASSERT_TRUE(connection.Connect("127.0.0.1", server.Port()));
        EXPECT_EQ(connection.ReadReply(), CSmtpConnection::NO_REPLY);
    }
    CSmtpConnection unconnected;
    EXPECT_EQ(unconnected.ReadReply(), CSmtpConnection::NO_REPLY);
    EXPECT_FALSE(unconnected.Send("x"));
}

TEST(SmtpDialogue, ServerThatStopsAnsweringEndsTheTransaction) {
    CScript script;
    script.replies["DATA"] = ""; // never answered
    CScriptedSmtpServer server(script);
    CSendOptions options;
    options.byteTimeout = std::chrono::milliseconds(300);
    const auto outcome = SendMailMessage(server.Address(), "client.example",
                                         {"a@example.org", "b@example.org", "Hi", "Body"},
                                         "Mon, 05 Feb 2024 13:04:05 GMT", options);
    EXPECT_EQ(outcome, ESendOutcome::Refused);
    EXPECT_EQ(server.Transcript(), "HELO client.example\r\n"
                                   "MAIL FROM:<a@example.org>\r\n"
                                   "RCPT TO:<b@example.org>\r\n"
                                   "DATA\r\n"
                                   "RSET\r\n"
                                   "QUIT\r\n");
}
