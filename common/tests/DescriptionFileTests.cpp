#include "DescriptionFile.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;
using testsupport::CTempDir;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

CUploadDescription Read(std::string_view text, const CDescriptionReadOptions& options = {}) {
    CUploadDescription desc;
    EXPECT_TRUE(ReadDescription(text, desc, options));
    return desc;
}

CUploadDescription Sample() {
    CUploadDescription desc;
    desc.strFilename = "tools.zip";
    desc.strArea = "Utilities";
    desc.strTitle = "Tools";
    desc.strVersion = "1.2";
    desc.strShortDesc = "Handy tools";
    desc.strCompany = "Acme";
    desc.strEmail = "ann@example.org";
    desc.bReqForm = true;
    desc.strLongDesc = "First line\r\nSecond line";
    return desc;
}

std::size_t FileCount(const std::filesystem::path& dir) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++n;
    }
    return n;
}

// The long description the reader should produce from the given lines (one CR LF after each).
std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

} // namespace

TEST(DescriptionFile, NameRuleAndWrittenBytes) {
    EXPECT_EQ(DescriptionFileName("tools.zip"), "tools.zip.desc");

    CTempDir dir;
    std::string path;
    ASSERT_TRUE(WriteDescriptionFile(Sample(), dir.Path().string(), path));
    const auto file = std::filesystem::path(path);
    EXPECT_EQ(file.parent_path(), dir.Path());
    EXPECT_TRUE(file.filename().string().starts_with("des")) << path;
    EXPECT_EQ(ReadFile(file), "Filename: tools.zip\r\n"
                              "Area: Utilities\r\n"
                              "Title: Tools\r\n"
                              "Version: 1.2\r\n"
                              "ShortDesc: Handy tools\r\n"
                              "Company: Acme\r\n"
                              "Email: ann@example.org\r\n"
                              "ReqForm: Yes\r\n"
                              "\r\n"
                              "First line\r\nSecond line");

    // A second file never replaces the first; empty values still get their line.
    CUploadDescription bare;
    bare.strFilename = "x";
    std::string second;
    ASSERT_TRUE(WriteDescriptionFile(bare, dir.Path().string() + "/", second));
    EXPECT_NE(second, path);
    EXPECT_EQ(ReadFile(second), "Filename: x\r\nArea: \r\nTitle: \r\nVersion: \r\nShortDesc: \r\n"
                                "Company: \r\nEmail: \r\nReqForm: No\r\n\r\n");
    EXPECT_EQ(FileCount(dir.Path()), 2u);
}

TEST(DescriptionFile, WriterRefusesForgedHeaderLinesAndUnsafeNames) {
    CTempDir dir;
    std::string path = "unchanged";
    auto forged = Sample();
    forged.strTitle = "Nice\r\nFilename: ../../etc/passwd";
    EXPECT_FALSE(WriteDescriptionFile(forged, dir.Path().string(), path));
    forged = Sample();
    forged.strArea = "A\nB";
    EXPECT_FALSE(WriteDescriptionFile(forged, dir.Path().string(), path));
    for (const std::string& name :
         std::vector<std::string>{"", ".", "..", "../x", "a/b", "a\\b", "a\0b"s}) {
        auto unsafe = Sample();
        unsafe.strFilename = name;
        EXPECT_FALSE(WriteDescriptionFile(unsafe, dir.Path().string(), path)) << name;
    }
    EXPECT_FALSE(WriteDescriptionFile(Sample(), dir / "missing", path));
    EXPECT_EQ(path, "unchanged");
    EXPECT_EQ(FileCount(dir.Path()), 0u);

    // Line breaks inside the long description are its own and are written as they are.
    auto multi = Sample();
    multi.strLongDesc = "Title: not a header\r\n\r\nend";
    std::string text;
    ASSERT_TRUE(FormatDescription(multi, text));
    EXPECT_TRUE(text.ends_with("ReqForm: Yes\r\n\r\nTitle: not a header\r\n\r\nend"));
}

