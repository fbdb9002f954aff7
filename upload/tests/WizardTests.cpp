// The real wizard on the offscreen platform, its prompts answered from a script, sending to
// the FTP server of the test peers. The five pages are saved as screenshots under
// <build>/liftwell-screenshots/.

#include "FtpTestSupport.h"
#include "Prompt.h"
#include "UploadWizard.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>

using namespace liftwell;
using ftptest::CFtpDirectory;
using ftptest::CFtpPeer;

namespace {

QApplication& Application() {
    static int argc = 1;
    static char name[] = "liftwell_wizard_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *application;
}

template <class F> bool ProcessUntil(F condition, int seconds = 30) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// The scripted prompt, which also notes every file chooser opened, with its title and filter.
class CScriptedPrompts final : public prompt::CScriptedPrompt {
public:
    std::vector<std::string> choosers; // "title | filter"

    bool ChooseFile(const prompt::CFileRequest& request, std::string& path) override {
        choosers.push_back(request.title + " | " + request.filter);
        return CScriptedPrompt::ChooseFile(request, path);
    }
};

const std::string CHOOSER = "Select File to Upload | All Files (*.*)|*.*||";

struct CButtons {
    bool back, next, finish, cancel;
    bool operator==(const CButtons&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CButtons& b) {
    return out << "back " << b.back << " next " << b.next << " finish " << b.finish << " cancel "
               << b.cancel;
}

class UploadWizard : public ::testing::Test {
protected:
    void SetUp() override { Application(); }

