// The core's decisions that need no catalogue: submissions, checks, the search statement,
// titles, review files and the window layout.

#include "AddFile.h"
#include "AddFiles.h"
#include "FileList.h"
#include "Reviews.h"
#include "WindowLayout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;

TEST(Submission, IsRecognisedAndReadAsTheWizardReadsIt) {
    CSubmission s;
    // Without SiteName1= it is not a submission.
    EXPECT_FALSE(ParseSubmission("Title=A\nSiteUrl1=http://a/\n", s));
    const std::string longLine(5000, 'x');
    const std::string text = "title=ignored case for recognition\r\n"
                             "Title=First\r"
                             "Title=Best Tool\n"
                             "a line without an equals sign\r\n"
                             "Date=12/31/49\r\n"
                             "Size=1,234 KB\r\n"
                             "ReqForm=yes\r\n"
                             "Company=Acme = Sons\r\n"
                             "Email=dev@example.org\r\n"
                             "Version=2.1\r\n"
                             "ShortDescription=" +
                             longLine +
                             "\r\n"
                             "SiteName1=Main\r\n"
                             "SiteUrl1=http://example.org/a.zip\r\n"
                             "SiteUrl3=http://example.org/c.zip\r\n"
                             "\r\n"
                             "Detailed text\r\nwith Title=not a pair\r\n";
    ASSERT_TRUE(ParseSubmission(text, s));
    EXPECT_EQ(s.Get("Title"), "Best Tool"); // a later pair replaces the earlier
    EXPECT_EQ(s.Get("Company"), "Acme = Sons");
    EXPECT_EQ(s.Get("ShortDescription"), longLine);
    EXPECT_EQ(s.detailed, "Detailed text\r\nwith Title=not a pair\r\n");
    EXPECT_EQ(s.GetSize(), 1234);
    EXPECT_TRUE(s.GetReqForm());
    EXPECT_THAT(s.GetSiteUrls(), ElementsAre("http://example.org/a.zip")); // no SiteUrl2
    CDateTime date;
    ASSERT_TRUE(s.GetDate(date));
    EXPECT_EQ(date, CDateTime(2049, 12, 31));
    s.pairs["Date"] = "01/01/50";
    ASSERT_TRUE(s.GetDate(date));
    EXPECT_EQ(date, CDateTime(1950, 1, 1));
    s.pairs["Date"] = "13/40/01";
    EXPECT_FALSE(s.GetDate(date));
    for (const char* no : {"No", "0", "true", ""}) {
        s.pairs["ReqForm"] = no;
        EXPECT_FALSE(s.GetReqForm()) << no;
    }
    s.pairs["ReqForm"] = "1";
    EXPECT_TRUE(s.GetReqForm());
}

TEST(Checks, EmailAndDownloadAddresses) {
    EXPECT_EQ(CheckEmailAddress(""), EEmailCheck::Ok);
    EXPECT_EQ(CheckEmailAddress("dev@example.org"), EEmailCheck::Ok);
    EXPECT_EQ(CheckEmailAddress("dev.example.org"), EEmailCheck::NoAt);
    for (const char* bad :
         {"a b@x", "a!@x", "<a@x>", "a,b@x", "a;b@x", "a:b@x", "a\\b@x", "a[b]@x", "(a)@x"}) {
        EXPECT_EQ(CheckEmailAddress(bad), EEmailCheck::IllegalCharacters) << bad;
    }
    for (const char* good : {"http://example.org", "HTTPS://example.org/a b.zip",
                             "ftp://user:pw@ftp.example.org:21/pub/x.zip", "http://[::1]:8080/"}) {
        EXPECT_TRUE(IsValidDownloadUrl(good)) << good;
    }
    for (const char* bad : {"", "example.org/x.zip", "file:///etc/passwd", "http://", "http:///x",
                            "gopher://example.org/", "http://user@/x", "local://1/x.zip"}) {
        EXPECT_FALSE(IsValidDownloadUrl(bad)) << bad;
    }
}

TEST(SearchStatement, MatchesTheTextLiterallyOnEveryProduct) {
    EXPECT_EQ(BuildSearchStatement("", SEARCH_ALL, DBTYPE_SQLITE), "");
    EXPECT_EQ(BuildSearchStatement("x", 0, DBTYPE_SQLITE), "");
    EXPECT_EQ(BuildSearchStatement("it's 100%_off!", SEARCH_TITLE | SEARCH_AUTHOR, DBTYPE_SQLITE),
              "select distinct files.* from files where lower(files.title) like lower('%it''s "
              "100!%!_off!!%') escape '!' or lower(files.upld_name) like lower('%it''s "
              "100!%!_off!!%') escape '!' order by files.TITLE");
    EXPECT_EQ(BuildSearchStatement("a'b", SEARCH_URL, DBTYPE_POSTGRESQL, "files.file_id"),
              "select distinct files.file_id from files inner join download on files.file_id = "
              "download.file_id where download.url ilike '%a''b%' escape '!' order by files.TITLE");
    EXPECT_EQ(BuildSearchStatement("5%", SEARCH_SHORT_DESC, DBTYPE_ACCESS),
              "select distinctrow files.* from files where files.short_desc like '%5[%]%' order "
              "by files.TITLE");
}