TEST(DescriptionFile, RoundTripThroughFileAndStream) {
    CTempDir dir;
    auto written = Sample();
    written.strTitle = "Café “Größe” ✓";
    std::string path;
    ASSERT_TRUE(WriteDescriptionFile(written, dir.Path().string(), path));

    CUploadDescription read;
    ASSERT_TRUE(ReadDescriptionFile(path, read));
    EXPECT_EQ(read.strFilename, "tools.zip");
    EXPECT_TRUE(read.IsFilenameSafe());
    EXPECT_EQ(read.strArea, "") << "the area line is not read back";
    EXPECT_EQ(read.strTitle, written.strTitle);
    EXPECT_EQ(read.strVersion, "1.2");
    EXPECT_EQ(read.strShortDesc, "Handy tools");
    EXPECT_EQ(read.strCompany, "Acme");
    EXPECT_EQ(read.strEmail, "ann@example.org");
    EXPECT_TRUE(read.bReqForm);
    EXPECT_TRUE(read.bHeaderEnded);
    EXPECT_FALSE(read.bHeaderTooLong);
    // The reader ends every line, the last one too.
    EXPECT_EQ(read.strLongDesc, "First line\r\nSecond line\r\n");

    std::ifstream in(path, std::ios::binary);
    CUploadDescription fromStream;
    ASSERT_TRUE(ReadDescription(in, fromStream));
    EXPECT_EQ(fromStream.strTitle, read.strTitle);
    EXPECT_EQ(fromStream.strLongDesc, read.strLongDesc);
    EXPECT_TRUE(fromStream.IsFilenameSafe());

    auto noText = Sample();
    noText.bReqForm = false;
    noText.strLongDesc.clear();
    ASSERT_TRUE(WriteDescriptionFile(noText, dir.Path().string(), path));
    ASSERT_TRUE(ReadDescriptionFile(path, read));
    EXPECT_FALSE(read.bReqForm);
    EXPECT_TRUE(read.bHeaderEnded);
    EXPECT_EQ(read.strLongDesc, "");

    EXPECT_FALSE(ReadDescriptionFile(dir / "missing.desc", read));
    EXPECT_FALSE(ReadDescriptionFile(dir.Path().string(), read)) << "a directory is not a file";
}

TEST(DescriptionFile, HeaderLines) {
    // The first ": " splits; the rest of the line is the value, cut to its limit.
    EXPECT_EQ(Read("Title: Tools: second edition\r\n\r\n").strTitle, "Tools: second edition");
    EXPECT_EQ(Read("Title: Tools: second edition, revised and enlarged\r\n").strTitle,
              "Tools: second edition, revised");

    for (const char* yes : {"yes", "1", "Y", "Yes", "y-ish"}) {
        EXPECT_TRUE(Read("ReqForm: "s + yes + "\r\n").bReqForm) << yes;
    }
    for (const char* no : {"No", "0", "true", "", " Yes"}) {
        EXPECT_FALSE(Read("ReqForm: "s + no + "\r\n").bReqForm) << no;
    }
    EXPECT_FALSE(Read("ReqForm:Yes\r\n").bReqForm);

    // Keys match exactly; other lines and unknown keys are passed over.
    const auto ignored = Read("title: lower\r\nTITLE: upper\r\n Title: indented\r\nTitle:tight\r\n"
                              "Area: Uploads\r\nColour: red\r\nno separator at all\r\n\r\n");
    EXPECT_EQ(ignored.strTitle, "");
    EXPECT_EQ(ignored.strArea, "");
    EXPECT_TRUE(ignored.bHeaderEnded);

    // Missing lines leave values empty; a repeated key keeps its last value.
    const auto sparse = Read("Version: 1\r\nVersion: 2\r\n\r\nbody");
    EXPECT_EQ(sparse.strVersion, "2");
    EXPECT_EQ(sparse.strTitle + sparse.strFilename + sparse.strEmail + sparse.strCompany, "");
    EXPECT_FALSE(sparse.bReqForm);
    EXPECT_EQ(sparse.strLongDesc, "body\r\n");

    // After the empty line a header-like line is text; empty lines there are kept.
    const auto after = Read("\r\nTitle: later\r\n\r\n\r\nend\r\n");
    EXPECT_EQ(after.strTitle, "");
    EXPECT_EQ(after.strLongDesc, Lines({"Title: later", "", "", "end"}));

    // LF alone ends a line too; a lone CR is an ordinary byte.
    const auto unix = Read("Title: A\nVersion: 2\n\nbody\nmore");
    EXPECT_EQ(unix.strTitle, "A");
    EXPECT_EQ(unix.strVersion, "2");
    EXPECT_EQ(unix.strLongDesc, "body\r\nmore\r\n");
    const auto lone = Read("Title: a\rb\r\n\r\nx\ry\r");
    EXPECT_EQ(lone.strTitle, "a\rb");
    EXPECT_EQ(lone.strLongDesc, "x\ry\r\r\n");

    // Without the empty line there is no long description.
    const auto noBreak = Read("Title: A\r\nbody text\r\nmore text");
    EXPECT_EQ(noBreak.strTitle, "A");
    EXPECT_FALSE(noBreak.bHeaderEnded);
    EXPECT_EQ(noBreak.strLongDesc, "");
    const auto empty = Read("");
    EXPECT_FALSE(empty.bHeaderEnded);
    EXPECT_FALSE(empty.IsFilenameSafe());
}

