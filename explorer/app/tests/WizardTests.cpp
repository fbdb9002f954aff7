// The add-file wizard (a submission from the clipboard for a web file; a local file copied into
// a hosting area through the Download URL dialog) and the add-files wizard (a directory added
// in full, then another stopped midway), through their real pages.

#include "AddFileWizard.h"
#include "AddFilesWizard.h"
#include "AreaTreeModel.h"
#include "DownloadUrlDlg.h"
#include "ExplorerTestSupport.h"
#include "FileListModel.h"
#include "Widgets.h"
#include "ZipTestSupport.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTreeView>

using namespace explorertest;
using prompt::EAnswer;
using testsupport::WriteFile;

namespace {

class Wizards : public CExplorerTest {
protected:
    // Double-clicks every entry of an area in a page's tree of areas.
    static void ToggleArea(QWidget* page, std::uint32_t areaId) {
        auto* tree = Child<QTreeView>(page, "areas");
        auto* model = static_cast<CAreaTreeModel*>(tree->model());
        const CTreeItem* root = model->Node(model->index(0, 0));
        for (const auto& group : root->GetChildren()) {
            for (const auto& area : group->GetChildren()) {
                if (CAreaTreeModel::AreaId(area.get()) == areaId) {
                    emit tree->doubleClicked(model->IndexOf(area.get()));
                    return; // one entry toggles the area wherever it is listed
                }
            }
        }
    }
    // How many entries of the page's tree show a check mark.
    static int Marked(QWidget* page) {
        auto* tree = Child<QTreeView>(page, "areas");
        int marked = 0;
        std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
            for (int row = 0; row < tree->model()->rowCount(parent); ++row) {
                const QModelIndex index = tree->model()->index(row, 0, parent);
                marked += index.data(Qt::CheckStateRole) == Qt::Checked ? 1 : 0;
                walk(index);
            }
        };
        walk({});
        return marked;
    }
    static int PageId(CWizard& wizard) { return wizard.GetActivePage()->GetId(); }
};

// Takes each report of the add-files worker as the page would, and cancels the wizard as soon
// as the page shows `file`.
class CCancelAt : public QObject {
public:
    CCancelAt(CWizard& wizard, QString file) : m_wizard(wizard), m_file(std::move(file)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MetaCall) {
            return false;
        }
        watched->event(event);
        auto* current = m_wizard.GetActivePage()->findChild<QLabel*>("currentFile");
        if (!m_cancelled && current != nullptr && current->text() == m_file) {
            m_cancelled = true;
            m_wizard.reject();
        }
        return true;
    }
    bool Cancelled() const { return m_cancelled; }

private:
    CWizard& m_wizard;
    QString m_file;
    bool m_cancelled = false;
};

} // namespace

