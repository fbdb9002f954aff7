// Uploads turned into catalogue entries (reviewed, posted, deleted), review submissions
// moderated, and a file's reviews edited on its Reviews page; the files on disk checked byte
// for byte.

#include "ExplorerTestSupport.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FilePropertySheet.h"
#include "ReviewDialogs.h"
#include "UploadsDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>

using namespace explorertest;
using prompt::EAnswer;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class Moderation : public CExplorerTest {
protected:
    void Upload(const std::string& name, const std::string& title) {
        WriteFile(AreaDir(1) / name, "data of " + name);
        WriteFile(AreaDir(1) / (name + ".desc"),
                  "Filename: " + name + "\r\nTitle: " + title +
                      "\r\nVersion: 1.0\r\nShortDesc: Brief\r\nCompany: Acme\r\n"
                      "Email: up@example.org\r\nReqForm: no\r\n\r\nLong text\r\n");
    }
    static void Select(QTreeWidget* list, int row) {
        list->clearSelection();
        list->topLevelItem(row)->setSelected(true);
        list->setCurrentItem(list->topLevelItem(row));
    }
    static QPushButton* Button(QWidget* window, const char* name) {
        return Child<QPushButton>(window, name);
    }
};

} // namespace

TEST_P(Moderation, UploadsSubmissionsAndAFilesReviews) {
    WriteStandardLibrary();
    Upload("a.zip", "Upload A");
    Upload("b.zip", "Upload B");
    Upload("c.zip", "Upload C");
    ASSERT_TRUE(StartExplorer());
    SelectPath("Main/Games");

    // Review the first (its edit is what is posted), post the next, delete the last.
    m_prompt.Expect(MSG_DELETE_UPLOADS, CAPTION_WARNING, EAnswer::Yes);
    OnModal<CUploadsDlg>([](CUploadsDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Scan for new files");
        ASSERT_EQ(dialog.List()->topLevelItemCount(), 3);
        EXPECT_EQ(dialog.List()->topLevelItem(0)->text(1), "Upload A");
        Screenshot(&dialog, "uploads");
        Select(dialog.List(), 0);
        ClickLater(Button(&dialog, "review"));
    });
    OnModal<CFilePropertySheet>([](CFilePropertySheet& sheet) {
        EXPECT_EQ(sheet.GetPageCount(), 4); // no Reviews page for an upload
        Child<QLineEdit>(sheet.GetPage(0), "title")->setText("Upload A Deluxe");
        Screenshot(&sheet, "upload-review");
        sheet.accept();
    });
    OnModal<CUploadsDlg>([](CUploadsDlg& dialog) {
        ASSERT_EQ(dialog.List()->topLevelItemCount(), 2);
        Select(dialog.List(), 0);
        Button(&dialog, "post")->click();
        ASSERT_EQ(dialog.List()->topLevelItemCount(), 1);
        Select(dialog.List(), 0);
        Button(&dialog, "delete")->click();
        EXPECT_EQ(dialog.List()->topLevelItemCount(), 0);
        Button(&dialog, "close")->click();
    });
    Run(ECommand::ScanForNewFiles);
    ASSERT_TRUE(HandlersDone());
    EXPECT_EQ(ListColumn(0), QStringList({"Upload A Deluxe", "Upload B"}));
    EXPECT_TRUE(std::filesystem::exists(AreaDir(1) / "a.zip"));
    EXPECT_FALSE(std::filesystem::exists(AreaDir(1) / "a.zip.desc"));
    EXPECT_FALSE(std::filesystem::exists(AreaDir(1) / "c.zip"));
    EXPECT_FALSE(std::filesystem::exists(AreaDir(1) / "c.zip.desc"));
    EXPECT_EQ(Count("download", "url = 'local://1/b.zip'"), 1);
    m_prompt.Expect(MSG_NO_NEW_FILES, EXPLORER_TITLE);
    Run(ECommand::ScanForNewFiles);

    // Three submissions: one reviewed and posted, one posted as it is, one deleted.
    const long a = static_cast<long>(Frame().ListModel()->Source().GetFileId(0));
    const std::string submissions = SubmissionsFilePath(HttpPath());
    WriteFile(submissions, std::to_string(a) +
                               "\r\nUpload A Deluxe\r\nAnn\r\nann@example.org\r\n"
                               "TRUE\r\n2024-05-01\r\nGreat\r\nreally\r\n\t\r\n" +
                               std::to_string(a) +
                               "\r\nUpload A Deluxe\r\nBob\r\nbob@example.org\r\n"
                               "false\r\n2024-05-02\r\nFine\r\n\t\r\n" +
                               std::to_string(a) +
                               "\r\nUpload A Deluxe\r\nSpam\r\nspam@example.org\r\n"
                               "false\r\n2024-05-03\r\nBuy now\r\n\t\r\n");
    m_prompt.Expect(MSG_NAME_REQUIRED, CAPTION_ERROR)
        .Expect(MSG_DELETE_SUBMISSIONS, CAPTION_WARNING, EAnswer::Yes);
    OnModal<CSubmissionsDlg>([](CSubmissionsDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Review New File Reviews");
        ASSERT_EQ(dialog.List()->topLevelItemCount(), 3);
        Screenshot(&dialog, "review-submissions");
        Select(dialog.List(), 0);
        ClickLater(Button(&dialog, "review"));
    });
    OnModal<CEditSubmissionDlg>([](CEditSubmissionDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Edit Submission - Upload A Deluxe");
        EXPECT_EQ(Child<QPlainTextEdit>(&dialog, "review")->toPlainText(), "Great\nreally");
        Child<QLineEdit>(&dialog, "name")->clear();
        Button(&dialog, "post")->click(); // the name is required
        EXPECT_TRUE(dialog.isVisible());
        Child<QLineEdit>(&dialog, "name")->setText("Ann Other");
        Screenshot(&dialog, "edit-submission");
        Button(&dialog, "post")->click();
    });
    OnModal<CSubmissionsDlg>([](CSubmissionsDlg& dialog) {
        ASSERT_EQ(dialog.List()->topLevelItemCount(), 2);
        Select(dialog.List(), 0);
        Button(&dialog, "post")->click();
        Select(dialog.List(), 0);
        Button(&dialog, "delete")->click();
        EXPECT_EQ(dialog.List()->topLevelItemCount(), 0);
        Button(&dialog, "close")->click();
    });
    Run(ECommand::ScanForNewReviews);
    ASSERT_TRUE(HandlersDone());
    EXPECT_FALSE(std::filesystem::exists(submissions)); // none left
    const std::string reviewFile = ReviewFilePath(HttpPath(), a);
    EXPECT_EQ(ReadFile(reviewFile),
              "Ann Other\r\nann@example.org\r\ntrue\r\n2024-05-01\r\nGreat\r\n"
              "really\r\n\t\r\nBob\r\nbob@example.org\r\nfalse\r\n2024-05-02\r\n"
              "Fine\r\n\t\r\n");

    // The file's Reviews page: one review edited, the other deleted, written when left.
    m_prompt.Expect(MSG_DELETE_REVIEW, CAPTION_WARNING, EAnswer::Yes);
    FocusList();
    Frame().ListView()->SelectRows({0});
    OnModal<CFilePropertySheet>([](CFilePropertySheet& sheet) {
        ASSERT_EQ(sheet.GetPageCount(), 5);
        ASSERT_TRUE(sheet.SetActivePage(4));
        auto* page = static_cast<CFileReviewsPage*>(sheet.GetPage(4));
        EXPECT_EQ(Child<QLabel>(page, "caption")->text(), "Upload A Deluxe Reviews");
        ASSERT_EQ(page->List()->topLevelItemCount(), 2);
        Screenshot(&sheet, "file-reviews");
        Select(page->List(), 0);
        ClickLater(Child<QPushButton>(page, "edit"));
    });
    OnModal<CEditReviewDlg>([](CEditReviewDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Edit Review");
        Child<QPlainTextEdit>(&dialog, "review")->setPlainText("Great\nreally good");
        Screenshot(&dialog, "edit-review");
        dialog.accept();
    });
    OnModal<CFilePropertySheet>([](CFilePropertySheet& sheet) {
        auto* page = static_cast<CFileReviewsPage*>(sheet.GetPage(4));
        Select(page->List(), 1);
        Child<QPushButton>(page, "delete")->click();
        EXPECT_EQ(page->List()->topLevelItemCount(), 1);
        sheet.accept();
    });
    Run(ECommand::Properties);
    ASSERT_TRUE(HandlersDone());
    EXPECT_EQ(ReadFile(reviewFile),
              "Ann Other\r\nann@example.org\r\ntrue\r\n2024-05-01\r\nGreat\r\n"
              "really good\r\n\t\r\n");
    EXPECT_EQ(Problems(), "");
}

INSTANTIATE_TEST_SUITE_P(Engines, Moderation, ::testing::Values(testsupport::EEngine::SQLite),
                         [](const auto& info) { return testsupport::EngineName(info.param); });