TEST(DescriptionFile, LinePieces) {
    const std::string a254(254, 'a');
    // A long line of the long description arrives as pieces of 254, each a line of its own.
    EXPECT_EQ(Read("\r\n" + std::string(600, 'a') + "\r\nz").strLongDesc,
              Lines({a254, a254, std::string(92, 'a'), "z"}));
    // A line of exactly 254 is one piece: its line end is not an extra empty line.
    EXPECT_EQ(Read("\r\n" + a254 + "\r\nz\r\n").strLongDesc, Lines({a254, "z"}));
    EXPECT_EQ(Read("\r\n" + a254 + "\nz").strLongDesc, Lines({a254, "z"}));
    EXPECT_EQ(Read("\r\n" + a254 + "\r\n").strLongDesc, Lines({a254}));
    // ...so it does not end the header either.
    const auto full = Read("ShortDesc: " + std::string(243, 's') + "\r\nTitle: T\r\n\r\nbody");
    EXPECT_EQ(full.strTitle, "T");
    EXPECT_EQ(full.strShortDesc, std::string(60, 's'));
    EXPECT_EQ(full.strLongDesc, "body\r\n");
    // In the header, too, the rest of an over-long line is a line of its own.
    const auto rest = Read("ShortDesc: " + std::string(243, 's') + "Title: Tail\r\n\r\n");
    EXPECT_EQ(rest.strTitle, "Tail");

    // A piece never ends inside a UTF-8 sequence.
    EXPECT_EQ(Read("\r\n" + std::string(253, 'a') + "éb").strLongDesc,
              Lines({std::string(253, 'a'), "éb"}));
    EXPECT_EQ(Read("\r\n" + std::string(252, 'a') + "✓b").strLongDesc,
              Lines({std::string(252, 'a'), "✓b"}));
    EXPECT_EQ(Read("\r\n" + std::string(251, 'a') + "✓b").strLongDesc,
              Lines({std::string(251, 'a') + "✓", "b"}));
    // A CR that fills a piece without its LF stays content of the next one.
    EXPECT_EQ(Read("\r\n" + a254 + "\rb\r\n").strLongDesc, Lines({a254, "\rb"}));
}

TEST(DescriptionFile, ValueAndTextLimits) {
    const auto cut =
        Read("Title: " + std::string(40, 't') + "\r\nVersion: " + std::string(20, 'v') +
             "\r\nShortDesc: " + std::string(100, 's') + "\r\nCompany: " + std::string(300, 'c') +
             "\r\nEmail: " + std::string(300, 'e') + "\r\n");
    EXPECT_EQ(cut.strTitle, std::string(30, 't'));
    EXPECT_EQ(cut.strVersion, std::string(15, 'v'));
    EXPECT_EQ(cut.strShortDesc, std::string(60, 's'));
    // Company and e-mail are bounded by the 254-byte piece before their own limits.
    EXPECT_EQ(cut.strCompany, std::string(254 - 9, 'c'));
    EXPECT_EQ(cut.strEmail, std::string(254 - 7, 'e'));

    // Cuts keep whole characters.
    EXPECT_EQ(Read("Title: " + std::string(29, 'a') + "é\r\n").strTitle, std::string(29, 'a'));
    EXPECT_EQ(Read("Title: " + std::string(28, 'a') + "é\r\n").strTitle,
              std::string(28, 'a') + "é");
    EXPECT_EQ(Read("Version: 12345678901234✓\r\n").strVersion, "12345678901234");

    // The long description keeps at most 65535 bytes.
    std::string body, expected;
    for (int i = 0; i < 300; ++i) {
        const std::string line(253, static_cast<char>('A' + i % 26));
        body += line + "\r\n";
        expected += line + "\r\n";
    }
    const auto longText = Read("Title: T\r\n\r\n" + body);
    EXPECT_EQ(longText.strLongDesc, expected.substr(0, 65535));

    std::string wide;
    for (int i = 0; i < 400; ++i) {
        for (int k = 0; k < 100; ++k) {
            wide += "é";
        }
        wide += "\r\n";
    }
    const auto utf8 = Read("\r\n" + wide).strLongDesc;
    ASSERT_LE(utf8.size(), 65535u);
    EXPECT_GE(utf8.size(), 65532u);
    EXPECT_EQ(utf8, wide.substr(0, utf8.size()));
    EXPECT_NE(static_cast<unsigned char>(wide[utf8.size()]) & 0xC0, 0x80) << "split a character";

    // The upload scan's flavour: trailing spaces go, and only whole lines are kept.
    CDescriptionReadOptions scan;
    scan.bTrimTrailingSpaces = true;
    scan.bWholeLinesOnly = true;
    EXPECT_EQ(Read("\r\nabc   \r\n   \r\n a b \r\n", scan).strLongDesc, Lines({"abc", "", " a b"}));
    std::string lines254;
    for (int i = 0; i < 300; ++i) {
        lines254 += std::string(254, 'w') + "\r\n";
    }
    EXPECT_EQ(Read("\r\n" + lines254, scan).strLongDesc.size(), 255u * 256u);
    EXPECT_EQ(Read("\r\n" + lines254).strLongDesc.size(), 65535u);
}

