// The whole road of an upload from the site: the generator writes the upload page with its
// dorvale-upload: link, the link opens the wizard (the real control, offscreen, driven through
// its widgets), the pair lands in the uploadable area's directory through the FTP peer, and
// the administrator's `dorvale uploads` lists it and posts it.

#include "ComTestSupport.h"
#include "FileAreaStore.h"
#include "FtpTestSupport.h"
#include "GroupFiles.h"
#include "Settings.h"
#include "SiteFixture.h"
#include "UploadLaunch.h"
#include "VisitorTestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using ftptest::CFtpDirectory;
using ftptest::CFtpPeer;
using testsupport::ReadFile;

namespace {

// The link of the page's wizard button, as a browser hands it on (the attribute unescaped).
std::string WizardLink(const std::string& page) {
    std::smatch found;
    if (!std::regex_search(page, found, std::regex("href=\"(dorvale-upload:[^\"]*)\""))) {
        return {};
    }
    std::string link = found[1];
    for (std::size_t at; (at = link.find("&amp;")) != std::string::npos;) {
        link.replace(at, 5, "&");
    }
    return link;
}

TEST(LiftwellSite, UploadPageLinkSendsAPairThatTheAdministratorPosts) {
    CFtpPeer peer;
    SKIP_WITHOUT_FTP_PEER(peer);
    visitortest::Application();
    runtest::CSite site(testsupport::EEngine::SQLite);
    if (!site.IsAvailable()) {
        GTEST_SKIP() << site.why;
    }
    ASSERT_EQ(comtest::CallRegistrationEntry(LIFTWELL_LIBRARY), S_OK);

    // One area takes uploads through the FTP server; another only serves downloads.
    CFtpDirectory incoming(peer, "site");
    {
        CFileAreaStore store;
        ASSERT_TRUE(store.OpenForWriting((site.Dir() / "db").string()));
        AreaRecord uploads;
        uploads.Name = "Incoming & new";
        uploads.Path = incoming.Path().string();
        uploads.FtpAlias = "/" + incoming.Relative();
        uploads.Flags = AREA_UPLOADABLE | AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY;
        ASSERT_TRUE(store.AddArea(uploads));
        AreaRecord downloads;
        downloads.Name = "Archive";
        downloads.Path = (site.Dir() / "archive").string();
        downloads.FtpAlias = "/archive";
        downloads.Flags = AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY;
        ASSERT_TRUE(store.AddArea(downloads));
    }
    ASSERT_TRUE(WriteGroup((site.Dir() / "db").string(), "Main", {1, 2}));
    const char* key = settings::SettingsKey;
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::FtpServer,
                      ("ftp://" + peer.address + "/").c_str());
    WriteRegistryNumber(HKEY_LOCAL_MACHINE, key, settings::AllowUploads, 2);
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(DORVALE_SOURCE_DIR) + "/templates")) {
        if (entry.path().extension() == ".tmpl") {
            std::filesystem::copy_file(entry.path(),
                                       site.InstallPath() / "templates" / entry.path().filename(),
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
    auto dorvale = [&](std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::BuiltProgram("dorvale"));
        return testsupport::RunProgram(args, site.ChildEnvironment());
    };

    const auto generated = dorvale({"generate"});
    ASSERT_EQ(generated.exitCode, 0) << generated.err << site.Log();
    const std::string page = ReadFile(site.SitePath() / "upload.asp");
    EXPECT_NE(page.find("Incoming &amp; new"), std::string::npos);
    EXPECT_EQ(page.find("Archive"), std::string::npos);
    const std::string link = WizardLink(page);
    ASSERT_FALSE(link.empty()) << page;

    // The visitor follows the link: anonymous FTP, the area chosen in the wizard.
    testsupport::CTempDir local;
    const std::string file = local / "report.pdf";
    const std::string content(12345, 'p');
    testsupport::WriteFile(file, content);
    visitortest::CVisitor visitor;
    visitor.file = file;
    visitor.Start();
    liftwell::CLaunchOptions options;
    options.link = link;
    liftwell::CLaunch launch;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(liftwell::PrepareLaunch(options, launch, warnings, error)) << error;
    EXPECT_TRUE(warnings.empty());
    LONG outcome = LIFTWELL_NOT_RUN;
    ASSERT_TRUE(liftwell::RunUploadControl(launch, outcome, error)) << error;
    ASSERT_EQ(outcome, LIFTWELL_SENT);
    EXPECT_EQ(ReadFile(incoming.Path() / "report.pdf"), content);
    EXPECT_TRUE(std::filesystem::exists(incoming.Path() / "report.pdf.desc"));

    const auto listed = dorvale({"uploads"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_NE(listed.out.find("report.pdf"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("Linked upload"), std::string::npos) << listed.out;
    const auto posted = dorvale({"uploads", "post", "report.pdf"});
    ASSERT_EQ(posted.exitCode, 0) << posted.err;
    EXPECT_EQ(posted.out, "Posted report.pdf as file 1: Linked upload\n");
    EXPECT_FALSE(std::filesystem::exists(incoming.Path() / "report.pdf.desc"));
    EXPECT_EQ(dorvale({"uploads"}).out, "No new files found to process.\n");
}

} // namespace
