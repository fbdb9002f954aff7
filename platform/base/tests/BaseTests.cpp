#include "Fd.h"
#include "Text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace base;

namespace {

const std::string E_ACUTE = "\xC3\xA9";          // é, two bytes
const std::string EURO = "\xE2\x82\xAC";         // €, three bytes
const std::string GRINNING = "\xF0\x9F\x98\x80"; // U+1F600, four bytes

bool IsOpenDescriptor(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

} // namespace

TEST(Utf8Cut, NeverSplitsASequenceAndKeepsWholeOnes) {
    EXPECT_EQ(CutUtf8("abc", 3), "abc");
    EXPECT_EQ(CutUtf8("abc", 10), "abc");
    EXPECT_EQ(CutUtf8("abc", 0), "");
    // Every cut inside a sequence falls back to its start; a cut after it keeps it.
    for (const std::string& character : {E_ACUTE, EURO, GRINNING}) {
        const std::string text = "ab" + character + "z";
        for (std::size_t inside = 1; inside < character.size(); ++inside) {
            EXPECT_EQ(CutUtf8(text, 2 + inside), "ab") << character.size() << "/" << inside;
        }
        EXPECT_EQ(CutUtf8(text, 2 + character.size()), "ab" + character);
    }
    EXPECT_EQ(Utf8CutLength(std::string(78, 'a') + E_ACUTE + "z", 79), 78u);
}

TEST(Utf8Cut, MalformedBytesAreCutWhereTheyFall) {
    // A run of continuation bytes has no character to keep whole.
    EXPECT_EQ(CutUtf8(std::string(10, '\x80'), 4), std::string(4, '\x80'));
    // A complete ASCII byte before stray continuations is kept.
    EXPECT_EQ(CutUtf8("a\x80\x80\x80\x80", 3), "a\x80\x80");
    // A lead byte cut off from its (absent) continuation: the next byte does not continue it.
    EXPECT_EQ(CutUtf8("a\xC3z", 2), "a\xC3");
    // A four-byte sequence followed by a stray continuation is complete at four bytes.
    EXPECT_EQ(CutUtf8(GRINNING + "\x80", 4), GRINNING);
}

TEST(Utf8Cut, CompleteLengthDropsOnlyAnUnfinishedLastSequence) {
    EXPECT_EQ(Utf8CompleteLength(""), 0u);
    EXPECT_EQ(Utf8CompleteLength("abc"), 3u);
    EXPECT_EQ(Utf8CompleteLength("ab\xC3"), 2u);
    EXPECT_EQ(Utf8CompleteLength("ab" + EURO.substr(0, 2)), 2u);
    EXPECT_EQ(Utf8CompleteLength(GRINNING.substr(0, 3)), 0u);
    EXPECT_EQ(Utf8CompleteLength("x" + GRINNING), 5u);
    EXPECT_EQ(Utf8CompleteLength("\x80\x80"), 2u);
    // Only the byte after the kept ones decides whether a cut splits anything.
    EXPECT_EQ(Utf8CutBefore("ab\xC3", '\xA9'), 2u);
    EXPECT_EQ(Utf8CutBefore("ab\xC3", 'z'), 3u);
    EXPECT_EQ(Utf8CutBefore("ab", '\xC3'), 2u);
}

TEST(Utf8Cut, FieldStopsAtTheFirstNul) {
    EXPECT_EQ(CutUtf8Field("abc", 3), "abc");
    EXPECT_EQ(CutUtf8Field("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(CutUtf8Field(std::string("a\0bc", 4), 3), "a");
    EXPECT_EQ(CutUtf8Field(std::string(10, '\x80'), 4), std::string(4, '\x80'));
    // The plain cut keeps an embedded NUL as any other byte.
    EXPECT_EQ(CutUtf8(std::string("a\0bc", 4), 3), std::string("a\0b", 3));
}

TEST(AsciiText, CaseFoldsOnlyAsciiLettersAndHexDigitsReadEitherCase) {
    EXPECT_EQ(LowerAscii("MiXeD 09 [Z]@"), "mixed 09 [z]@");
    // É (C3 89) and bytes above 127 stay as they are.
    EXPECT_EQ(LowerAscii("\xC3\x89"
                         "A\xC0"),
              "\xC3\x89"
              "a\xC0");
    EXPECT_TRUE(EqualsNoCase("/AutoRun", "/autorun"));
    EXPECT_FALSE(EqualsNoCase("/autorun ", "/autorun"));
    EXPECT_FALSE(EqualsNoCase("\xC3\xA9", "\xC3\x89"));
    EXPECT_TRUE(StartsWithNoCase("LOCAL://12/x", "local://"));
    EXPECT_FALSE(StartsWithNoCase("local:", "local://"));
    EXPECT_EQ(HexDigitValue('0'), 0);
    EXPECT_EQ(HexDigitValue('9'), 9);
    EXPECT_EQ(HexDigitValue('a'), 10);
    EXPECT_EQ(HexDigitValue('F'), 15);
    EXPECT_EQ(HexDigitValue('g'), -1);
    EXPECT_EQ(HexDigitValue('/'), -1);
    EXPECT_EQ(HexDigitValue(':'), -1);
}

TEST(AsciiText, Base64PadsTheLastGroup) {
    EXPECT_EQ(base::EncodeBase64(""), "");
    EXPECT_EQ(base::EncodeBase64("f"), "Zg==");
    EXPECT_EQ(base::EncodeBase64("fo"), "Zm8=");
    EXPECT_EQ(base::EncodeBase64("foo"), "Zm9v");
    EXPECT_EQ(base::EncodeBase64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base::EncodeBase64(std::string("\xff\xfe\0", 3)), "//4A");
}

TEST(AsciiText, PercentEscapesDecodeOnlyWhenWhole) {
    std::string out = "kept";
    EXPECT_TRUE(base::PercentDecode("a%2Fb+c%00%e9%C3%A9", out, true));
    EXPECT_EQ(out, std::string("a/b c\0\xe9\xc3\xa9", 9));
    EXPECT_TRUE(base::PercentDecode("a+b%2B", out, false));
    EXPECT_EQ(out, "a+b+");
    // A '%' needs two hexadecimal digits after it, up to the very end; a failure keeps `out`.
    for (const char* bad : {"%", "%4", "a%4", "%4g", "%g4", "100%"}) {
        out = "kept";
        EXPECT_FALSE(base::PercentDecode(bad, out, true)) << bad;
        EXPECT_EQ(out, "kept") << bad;
    }
    EXPECT_TRUE(base::PercentDecode("%41", out, true));
    EXPECT_EQ(out, "A");
}

TEST(Descriptors, OwnerClosesOnceAndHandsOver) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int readEnd = fds[0];
    {
        CFd owner(readEnd);
        CFd moved(std::move(owner));
        EXPECT_FALSE(owner.IsOpen());
        EXPECT_EQ(moved.Get(), readEnd);
        EXPECT_TRUE(IsOpenDescriptor(readEnd));
    }
    EXPECT_FALSE(IsOpenDescriptor(readEnd));

    CFd writeEnd(fds[1]);
    const int released = writeEnd.Release();
    EXPECT_FALSE(writeEnd.IsOpen());
    EXPECT_TRUE(writeEnd.Close()); // nothing held
    EXPECT_TRUE(IsOpenDescriptor(released));
    writeEnd.Reset(released);
    EXPECT_TRUE(writeEnd.Close());
    EXPECT_FALSE(IsOpenDescriptor(released));
}

TEST(Descriptors, WholeWritesAndReadsAcrossShortTransfers) {
    // Far more than a pipe holds, so the write is taken in pieces while the reader drains.
    std::string sent(1 << 20, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) {
        sent[i] = static_cast<char>(i * 7 + i / 251);
    }
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    CFd readEnd(fds[0]);
    CFd writeEnd(fds[1]);
    std::string received = "kept:";
    bool readOk = false;
    std::thread reader([&] { readOk = ReadAll(readEnd.Get(), received); });
    EXPECT_TRUE(WriteAll(writeEnd.Get(), sent));
    EXPECT_TRUE(writeEnd.Close());
    reader.join();
    EXPECT_TRUE(readOk);
    EXPECT_EQ(received, "kept:" + sent);

    // A limit ends the read with EFBIG.
    ASSERT_EQ(::pipe(fds), 0);
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    ASSERT_TRUE(WriteAll(writeEnd.Get(), "0123456789"));
    ASSERT_TRUE(writeEnd.Close());
    std::string limited;
    errno = 0;
    EXPECT_FALSE(ReadAll(readEnd.Get(), limited, 9));
    EXPECT_EQ(errno, EFBIG);
    std::string whole;
    ASSERT_EQ(::pipe(fds), 0);
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    ASSERT_TRUE(WriteAll(writeEnd.Get(), "0123456789"));
    ASSERT_TRUE(writeEnd.Close());
    EXPECT_TRUE(ReadAll(readEnd.Get(), whole, 10));
    EXPECT_EQ(whole, "0123456789");

    // Failures keep the system's reason.
    errno = 0;
    EXPECT_FALSE(WriteAll(readEnd.Get(), "x"));
    EXPECT_EQ(errno, EBADF);
}

TEST(Descriptors, SendToAPeerThatHasGoneFailsWithoutASignal) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    CFd near(pair[0]);
    CFd far(pair[1]);
    EXPECT_TRUE(SendAll(near.Get(), "HELO\r\n"));
    char buffer[16];
    const ssize_t n = ::recv(far.Get(), buffer, sizeof buffer, 0);
    ASSERT_EQ(n, 6);
    EXPECT_EQ(std::string(buffer, 6), "HELO\r\n");
    ASSERT_TRUE(far.Close());
    // SIGPIPE would end this test program here.
    errno = 0;
    EXPECT_FALSE(SendAll(near.Get(), std::string(1 << 16, 'x')));
    EXPECT_EQ(errno, EPIPE);
}

TEST(Descriptors, SmallFilesAreReadWithoutTheirTrailingLineEnds) {
    char dir[] = "/tmp/dorvale-base-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/pid";
    const auto write = [&](std::string_view text) {
        const CFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        ASSERT_TRUE(fd.IsOpen());
        ASSERT_TRUE(WriteAll(fd.Get(), text));
    };
    write("1234 \n\n");
    EXPECT_EQ(ReadTrimmedFile(path), "1234");
    write(" a\nb\n");
    EXPECT_EQ(ReadTrimmedFile(path), " a\nb"); // only the end is trimmed
    // Over the limit reads as nothing rather than a cut-off number.
    write("123456789\n");
    EXPECT_EQ(ReadTrimmedFile(path, 9), "");
    EXPECT_EQ(ReadTrimmedFile(path, 10), "123456789");
    EXPECT_EQ(ReadTrimmedFile(path + "-missing"), "");
    EXPECT_EQ(ReadTrimmedFile(dir), ""); // a directory cannot be read
    ::unlink(path.c_str());
    ::rmdir(dir);
}