TEST(DescriptionFile, BadInputStaysBounded) {
    // NUL bytes are ordinary bytes inside a line.
    const auto nul = Read("Title: a\0b\r\nFilename: x\0y\r\n\r\n\0\0\r\n"s);
    EXPECT_EQ(nul.strTitle, "a\0b"s);
    EXPECT_EQ(nul.strFilename, "x\0y"s);
    EXPECT_FALSE(nul.IsFilenameSafe());
    EXPECT_EQ(nul.strLongDesc, "\0\0\r\n"s);

    // Random bytes: whatever comes out stays within the limits.
    std::mt19937 random(42);
    for (int round = 0; round < 20; ++round) {
        std::string bytes(1 << 16, '\0');
        for (auto& b : bytes) {
            // Few distinct bytes so that line ends, ": " and keys' letters turn up often.
            static const char ALPHABET[] = "\r\n: TitleY1\0\xC3\xA9\xE2";
            b = ALPHABET[random() % (sizeof ALPHABET - 1)];
        }
        const auto desc = Read(bytes);
        EXPECT_LE(desc.strTitle.size(), DESC_MAX_TITLE);
        EXPECT_LE(desc.strLongDesc.size(), DESC_MAX_LONGDESC);
    }

    // Megabyte lines: in the header the reader gives up; after it the text fills and stops.
    const std::string huge(8 << 20, 'x');
    const auto noHeader = Read("Title: T\r\n" + huge);
    EXPECT_TRUE(noHeader.bHeaderTooLong);
    EXPECT_FALSE(noHeader.bHeaderEnded);
    EXPECT_EQ(noHeader.strTitle, "T");
    EXPECT_EQ(noHeader.strLongDesc, "");
    const auto longLine = Read("Title: T\r\n\r\n" + huge);
    EXPECT_EQ(longLine.strLongDesc.size(), DESC_MAX_LONGDESC);
    EXPECT_TRUE(longLine.strLongDesc.starts_with(std::string(254, 'x') + "\r\n"));

    // Gigabyte files (sparse, so cheap): read only as far as anything can still change.
    CTempDir dir;
    const std::string path = dir / "big.zip.desc";
    WriteFile(path, "Filename: big.zip\r\nTitle: Big\r\n\r\n");
    ASSERT_EQ(::truncate(path.c_str(), 4LL << 30), 0);
    CUploadDescription big;
    ASSERT_TRUE(ReadDescriptionFile(path, big));
    EXPECT_EQ(big.strTitle, "Big");
    EXPECT_TRUE(big.IsFilenameSafe());
    EXPECT_EQ(big.strLongDesc.size(), DESC_MAX_LONGDESC);
    EXPECT_EQ(big.strLongDesc.substr(0, 256), std::string(254, '\0') + "\r\n");

    const std::string zeros = dir / "zeros.desc";
    WriteFile(zeros, "");
    ASSERT_EQ(::truncate(zeros.c_str(), 4LL << 30), 0);
    ASSERT_TRUE(ReadDescriptionFile(zeros, big));
    EXPECT_TRUE(big.bHeaderTooLong);
    EXPECT_EQ(big.strLongDesc, "");
}

