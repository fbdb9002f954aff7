// The control's logic without a window: the area list's text form, the property limits, the
// wizard's checks, the names on the server and the description that goes with an upload.

#include "DescriptionFile.h"
#include "TestSupport.h"
#include "UploadProperties.h"
#include "UploadTransfer.h"
#include "UploadWizardData.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace liftwell;

namespace {

TEST(UploadAreas, TextFormKeepsOnlyWholePairsAndRoundTrips) {
    CUploadAreaList areas;
    areas.Parse("Files\rincoming\rTools\r\r");
    ASSERT_EQ(areas.Items().size(), 1u);
    EXPECT_EQ(areas.Items()[0].name, "Files");
    EXPECT_EQ(areas.Items()[0].path, "incoming");

    // The last field may end with the text instead of a carriage return; a pair without a
    // name is dropped as well; a line feed is an ordinary character.
    areas.Parse("A\ra/\r\rorphan\rB\rb\\sub\nx");
    ASSERT_EQ(areas.Items().size(), 2u);
    EXPECT_EQ(areas.Items()[1].name, "B");
    EXPECT_EQ(areas.Items()[1].path, "b\\sub\nx");
    EXPECT_EQ(areas.Format(), "A\ra/\rB\rb\\sub\nx\r");

    // Put empties the list first; AddFileArea appends whatever it is given.
    areas.Parse("");
    EXPECT_TRUE(areas.Empty());
    areas.Add("Games", "games");
    areas.Add(std::string(300, 'n'), "p");
    EXPECT_EQ(areas.Items()[1].name.size(), 300u);
    EXPECT_EQ(areas.Format(), "Games\rgames\r" + std::string(300, 'n') + "\rp\r");

    // Through the text form each field is cut to 259 bytes, never inside a character.
    areas.Parse(std::string(258, 'x') + "\xC3\xA9" + "tail\rpath\r");
    ASSERT_EQ(areas.Items().size(), 1u);
    EXPECT_EQ(areas.Items()[0].name, std::string(258, 'x'));

    EXPECT_EQ(areas.Find("B"), nullptr);
    ASSERT_NE(areas.Find(std::string(258, 'x')), nullptr);
}

TEST(UploadAreas, PropertiesAreCutToTheirLimits) {
    CUploadProperties properties;
    properties.SetUserPassword(std::string(40, 'p'));
    EXPECT_EQ(properties.UserPassword(), std::string(31, 'p'));
    properties.SetUsername(std::string(62, 'u') + "\xE2\x82\xAC");
    EXPECT_EQ(properties.Username(), std::string(62, 'u'));
    properties.SetFtpAddress(std::string(300, 'a'));
    EXPECT_EQ(properties.FtpAddress().size(), FTP_ADDRESS_LIMIT);
}

TEST(UploadNames, RemoteNameIsTheAreaPathAndTheBareFileName) {
    std::string name;
    ASSERT_TRUE(BuildRemoteName("incoming", "/home/v/tools.zip", name));
    EXPECT_EQ(name, "incoming/tools.zip");
    std::string withSeparator;
    ASSERT_TRUE(BuildRemoteName("incoming\\", "/home/v/tools.zip", withSeparator));
    EXPECT_EQ(withSeparator, name);
    ASSERT_TRUE(BuildRemoteName("up\\games//new/", "tools.zip", name));
    EXPECT_EQ(name, "up/games/new/tools.zip");
    ASSERT_TRUE(BuildRemoteName("", "/tmp/a b.txt", name));
    EXPECT_EQ(name, "a b.txt");

    // Nothing may leave the login directory.
    for (const char* path : {"/srv/ftp", "\\incoming", "C:\\ftp", "a/../../etc", "..", "a\\..\\b"}) {
        EXPECT_FALSE(BuildRemoteName(path, "/tmp/x.zip", name)) << path;
        EXPECT_EQ(name, "");
    }
    EXPECT_FALSE(BuildRemoteName("in\r\nDELE x", "/tmp/x.zip", name));
    EXPECT_FALSE(BuildRemoteName("in", "/tmp/evil\r\nname", name));
    EXPECT_FALSE(BuildRemoteName("in", "/tmp/", name));
}

TEST(UploadWizardChecks, EachPageSaysWhatIsMissing) {
    testsupport::CTempDir dir;
    const std::string file = dir / "tools.zip";
    testsupport::WriteFile(file, "zip");

    EXPECT_STREQ(CheckFilePage(""), "Must enter a filename.");
    EXPECT_STREQ(CheckFilePage(dir / "missing.zip"), "File does not exist.");
    EXPECT_STREQ(CheckFilePage(dir.Path().string()), "File does not exist.");
    EXPECT_EQ(CheckFilePage(file), nullptr);
    const std::string broken = dir / "two\nlines";
    testsupport::WriteFile(broken, "x");
    EXPECT_STREQ(CheckFilePage(broken), MESSAGE_BAD_FILENAME);

    CUploadWizardData data;
    data.title = "Tools";
    EXPECT_STREQ(CheckDetailsPage(data), "You must fill in the email address.");
    data.email = "v@example.org";
    data.title.clear();
    EXPECT_STREQ(CheckDetailsPage(data), "You must fill in the title.");
    data.title = "Tools";
    EXPECT_EQ(CheckDetailsPage(data), nullptr);
    EXPECT_STREQ(CheckDescriptionPage(data), "You must fill in the brief description.");
    data.briefDescription = "b";
    EXPECT_EQ(CheckDescriptionPage(data), nullptr);
}

TEST(UploadWizardChecks, DetailedDescriptionHasCrLfBreaksAndItsLimit) {
    EXPECT_EQ(WithCrLf("a\nb\r\nc\rd\n"), "a\r\nb\r\nc\r\nd\r\n");
    const std::string text = LimitDetailedDescription(std::string(2000, 'x'));
    EXPECT_EQ(text.size(), DETAILED_DESCRIPTION_LIMIT);
    // A line break counts once, however it is written.
    EXPECT_EQ(LimitDetailedDescription(std::string(1184, 'y') + "\r\nzz"),
              std::string(1184, 'y') + "\r\n");
    // Never half a character.
    EXPECT_EQ(LimitDetailedDescription(std::string(1184, 'e') + "\xC3\xA9"), std::string(1184, 'e'));
    // 15 full lines of 78 characters fit.
    std::string lines;
    for (int i = 0; i < 15; ++i) {
        lines += std::string(78, 'l') + (i < 14 ? "\n" : "");
    }
    EXPECT_EQ(LimitDetailedDescription(lines), WithCrLf(lines));
}

TEST(UploadDescription, ChosenAreaGivesTheEightHeaderLinesAndTheText) {
    CUploadProperties properties;
    properties.Areas().Parse("Files\rincoming\rGames\rup/games\r");
    CUploadWizardData data;
    data.localFile = "/home/v/dl/tools.zip";
    data.areaName = "Games";
    data.email = "v@example.org";
    data.title = "Tools";
    data.version = "2.1";
    data.company = "";
    data.collectContactInformation = true;
    data.briefDescription = "Handy tools";
    data.detailedDescription = "Line one\r\nLine two";

    CUploadJob job = PrepareUploadJob(properties, data, "typed");
    EXPECT_EQ(job.areaPath, "up/games");
    EXPECT_EQ(job.account.password, "typed");
    ASSERT_FALSE(job.descriptionFile.empty());
    EXPECT_EQ(std::filesystem::path(job.descriptionFile).filename().string().substr(0, 3), "des");
    EXPECT_EQ(testsupport::ReadFile(job.descriptionFile),
              "Filename: tools.zip\r\nArea: Games\r\nTitle: Tools\r\nVersion: 2.1\r\n"
              "ShortDesc: Handy tools\r\nCompany: \r\nEmail: v@example.org\r\nReqForm: Yes\r\n"
              "\r\nLine one\r\nLine two");
    {
        // Dropping the transfer deletes the temporary description, sent or not.
        CUploadTransfer transfer(job);
    }
    EXPECT_FALSE(std::filesystem::exists(job.descriptionFile));

    // An area that is not in the list: the file alone, to the login directory.
    data.areaName = "Elsewhere";
    properties.SetUserPassword("stored");
    job = PrepareUploadJob(properties, data, "typed");
    EXPECT_EQ(job.account.password, "stored");
    EXPECT_TRUE(job.descriptionFile.empty());
    EXPECT_FALSE(job.descriptionFailed);
    EXPECT_EQ(job.areaPath, "");
}

TEST(UploadTransferProgress, SmallFilesShowNothingUntilTheEnd) {
    EXPECT_EQ(TransferPercent(0, 50), 0);
    EXPECT_EQ(TransferPercent(49, 50), 0);
    EXPECT_EQ(TransferPercent(50, 50), 0);
    EXPECT_EQ(TransferPercent(50, 99), 0);
    EXPECT_EQ(TransferPercent(1, 100), 1);
    EXPECT_EQ(TransferPercent(4096, 10000), 40);
    EXPECT_EQ(TransferPercent(10099, 10000), 100);
    EXPECT_EQ(TransferPercent(1ull << 40, (1ull << 40) + 5), 100);
}

TEST(FtpAddress, HostAndPort) {
    std::string host;
    int port = 0;
    ASSERT_TRUE(ParseFtpAddress("ftp.example.org", host, port));
    EXPECT_EQ(host, "ftp.example.org");
    EXPECT_EQ(port, 21);
    ASSERT_TRUE(ParseFtpAddress("127.0.0.1:2121", host, port));
    EXPECT_EQ(port, 2121);
    ASSERT_TRUE(ParseFtpAddress("[::1]:990", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 990);
    ASSERT_TRUE(ParseFtpAddress("FTP://ftp.example.com:2121/", host, port));
    EXPECT_EQ(host, "ftp.example.com");
    EXPECT_EQ(port, 2121);
    for (const char* bad : {"", ":21", "host:", "host:0", "host:65536", "host:2x", "ftp://",
                            "ftp://host/pub", "http://host", "user@host", "a b", "[::1", "[x]:21",
                            "host/x"}) {
        EXPECT_FALSE(ParseFtpAddress(bad, host, port)) << bad;
    }
}

} // namespace