TEST(AddFilesTitles, FollowTheFileName) {
    EXPECT_EQ(TitleFromFileName("README.TXT"), "Readme");
    EXPECT_EQ(TitleFromFileName("ReadMe.txt"), "ReadMe");
    EXPECT_EQ(TitleFromFileName("archive.tar.gz"), "archive.tar");
    EXPECT_EQ(TitleFromFileName("NOEXT"), "Noext");
    EXPECT_EQ(TitleFromFileName("Makefile"), "Makefile");
    EXPECT_EQ(TitleFromFileName("A-VERY-LONG-FILE-NAME-OF-MANY-WORDS.ZIP"),
              "A-very-long-file-name-of-many-");
    // A cut never splits a character.
    EXPECT_EQ(TitleFromFileName(std::string(29, 'a') + "\xc3\xa9.zip"), std::string(29, 'a'));
}

TEST(ReviewFiles, ReadAndWrittenByteForByte) {
    ReviewEntry ann{"Ann", "ann@example.org", false, "May 1, 2024", "Great.\r\nSecond line."};
    ReviewEntry bob{"Bob", "bob@example.org", true, "today", "Fine\nwith LF and\r\nCR LF"};
    EXPECT_EQ(FormatReview(ann),
              "Ann\r\nann@example.org\r\nfalse\r\nMay 1, 2024\r\nGreat.\r\nSecond line.\r\n\t\r\n");
    EXPECT_EQ(FormatReview(bob),
              "Bob\r\nbob@example.org\r\ntrue\r\ntoday\r\nFine\r\nwith LF and\r\nCR LF\r\n\t\r\n");
    SubmissionEntry sub;
    static_cast<ReviewEntry&>(sub) = ann;
    sub.fileId = 42;
    sub.fileName = "tool.zip";
    EXPECT_EQ(FormatSubmission(sub), "42\r\ntool.zip\r\n" + FormatReview(ann));

    // A flag in capitals reads as true; a text line starting with TAB ends the record there and
    // the rest starts the next; an unfinished record is dropped; LF alone ends lines too.
    const std::string long300(300, 'n');
    const std::string file = long300 + "\r\nx@y\r\nTRUE\r\nd\r\nline one\r\n\tcut here\r\n"
                                       "Cy\nc@y\nfalse\nd2\nt\n\t\n"
                                       "Unfinished\r\nu@y\r\nfalse\r\n";
    const auto reviews = ParseReviews(file);
    ASSERT_EQ(reviews.size(), 2u);
    EXPECT_EQ(reviews[0].name, long300); // a long line stays one field
    EXPECT_TRUE(reviews[0].anonymous);
    EXPECT_EQ(reviews[0].text, "line one");
    EXPECT_EQ(reviews[1].name, "Cy");
    EXPECT_EQ(reviews[1].text, "t");
    EXPECT_EQ(FormatReview(reviews[0]).substr(long300.size(), 11), "\r\nx@y\r\ntrue");

    const auto subs = ParseSubmissions(FormatSubmission(sub) + "7\r\nx\r\n");
    ASSERT_EQ(subs.size(), 1u);
    EXPECT_EQ(subs[0].fileId, 42);
    EXPECT_EQ(subs[0].fileName, "tool.zip");
    EXPECT_EQ(subs[0].text, "Great.\r\nSecond line.");
    EXPECT_TRUE(ParseReviews("").empty());

    // A field never carries a line break into the file.
    ReviewEntry sneaky{"Eve\r\nforged", "e@x", false, "d", "t"};
    EXPECT_EQ(ParseReviews(FormatReview(sneaky)).front().name, "Eve  forged");
    // Nor a line starting with TAB, which would end the record early when read back.
    ReviewEntry tabbed{"\tTab", "t@x", false, "d", "\tindented\r\n\tagain\nand\tinner"};
    const auto back = ParseReviews(FormatReview(tabbed) + FormatReview(ann));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].name, " Tab");
    EXPECT_EQ(back[0].text, " indented\r\n again\r\nand\tinner");
    EXPECT_EQ(back[1].name, "Ann");
}

TEST(WindowLayout, PositionTextRoundTrips) {
    CWindowPosition position;
    EXPECT_FALSE(ParseWindowPosition("", position));
    ASSERT_TRUE(ParseWindowPosition("0010 0020 0810 0620 0000 0001 ", position));
    EXPECT_EQ(position.left, 10);
    EXPECT_EQ(position.bottom, 620);
    EXPECT_TRUE(position.maximized);
    EXPECT_FALSE(position.hasBars); // exactly 30 characters: the bars stay as they are
    ASSERT_TRUE(ParseWindowPosition("0010 0020 0810 0620 0001 0000 0000 0001", position));
    EXPECT_TRUE(position.hasBars);
    EXPECT_FALSE(position.toolbar);
    EXPECT_TRUE(position.statusBar);
    EXPECT_EQ(FormatWindowPosition(position), "0010 0020 0810 0620 0001 0000 0000 0001");
    // A window on a screen far to the left keeps every field at its offset.
    position.left = -1920;
    position.right = -1000;
    const std::string far = FormatWindowPosition(position);
    EXPECT_EQ(far, "-999 0020 -999 0620 0001 0000 0000 0001");
    ASSERT_TRUE(ParseWindowPosition(far, position));
    EXPECT_EQ(position.top, 20);
    EXPECT_EQ(position.bottom, 620);
    EXPECT_TRUE(position.minimized);
    EXPECT_TRUE(position.statusBar);
    EXPECT_EQ(TreePaneWidth(0, false, 800), 200);
    EXPECT_EQ(TreePaneWidth(20, true, 800), 50);
}
