// The liftwell program: its command line and refusals as a separate process, and what it does
// with a link, run in this process (offscreen) with the wizard driven through its widgets,
// sending to the FTP server of the test peers.

#include "ComTestSupport.h"
#include "DescriptionFile.h"
#include "FtpTestSupport.h"
#include "UploadLaunch.h"
#include "UploadLink.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

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

QApplication& Application() {
    static int argc = 1;
    static char name[] = "liftwell_program_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *application;
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

// Drives the wizard the control shows, from the event loop it runs, as a visitor would.
class CVisitor {
public:
    std::string file;
    std::string typedPassword;
    bool done = false;

    void Start() { QTimer::singleShot(50, [this] { Step(); }); }

private:
    QWidget* Wizard() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == "uploadWizard" && widget->isVisible()) {
                return widget;
            }
        }
        return nullptr;
    }
    void Click(QWidget* wizard, const char* name) {
        if (auto* button = wizard->findChild<QPushButton*>(name)) {
            button->click();
        }
    }
    void Type(QWidget* wizard, const char* name, const std::string& text) {
        if (auto* edit = wizard->findChild<QLineEdit*>(name)) {
            edit->setText(QString::fromStdString(text));
        }
    }
    void Step() {
        QWidget* wizard = Wizard();
        if (!wizard) {
            QTimer::singleShot(50, [this] { Step(); });
            return;
        }
        if (m_step == 0) {
            Click(wizard, "nextButton");
            Type(wizard, "fileEdit", file);
            Click(wizard, "nextButton");
            Type(wizard, "emailEdit", "visitor@example.org");
            Type(wizard, "titleEdit", "Linked upload");
            Click(wizard, "nextButton");
            Type(wizard, "briefEdit", "Sent from the site's link");
            Click(wizard, "nextButton");
            Type(wizard, "passwordEdit", typedPassword);
            Click(wizard, "nextButton");
            m_step = 1;
        }
        auto* finish = wizard->findChild<QPushButton*>("finishButton");
        if (finish && finish->isEnabled()) {
            done = true;
            finish->click();
            return;
        }
        QTimer::singleShot(50, [this] { Step(); });
    }

    int m_step = 0;
};

TEST(LiftwellProgram, LinkOpensTheWizardAndThePairLandsInTheArea) {
    CFtpPeer peer;
    SKIP_WITHOUT_FTP_PEER(peer);
    Application();
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
    CVisitor visitor;
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