TEST(DescriptionFile, UnsafeFileNamesAreMarked) {
    for (const std::string& name : std::vector<std::string>{
             "tools.zip", "...", ".hidden", "name with spaces.zip", "a:b", "Ünïcode✓.txt"}) {
        EXPECT_TRUE(IsBareFileName(name)) << name;
        EXPECT_TRUE(Read("Filename: " + name + "\r\n").IsFilenameSafe()) << name;
    }
    for (const std::string& name : std::vector<std::string>{
             "", ".", "..", "../x", "a/b", "/etc/passwd", "dir/", "..\\x", "a\\b", "x\0y"s}) {
        EXPECT_FALSE(IsBareFileName(name)) << name;
        const auto desc = Read("Filename: " + name + "\r\n");
        EXPECT_FALSE(desc.IsFilenameSafe()) << name;
        EXPECT_EQ(desc.strFilename, name) << "the value is kept for the caller to show";
    }
    EXPECT_FALSE(Read("Title: no name\r\n").IsFilenameSafe());

    // A name that did not fit in its line piece lost its end and names some other file.
    const std::string longName(250, 'n');
    const auto cutName = Read("Filename: " + longName + "\r\n");
    EXPECT_EQ(cutName.strFilename, longName.substr(0, 244));
    EXPECT_FALSE(cutName.IsFilenameSafe());
    EXPECT_TRUE(Read("Filename: " + longName.substr(0, 244) + "\r\n").IsFilenameSafe());
    // The last Filename line decides.
    EXPECT_TRUE(Read("Filename: " + longName + "\r\nFilename: ok.zip\r\n").IsFilenameSafe());
    EXPECT_FALSE(Read("Filename: ok.zip\r\nFilename: ../ok.zip\r\n").IsFilenameSafe());
}

TEST(DescriptionFile, ScanFindsPairsBesideTheirUploads) {
    CTempDir dir;
    const auto put = [&](const std::string& name, const std::string& bytes) {
        WriteFile(dir.Path() / name, bytes);
    };
    put("a.zip", "zip");
    put("a.zip.desc", "Filename: a.zip\r\nTitle: Alpha\r\n\r\ntext");
    put("0.zip", "zip");
    put("0.zip.desc", "Filename: 0.zip\r\n");
    put("orphan.zip.desc", "Filename: orphan.zip\r\n"); // its upload is missing
    std::filesystem::create_directory(dir.Path() / "folder.zip");
    put("folder.zip.desc", "Filename: folder.zip\r\n"); // a directory is not an upload
    put("d.zip", "zip");
    std::filesystem::create_directory(dir.Path() / "d.zip.desc"); // cannot be read
    put("fifo.zip", "zip");
    ASSERT_EQ(::mkfifo((dir / "fifo.zip.desc").c_str(), 0600), 0); // must not block the scan
    put("evil.zip", "zip");
    put("evil.zip.desc", "Filename: ../../etc/cron.d/evil\r\n");
    put("upper.zip", "zip");
    put("upper.zip.DESC", "Filename: upper.zip\r\n");
    put(".desc", "Filename: x\r\n");
    put("notes.txt", "Filename: notes.txt\r\n");

    for (const auto& given : {dir.Path().string(), dir.Path().string() + "/"}) {
        const auto pairs = ScanDescriptionFiles(given);
        ASSERT_EQ(pairs.size(), 3u) << given;
        EXPECT_EQ(pairs[0].strDescriptionPath, dir / "0.zip.desc");
        EXPECT_EQ(pairs[0].strUploadedPath, dir / "0.zip");
        EXPECT_EQ(pairs[1].strDescriptionPath, dir / "a.zip.desc");
        EXPECT_EQ(pairs[1].strUploadedPath, dir / "a.zip");
        EXPECT_EQ(pairs[1].description.strTitle, "Alpha");
        EXPECT_EQ(pairs[1].description.strLongDesc, "text\r\n");
        EXPECT_TRUE(pairs[1].description.IsFilenameSafe());
        EXPECT_EQ(pairs[2].strUploadedPath, dir / "evil.zip");
        EXPECT_EQ(pairs[2].description.strFilename, "../../etc/cron.d/evil");
        EXPECT_FALSE(pairs[2].description.IsFilenameSafe());
    }
    EXPECT_TRUE(ScanDescriptionFiles(dir / "missing").empty());
}
