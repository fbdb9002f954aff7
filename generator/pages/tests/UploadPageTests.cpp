// The upload page: what a template sees for each setting of AllowUploads, and the link.

#include "UploadLink.h"
#include "UploadPage.h"

#include <gtest/gtest.h>

namespace {

std::string Render(CTemplate& page, const std::string& source) {
    EXPECT_TRUE(page.CompileText(source));
    std::string out;
    page.Render(out);
    return out;
}

TEST(UploadPage, AreasAndTheLinkForTheWizard) {
    CUploadPage page;
    page.SetUploads(2, "ftp://ftp.example.com/",
                    {{3, "Games & <Fun>", "/pub/games"}, {5, "Web only", ""}, {9, "Tools", "tools"}});
    EXPECT_EQ(Render(page, "@loop@[@areaid@|@area@|@ftpalias@]@endloop@"),
              "[3|Games &amp; &lt;Fun&gt;|/pub/games][5|Web only|][9|Tools|tools]");
    EXPECT_EQ(Render(page, "@uploadareas@ @ftpareas@ @allowuploads@ @ftpserver@"),
              "3 2 2 ftp://ftp.example.com/");
    // The link, unescaped as a browser reads the attribute, carries the areas the wizard can
    // send to, each with its directory below the FTP login directory.
    std::string link = Render(page, "@uploadlink@");
    EXPECT_EQ(link.find('<'), std::string::npos);
    for (std::size_t at; (at = link.find("&amp;")) != std::string::npos;) {
        link.replace(at, 5, "&");
    }
    CUploadLinkParameters parameters;
    std::string error;
    ASSERT_TRUE(ParseUploadLink(link, parameters, error)) << error;
    EXPECT_EQ(parameters, (CUploadLinkParameters{{"FTP Address", "ftp://ftp.example.com/"},
                                                 {"File Areas",
                                                  "Games & <Fun>\rpub/games\rTools\rtools\r"}}));
}

TEST(UploadPage, ConditionsFollowAllowUploads) {
    const std::string source =
        "@if controluploads@wizard@endif@@if httpuploads@ form@endif@@if ftpareas=\"0\"@ none@endif@";
    const char* expected[] = {"", " form", "wizard", "wizard form"};
    for (long long allow = 0; allow < 4; ++allow) {
        CUploadPage page;
        page.SetUploads(allow, "ftp.example.com", {{1, "Files", "/files"}});
        EXPECT_EQ(Render(page, source), expected[allow]) << allow;
    }
    CUploadPage none;
    none.SetUploads(3, "ftp.example.com", {});
    EXPECT_EQ(Render(none, source), "wizard form none");
    EXPECT_EQ(UploadDirectoryOfAlias("//a/b/"), "a/b/");
}

} // namespace
