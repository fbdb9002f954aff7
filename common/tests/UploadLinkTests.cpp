// The link that opens the upload wizard: what the site writes and what the wizard reads back.

#include "UploadLink.h"

#include <gtest/gtest.h>

namespace {

TEST(UploadLink, BuiltLinkReadsBackWithEveryByte) {
    const std::string areas = "Files & more\rin coming/\rJeux \xC3\xA9t\xC3\xA9\rup\\jeux\r";
    const std::string link = BuildUploadLink("ftp.example.org:2121", areas, "uploader");
    EXPECT_EQ(link, "dorvale-upload:?FTP%20Address=ftp.example.org%3A2121&User%20Name=uploader"
                    "&File%20Areas=Files%20%26%20more%0Din%20coming%2F%0DJeux%20%C3%A9t%C3%A9%0D"
                    "up%5Cjeux%0D");
    // Nothing in it needs escaping in an HTML attribute.
    EXPECT_EQ(link.find_first_of("\"'<>& "), link.find("&User"));
    CUploadLinkParameters parameters;
    std::string error;
    ASSERT_TRUE(ParseUploadLink(link, parameters, error)) << error;
    EXPECT_EQ(parameters, (CUploadLinkParameters{{"FTP Address", "ftp.example.org:2121"},
                                                 {"User Name", "uploader"},
                                                 {"File Areas", areas}}));
    EXPECT_EQ(BuildUploadLink("h", ""), "dorvale-upload:?FTP%20Address=h&File%20Areas=");
}

TEST(UploadLink, ReaderAcceptsWhatBrowsersHandOnAndRefusesTheRest) {
    CUploadLinkParameters parameters;
    std::string error;
    ASSERT_TRUE(ParseUploadLink("Dorvale-Upload://?a=1&&b=%41+#frag", parameters, error));
    EXPECT_EQ(parameters, (CUploadLinkParameters{{"a", "1"}, {"b", "A+"}}));
    ASSERT_TRUE(ParseUploadLink("dorvale-upload:", parameters, error));
    EXPECT_TRUE(parameters.empty());

    for (const char* bad : {"http://x/?a=1", "dorvale-uploads:?a=1", "dorvale-upload:host?a=1",
                            "dorvale-upload:?a", "dorvale-upload:?a=%4", "dorvale-upload:?a=%G1",
                            "dorvale-upload:?a=%00", "no scheme"}) {
        error.clear();
        EXPECT_FALSE(ParseUploadLink(bad, parameters, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_FALSE(ParseUploadLink(std::string_view("dorvale-upload:?a=x\0y", 21), parameters, error));
}

} // namespace
