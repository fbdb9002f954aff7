// The SMTP client's pieces: message text, transfer encoding, addresses and reply reading.

#include "ScriptedSmtpServer.h"
#include "SmtpClient.h"

#include <gtest/gtest.h>

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