    template <class T> T* Child(CUploadWizard& wizard, const char* name) {
        T* child = wizard.findChild<T*>(name);
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    CButtons Buttons(CUploadWizard& wizard) {
        return {Child<QPushButton>(wizard, "backButton")->isEnabled(),
                Child<QPushButton>(wizard, "nextButton")->isEnabled(),
                Child<QPushButton>(wizard, "finishButton")->isEnabled(),
                Child<QPushButton>(wizard, "cancelButton")->isEnabled()};
    }
    void Click(CUploadWizard& wizard, const char* button) {
        Child<QPushButton>(wizard, button)->click();
        QApplication::processEvents();
    }
    void Type(CUploadWizard& wizard, const char* edit, const std::string& text) {
        Child<QLineEdit>(wizard, edit)->setText(QString::fromStdString(text));
    }
    void Screenshot(CUploadWizard& wizard, const std::string& name) {
        const std::filesystem::path dir =
            std::filesystem::path(DORVALE_BINARY_DIR) / "liftwell-screenshots";
        std::filesystem::create_directories(dir);
        QApplication::processEvents();
        EXPECT_TRUE(wizard.grab().save(QString::fromStdString((dir / name).string())));
    }
    // Fills in pages 2 to 4 with what passes every check.
    void FillToTransferPage(CUploadWizard& wizard, const std::string& file) {
        Click(wizard, "nextButton");
        Type(wizard, "fileEdit", file);
        Click(wizard, "nextButton");
        Type(wizard, "emailEdit", "v@example.org");
        Type(wizard, "titleEdit", "Title");
        Click(wizard, "nextButton");
        Type(wizard, "briefEdit", "Brief");
        Click(wizard, "nextButton");
        ASSERT_EQ(wizard.CurrentPage(), CUploadWizard::PAGE_TRANSFER);
    }

    CFtpPeer m_peer;
    testsupport::CTempDir m_local;
    CScriptedPrompts m_prompts;
};

TEST_F(UploadWizard, FivePagesCheckWhatIsEnteredAndSendTheFileWithItsDescription) {
    SKIP_WITHOUT_FTP_PEER(m_peer);
    CFtpDirectory incoming(m_peer, "wizard");
    CUploadProperties properties;
    properties.SetFtpAddress(m_peer.address);
    properties.SetUsername(m_peer.user); // no password: the wizard asks for it
    properties.Areas().Parse("Files\r" + incoming.Relative() + "/\rGames\rgames\r");
    const std::string file = m_local / "tools.zip";
    const std::string content(70000, 'z');
    testsupport::WriteFile(file, content);
    const std::string longText = m_local / "long.txt";
    testsupport::WriteFile(longText, "First line\n" + std::string(2000, 'x'));

    CUploadWizard wizard(properties, m_prompts);
    wizard.show();
    EXPECT_EQ(wizard.windowTitle(), "Upload File Wizard");
    EXPECT_EQ(wizard.CurrentPage(), CUploadWizard::PAGE_WELCOME);
    EXPECT_EQ(Buttons(wizard), (CButtons{false, true, false, true}));
    Screenshot(wizard, "1-welcome.png");

    // File and area: the checks in order, then Browse fills in the name.
    Click(wizard, "nextButton");
    EXPECT_EQ(wizard.CurrentPage(), CUploadWizard::PAGE_FILE);
    EXPECT_EQ(Buttons(wizard), (CButtons{true, true, false, true}));
    auto* area = Child<QComboBox>(wizard, "areaCombo");
    ASSERT_EQ(area->count(), 2);
    EXPECT_EQ(area->itemText(0), "Files");
    EXPECT_EQ(area->itemText(1), "Games");
    EXPECT_EQ(area->currentIndex(), 0);
    m_prompts.Expect("Must enter a filename.", "Error")
        .Expect("File does not exist.", "Error")
        .Expect("You must fill in the email address.", "Error")
        .Expect("You must fill in the title.", "Error")
        .Expect("You must fill in the brief description.", "Error");
    Click(wizard, "nextButton");
    Type(wizard, "fileEdit", m_local / "missing.zip");
    Click(wizard, "nextButton");
    EXPECT_EQ(wizard.CurrentPage(), CUploadWizard::PAGE_FILE);
    EXPECT_EQ(m_prompts.Asked().size(), 2u);
    m_prompts.ChooseNext("").ChooseNext(file);
    Click(wizard, "browseButton"); // cancelled: the text stays
    EXPECT_EQ(Child<QLineEdit>(wizard, "fileEdit")->text().toStdString(), m_local / "missing.zip");
    Click(wizard, "browseButton");
    EXPECT_EQ(Child<QLineEdit>(wizard, "fileEdit")->text().toStdString(), file);
    EXPECT_EQ(m_prompts.choosers, (std::vector<std::string>{CHOOSER, CHOOSER}));
    Screenshot(wizard, "2-file-and-area.png");
    Click(wizard, "nextButton");

    // Listing details.
    EXPECT_EQ(wizard.CurrentPage(), CUploadWizard::PAGE_DETAILS);
    Click(wizard, "nextButton");
    Type(wizard, "emailEdit", "v@example.org");
    Click(wizard, "nextButton");
    Type(wizard, "titleEdit", "Handy tools");
    Type(wizard, "versionEdit", "2.1");
    Child<QCheckBox>(wizard, "reqFormCheck")->setChecked(true);
    EXPECT_EQ(Child<QCheckBox>(wizard, "reqFormCheck")->text(),
              "C&ollect contact information on downloads");
    Screenshot(wizard, "3-listing-details.png");
    Click(wizard, "nextButton");
    EXPECT_EQ(m_prompts.Asked().size(), 4u);

    // Descriptions: Import replaces the text, within the limit.
    EXPECT_EQ(wizard.CurrentPage(), CUploadWizard::PAGE_DESCRIPTIONS);
    auto* detailed = Child<QPlainTextEdit>(wizard, "detailedEdit");
    detailed->setPlainText("to be replaced");
    m_prompts.ChooseNext(longText);
    Click(wizard, "importButton");
    const std::string imported = detailed->toPlainText().toStdString();
    EXPECT_EQ(imported.size(), DETAILED_DESCRIPTION_LIMIT);
    EXPECT_TRUE(imported.starts_with("First line\nxxx"));
    detailed->setPlainText("Line one\nLine two");
    Click(wizard, "nextButton");
    Type(wizard, "briefEdit", "A few tools");
    Screenshot(wizard, "4-descriptions.png");
    // Back keeps what was entered.
    Click(wizard, "backButton");
    EXPECT_EQ(wizard.CurrentPage(), CUploadWizard::PAGE_DETAILS);
    EXPECT_EQ(Child<QLineEdit>(wizard, "titleEdit")->text(), "Handy tools");
    Click(wizard, "nextButton");
    Click(wizard, "nextButton");
    EXPECT_EQ(m_prompts.choosers.size(), 3u);
    EXPECT_EQ(m_prompts.Asked().size(), 5u);
    EXPECT_EQ(m_prompts.Asked().back().icon, prompt::EIcon::Error);

    // Transfer: the password typed here, every button but Cancel off while it runs.
    ASSERT_EQ(wizard.CurrentPage(), CUploadWizard::PAGE_TRANSFER);
    EXPECT_EQ(Buttons(wizard), (CButtons{true, true, false, true}));
    EXPECT_FALSE(Child<QProgressBar>(wizard, "progressBar")->isVisible());
    Type(wizard, "passwordEdit", m_peer.password);
    Click(wizard, "nextButton");
    EXPECT_TRUE(wizard.Transfer() != nullptr);
    if (!wizard.Transfer()->IsFinished()) {
        EXPECT_EQ(Buttons(wizard), (CButtons{false, false, false, true}));
    }
    EXPECT_TRUE(Child<QProgressBar>(wizard, "progressBar")->isVisible());
    ASSERT_TRUE(ProcessUntil([&] { return wizard.Transfer()->IsFinished(); }));
    EXPECT_EQ(Child<QLabel>(wizard, "statusLabel")->text(), "File sent successfully.")
        << wizard.Transfer()->FailureDetail();
    EXPECT_EQ(Child<QLabel>(wizard, "transferText")->text(),
              "File transfer is complete. Click the Finish button to continue.");
    EXPECT_EQ(Child<QProgressBar>(wizard, "progressBar")->value(), 100);
    EXPECT_EQ(Buttons(wizard), (CButtons{false, false, true, false}));
    Screenshot(wizard, "5-transfer.png");
    Click(wizard, "finishButton");
    EXPECT_EQ(wizard.result(), QDialog::Accepted);
    EXPECT_EQ(wizard.Outcome(), EUploadOutcome::Sent);
    EXPECT_EQ(m_prompts.Problems(), std::vector<std::string>{});

    EXPECT_EQ(testsupport::ReadFile(incoming.Path() / "tools.zip"), content);
    EXPECT_EQ(testsupport::ReadFile(incoming.Path() / "tools.zip.desc"),
              "Filename: tools.zip\r\nArea: Files\r\nTitle: Handy tools\r\nVersion: 2.1\r\n"
              "ShortDesc: A few tools\r\nCompany: \r\nEmail: v@example.org\r\nReqForm: Yes\r\n"
              "\r\nLine one\r\nLine two");
}

TEST_F(UploadWizard, FailedTransferSaysSoAndLeavesOnlyFinish) {
    SKIP_WITHOUT_FTP_PEER(m_peer);
    CFtpDirectory incoming(m_peer, "wizard-failed");
    CUploadProperties properties;
    properties.SetFtpAddress(m_peer.address);
    properties.SetUsername(m_peer.user);
    properties.SetUserPassword("wrong");
    properties.Areas().Add("Files", incoming.Relative());
    const std::string file = m_local / "a.txt";
    testsupport::WriteFile(file, "a");

    CUploadWizard wizard(properties, m_prompts);
    wizard.show();
    FillToTransferPage(wizard, file);
    EXPECT_EQ(wizard.findChild<QLineEdit*>("passwordEdit"), nullptr);
    Click(wizard, "nextButton");
    ASSERT_TRUE(ProcessUntil([&] { return wizard.Transfer()->IsFinished(); }));
    EXPECT_EQ(Child<QLabel>(wizard, "statusLabel")->text(), "Unable to connect to FTP server.");
    EXPECT_EQ(Child<QLabel>(wizard, "transferText")->text(),
              "The file transfer did not complete. Click the Finish button to continue.");
    EXPECT_EQ(Buttons(wizard), (CButtons{false, false, true, false}));
    Click(wizard, "finishButton");
    EXPECT_EQ(wizard.Outcome(), EUploadOutcome::Failed);
    EXPECT_FALSE(std::filesystem::exists(incoming.Path() / "a.txt"));

    // With no area to choose, the file page says there is nowhere to send it.
    CUploadProperties noAreas = properties;
    noAreas.Areas().Clear();
    m_prompts.Expect(MESSAGE_NO_AREAS, "Error");
    CUploadWizard empty(noAreas, m_prompts);
    empty.show();
    Click(empty, "nextButton");
    Type(empty, "fileEdit", file);
    Click(empty, "nextButton");
    EXPECT_EQ(empty.CurrentPage(), CUploadWizard::PAGE_FILE);
    EXPECT_EQ(m_prompts.Problems(), std::vector<std::string>{});
}

TEST_F(UploadWizard, CancelDuringTheTransferStopsItAndClosesTheWizard) {
    SKIP_WITHOUT_FTP_PEER(m_peer);
    CFtpDirectory incoming(m_peer, "wizard-cancel");
    CUploadProperties properties;
    properties.SetFtpAddress(m_peer.address);
    properties.SetUsername(m_peer.user);
    properties.SetUserPassword(m_peer.password);
    properties.Areas().Add("Files", incoming.Relative());
    const std::string file = m_local / "large.bin";
    const int fd = ::open(file.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 16LL << 30), 0);
    ::close(fd);

    CUploadWizard wizard(properties, m_prompts);
    wizard.show();
    FillToTransferPage(wizard, file);
    Click(wizard, "nextButton");
    const std::filesystem::path arrived = incoming.Path() / "large.bin";
    ASSERT_TRUE(ProcessUntil([&] {
        return std::filesystem::exists(arrived) && std::filesystem::file_size(arrived) > (4u << 20);
    }));
    ASSERT_FALSE(wizard.Transfer()->IsFinished());
    Click(wizard, "cancelButton");
    EXPECT_FALSE(wizard.isVisible());
    EXPECT_EQ(wizard.result(), QDialog::Rejected);
    EXPECT_EQ(wizard.Outcome(), EUploadOutcome::Cancelled);
    EXPECT_TRUE(wizard.Transfer()->WasCancelled());
    EXPECT_TRUE(wizard.Transfer()->StoppedInTime());
    EXPECT_FALSE(std::filesystem::exists(incoming.Path() / "large.bin.desc"));
}

} // namespace