TEST_P(Wizards, AddOneFileFromASubmissionAndOneCopiedIntoAnArea) {
    WriteStandardLibrary();
    ASSERT_TRUE(StartExplorer());
    SelectPath("Main/Games");
    ASSERT_EQ(Frame().ListModel()->rowCount(), 0);

    // A submission on the clipboard: every page is filled from it.
    QGuiApplication::clipboard()->setText(
        "Title=Space Game\r\nVersion=1.2\r\nCompany=Acme\r\nEmail=bad address\r\n"
        "Size=2,048\r\nDate=12/31/49\r\nReqForm=y\r\nSiteName1=Main\r\n"
        "SiteUrl1=http://example.org/sg.zip\r\nSiteUrl3=http://example.org/third.zip\r\n"
        "ShortDescription=Shoot\r\n\r\nLong text\r\nof the game\r\n");
    m_prompt.Expect(MSG_NO_AREA, EXPLORER_TITLE).Expect(MSG_ILLEGAL_EMAIL, EXPLORER_TITLE);
    OnModal<CAddFileWizard>([](CAddFileWizard& wizard) {
        EXPECT_EQ(wizard.windowTitle(), "Add File Wizard");
        ASSERT_EQ(PageId(wizard), CAddFileWizard::CLIPBOARD);
        Screenshot(&wizard, "add-file-clipboard");
        wizard.OnNext(); // Yes: straight to the title page
        ASSERT_EQ(PageId(wizard), CAddFileWizard::TITLE);
        QWidget* page = wizard.GetActivePage();
        EXPECT_EQ(Child<QLineEdit>(page, "title")->text(), "Space Game");
        wizard.OnNext(); // no area chosen
        ASSERT_EQ(PageId(wizard), CAddFileWizard::TITLE);
        ToggleArea(page, 1);
        EXPECT_EQ(Marked(page), 2); // Games is listed under both groups
        Screenshot(&wizard, "add-file-title");
        wizard.OnNext();
        ASSERT_EQ(PageId(wizard), CAddFileWizard::DETAILS);
        page = wizard.GetActivePage();
        EXPECT_EQ(Child<QLineEdit>(page, "size")->text(), "2048");
        EXPECT_EQ(Child<CDateField>(page, "date")->Value().GetYear(), 2049);
        EXPECT_TRUE(Child<QCheckBox>(page, "reqForm")->isChecked());
        wizard.OnNext(); // "bad address" has a space
        ASSERT_EQ(PageId(wizard), CAddFileWizard::DETAILS);
        Child<QLineEdit>(page, "email")->setText("dev@example.org");
        Screenshot(&wizard, "add-file-details");
        wizard.OnNext();
        ASSERT_EQ(PageId(wizard), CAddFileWizard::DESCRIPTION);
        EXPECT_EQ(Child<QPlainTextEdit>(wizard.GetActivePage(), "detailed")->toPlainText(),
                  "Long text\nof the game\n");
        Screenshot(&wizard, "add-file-description");
        // Back and Next again keep what was typed.
        Child<QLineEdit>(wizard.GetActivePage(), "brief")->setText("Shoot them all");
        wizard.OnBack();
        ASSERT_EQ(PageId(wizard), CAddFileWizard::DETAILS);
        wizard.OnNext();
        EXPECT_EQ(Child<QLineEdit>(wizard.GetActivePage(), "brief")->text(), "Shoot them all");
        wizard.OnNext();
        ASSERT_EQ(PageId(wizard), CAddFileWizard::URLS);
        auto* locations = Child<QListWidget>(wizard.GetActivePage(), "locations");
        ASSERT_EQ(locations->count(), 1); // SiteUrl2 is missing: the third is not read
        EXPECT_EQ(locations->item(0)->text(), "http://example.org/sg.zip");
        Screenshot(&wizard, "add-file-urls");
        wizard.OnNext();
        ASSERT_EQ(PageId(wizard), CAddFileWizard::FINISHED);
        EXPECT_TRUE(wizard.FinishButton()->isVisible());
        Screenshot(&wizard, "add-file-finished");
        wizard.OnFinish();
    });
    Run(ECommand::New);
    ASSERT_TRUE(HandlersDone());
    // The area gained a file: its list is refreshed.
    ASSERT_TRUE(ProcessUntil([this] { return Frame().ListModel()->rowCount() == 1; }));
    EXPECT_EQ(ListColumn(0), QStringList({"Space Game"}));
    EXPECT_EQ(ListColumn(5), QStringList({"Shoot them all"}));
    EXPECT_EQ(Count("areafile", "area_id = 1"), 1);
    EXPECT_EQ(Count("download", "url = 'http://example.org/sg.zip'"), 1);

    // A local file outside every area: the Download URL dialog copies it into Tools.
    QGuiApplication::clipboard()->setText("nothing to process");
    const auto source = m_dir.Path() / "incoming" / "tool.zip";
    std::filesystem::create_directories(source.parent_path());
    ASSERT_TRUE(testsupport::MakeZip(source.string(),
                                     {{"file_id.diz", "Handy Tool\r\nDoes things.\r\n", 0}}));
    m_prompt.Expect(MSG_INVALID_EMAIL, EXPLORER_TITLE)
        .Expect(MSG_NO_HOST_AREA, EXPLORER_TITLE)
        .Expect(MSG_COPY_TO_HOST, CAPTION_QUESTION, EAnswer::Yes);
    OnModal<CAddFileWizard>([&](CAddFileWizard& wizard) {
        ASSERT_EQ(PageId(wizard), CAddFileWizard::FIRST);
        QWidget* page = wizard.GetActivePage();
        Child<QRadioButton>(page, "local")->setChecked(true);
        Child<QLineEdit>(page, "name")->setText(QString::fromStdString(source.string()));
        Screenshot(&wizard, "add-file-first");
        wizard.OnNext();
        page = wizard.GetActivePage();
        EXPECT_EQ(Child<QLineEdit>(page, "title")->text(), "tool.zip");
        ToggleArea(page, 2);
        wizard.OnNext();
        page = wizard.GetActivePage();
        EXPECT_EQ(Child<QLineEdit>(page, "size")->text().toULongLong(),
                  std::filesystem::file_size(source));
        wizard.OnNext(); // an e-mail address is required
        Child<QLineEdit>(page, "email")->setText("me@example.org");
        wizard.OnNext();
        EXPECT_EQ(Child<QLineEdit>(wizard.GetActivePage(), "brief")->text(), "Handy Tool");
        wizard.OnNext(); // the URL page opens the Download URL dialog on the file
    });
    OnModal<CDownloadUrlDlg>([&](CDownloadUrlDlg& dialog) {
        EXPECT_TRUE(Child<QRadioButton>(&dialog, "local")->isChecked());
        EXPECT_EQ(Child<QLineEdit>(&dialog, "file")->text().toStdString(), source.string());
        EXPECT_FALSE(Child<QLineEdit>(&dialog, "url")->isEnabled());
        auto* area = Child<QComboBox>(&dialog, "area");
        EXPECT_EQ(area->count(), 3); // the hosting areas, by name: Games, Orphan, Tools
        EXPECT_EQ(area->itemText(2), "Tools");
        dialog.accept(); // no host area yet
        area->setCurrentIndex(2);
        Screenshot(&dialog, "download-url");
        dialog.accept();
    });
    OnModal<CAddFileWizard>([](CAddFileWizard& wizard) {
        auto* locations = Child<QListWidget>(wizard.GetActivePage(), "locations");
        ASSERT_EQ(locations->count(), 1);
        EXPECT_EQ(locations->item(0)->text(), "local://2/tool.zip");
        wizard.OnNext();
        wizard.OnFinish();
    });
    Run(ECommand::New);
    ASSERT_TRUE(HandlersDone());
    EXPECT_TRUE(std::filesystem::exists(AreaDir(2) / "tool.zip"));
    EXPECT_TRUE(std::filesystem::exists(source)); // copied, not moved
    SelectPath("Extra/Tools");
    EXPECT_EQ(ListColumn(0), QStringList({"tool.zip"}));
    EXPECT_EQ(ListColumn(5), QStringList({"Handy Tool"}));
    EXPECT_EQ(Count("download", "url = 'local://2/tool.zip'"), 1);
    EXPECT_EQ(Problems(), "");
}

