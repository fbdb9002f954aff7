// The liftwell program: its command line and refusals as a separate process, and what it does
// with a link, run in this process (offscreen) with the wizard driven through its widgets,
// sending to the FTP server of the test peers.

#include "ComTestSupport.h"
#include "DescriptionFile.h"
#include "FtpTestSupport.h"
#include "UploadLaunch.h"
#include "UploadLink.h"
#include "VisitorTestSupport.h"

#include <gtest/gtest.h>


using comtest::CallRegistrationEntry;
using comtest::CComTestEnvironment;
using ftptest::CFtpDirectory;
using ftptest::CFtpPeer;
using testsupport::RunProgram;

namespace {

const std::string LIBRARY = LIFTWELL_LIBRARY;

std::string Liftwell() {
    return testsupport::BuiltProgram("liftwell");
}

TEST(LiftwellProgram, HelpUsageAndRefusals) {
    CComTestEnvironment env;
    const auto help = RunProgram({Liftwell(), "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("usage: liftwell [OPTIONS] [dorvale-upload:LINK]"), std::string::npos);
    EXPECT_NE(help.out.find("--password-file FILE"), std::string::npos);

    const auto nothing = RunProgram({Liftwell()});
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_EQ(nothing.err, "liftwell: a dorvale-upload: link or --ftp-address is needed\n"
                           "Try 'liftwell --help'.\n");
    EXPECT_EQ(RunProgram({Liftwell(), "--ftp-address", "h", "--area", "nameonly"}).exitCode, 2);
    EXPECT_EQ(RunProgram({Liftwell(), "dorvale-upload:?a=1", "second"}).exitCode, 2);

    // Without any display it says so before trying to open a window.
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=",
                                                env.RegistryEnv()};
    const auto headless = RunProgram({Liftwell(), "--ftp-address", "h"}, noDisplay);
    EXPECT_EQ(headless.exitCode, 1);
    EXPECT_EQ(headless.err.rfind("liftwell: no display to show the upload wizard on", 0), 0u)
        << headless.err;

    // With a display but no registered control, or a link it cannot read.
    const std::vector<std::string> offscreen = {"QT_QPA_PLATFORM=offscreen", env.RegistryEnv()};
    const auto unregistered = RunProgram({Liftwell(), "--ftp-address", "h"}, offscreen);
    EXPECT_EQ(unregistered.exitCode, 1);
    EXPECT_NE(unregistered.err.find("cannot create the upload control HalvrenSoftware.WebUpload"),
              std::string::npos)
        << unregistered.err;
    const auto badLink = RunProgram({Liftwell(), "dorvale-upload:?a=%zz"}, offscreen);
    EXPECT_EQ(badLink.exitCode, 1);
    EXPECT_EQ(badLink.err,
              "liftwell: cannot read the link: a '%' not followed by two hexadecimal digits\n");
    const auto noPassword =
        RunProgram({Liftwell(), "--ftp-address", "h", "--password-file", "/nonexistent/x"}, offscreen);
    EXPECT_EQ(noPassword.exitCode, 1);
    EXPECT_EQ(noPassword.err, "liftwell: cannot read the password file /nonexistent/x\n");
}

TEST(LiftwellProgram, LinkOpensTheWizardAndThePairLandsInTheArea) {
    CFtpPeer peer;
    SKIP_WITHOUT_FTP_PEER(peer);
    visitortest::Application();
    CComTestEnvironment env;
    ASSERT_EQ(CallRegistrationEntry(LIBRARY), S_OK);
    CFtpDirectory area(peer, "linked");
    testsupport::CTempDir local;
    const std::string file = local / "report.pdf";
    testsupport::WriteFile(file, std::string(5000, 'r'));

    // The link names the account but carries no password: the wizard asks for it. A password
    // slipped into a link is not used.
    liftwell::CLaunchOptions options;
    options.link = BuildUploadLink(peer.address, "Reports\r" + area.Relative() + "\r", peer.user) +
                   "&User%20Password=" + PercentEncode(peer.password + "x");
    visitortest::CVisitor visitor;
    visitor.file = file;
    visitor.typedPassword = peer.password;
    visitor.Start();
    liftwell::CLaunch launch;
    std::vector<std::string> warnings;
    std::string error;
    ASSERT_TRUE(liftwell::PrepareLaunch(options, launch, warnings, error)) << error;
    LONG outcome = LIFTWELL_NOT_RUN;
    ASSERT_TRUE(liftwell::RunUploadControl(launch, outcome, error)) << error;
    EXPECT_TRUE(visitor.done);
    EXPECT_EQ(outcome, LIFTWELL_SENT);
    EXPECT_EQ(warnings, std::vector<std::string>{"the link holds a password; it is ignored"});

    EXPECT_EQ(testsupport::ReadFile(area.Path() / "report.pdf"), std::string(5000, 'r'));
    const std::vector<CDescriptionPair> pairs = ScanDescriptionFiles(area.Path().string());
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_EQ(pairs[0].description.strFilename, "report.pdf");
    EXPECT_EQ(pairs[0].description.strTitle, "Linked upload");
    EXPECT_EQ(pairs[0].description.strEmail, "visitor@example.org");
    EXPECT_TRUE(pairs[0].description.IsFilenameSafe());
}

} // namespace