TEST_P(Wizards, AddADirectoryThenStopAnotherMidway) {
    WriteStandardLibrary();
    ASSERT_TRUE(StartExplorer());
    SelectPath("Extra/Tools");
    const auto first = m_dir.Path() / "first";
    std::filesystem::create_directories(first / "sub");
    for (int i = 0; i < 4; ++i) {
        WriteFile(first / ("FILE" + std::to_string(i) + ".TXT"), "data " + std::to_string(i));
    }
    WriteFile(first / "sub" / "inner.txt", "inner");

    m_prompt.Expect(MSG_CHOOSE_HOST_AREA, EXPLORER_TITLE)
        .Expect(MSG_FILES_NEED_COPY, EXPLORER_TITLE, EAnswer::Yes);
    OnModal<CAddFilesWizard>([&](CAddFilesWizard& wizard) {
        EXPECT_EQ(wizard.windowTitle(), "Add Multiple Files");
        QWidget* page = wizard.GetActivePage();
        Child<QLineEdit>(page, "directory")->setText(QString::fromStdString(first.string()));
        Child<QCheckBox>(page, "recursive")->setChecked(true);
        wizard.OnNext(); // no area chosen
        auto* areas = Child<QListWidget>(page, "areas");
        ASSERT_EQ(areas->count(), 3);
        areas->setCurrentRow(2); // Tools
        Screenshot(&wizard, "add-files-information");
        wizard.OnNext();
        ASSERT_EQ(PageId(wizard), CAddFilesWizard::SUMMARY);
        EXPECT_EQ(Child<QLabel>(wizard.GetActivePage(), "area")->text(), "<b>Tools</b>");
        EXPECT_EQ(Child<QPlainTextEdit>(wizard.GetActivePage(), "files")->toPlainText().count('\n'),
                  5);
        Screenshot(&wizard, "add-files-summary");
        wizard.OnNext(); // asks about copying, then works
        ASSERT_EQ(PageId(wizard), CAddFilesWizard::DOIT);
        ASSERT_TRUE(ProcessUntil([&] { return wizard.NextButton()->isEnabled(); }));
        EXPECT_FALSE(wizard.BackButton()->isEnabled());
        EXPECT_FALSE(wizard.CancelButton()->isEnabled());
        EXPECT_EQ(Child<QLabel>(wizard.GetActivePage(), "currentFile")->text(), "Completed.");
        Screenshot(&wizard, "add-files-progress");
        wizard.OnNext();
        ASSERT_EQ(PageId(wizard), CAddFilesWizard::DONE);
        EXPECT_EQ(Child<QPlainTextEdit>(wizard.GetActivePage(), "log")->toPlainText(),
                  "5 file(s) added successfully.\n");
        Screenshot(&wizard, "add-files-results");
        wizard.OnFinish();
    });
    Run(ECommand::AddMultiple);
    ASSERT_TRUE(HandlersDone());
    ASSERT_TRUE(ProcessUntil([this] { return Frame().ListModel()->rowCount() == 5; }));
    EXPECT_TRUE(ListColumn(0).contains("File0")); // a name in capitals is capitalised
    EXPECT_TRUE(std::filesystem::exists(AreaDir(2) / "inner.txt"));

    // Forty more, stopped while the third is under way: that one is finished, the rest left.
    const auto second = m_dir.Path() / "second";
    std::filesystem::create_directories(second);
    for (int i = 0; i < 40; ++i) {
        WriteFile(second / ("more" + std::to_string(100 + i) + ".txt"), "more");
    }
    m_prompt.Expect(MSG_FILES_NEED_COPY, EXPLORER_TITLE, EAnswer::Yes);
    OnModal<CAddFilesWizard>([&](CAddFilesWizard& wizard) {
        QWidget* page = wizard.GetActivePage();
        Child<QLineEdit>(page, "directory")->setText(QString::fromStdString(second.string()));
        Child<QListWidget>(page, "areas")->setCurrentRow(2);
        wizard.OnNext();
        CCancelAt cancel(wizard, QString::fromStdString((second / "more102.txt").string()));
        wizard.findChild<QObject*>("progressBridge")->installEventFilter(&cancel);
        wizard.OnNext();
        ASSERT_TRUE(ProcessUntil([&] { return cancel.Cancelled(); }));
    });
    Run(ECommand::AddMultiple);
    ASSERT_TRUE(HandlersDone());
    const long added = Count("files") - 5;
    EXPECT_EQ(added, 3);
    long copied = 0;
    for (const auto& entry : std::filesystem::directory_iterator(AreaDir(2))) {
        copied += entry.path().filename().string().rfind("more", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(copied, added);
    EXPECT_EQ(Problems(), "");
}

INSTANTIATE_TEST_SUITE_P(Engines, Wizards,
                         ::testing::Values(testsupport::EEngine::SQLite,
                                           testsupport::EEngine::PostgreSQL),
                         [](const auto& info) { return testsupport::EngineName(info.param); });
