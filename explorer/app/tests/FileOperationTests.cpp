// A file's properties edited (its areas and locations at once, the rest on OK), the virus check
// against ClamAV, removal from an area, deletion with the hosted copies, and the generator
// started; and the program's start-up: its refusals and its command line.

#include "AreaTreeModel.h"
#include "DownloadUrlDlg.h"
#include "ExplorerTestSupport.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FilePropertySheet.h"
#include "TestSettings.h"
#include "VirusCheck.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTreeView>

#include <gmock/gmock.h>

using namespace explorertest;
using prompt::EAnswer;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class FileOperations : public CExplorerTest {
protected:
    // Selects the listed file with this title.
    void SelectFile(const QString& title) {
        const int row = static_cast<int>(ListColumn(0).indexOf(title));
        ASSERT_GE(row, 0) << title.toStdString();
        FocusList();
        Frame().ListView()->SelectRows({row});
        Frame().UpdateCommands();
    }
};

} // namespace

TEST_P(FileOperations, PropertiesVirusCheckRemovalDeletionAndTheGenerator) {
    WriteStandardLibrary();
    const bool clamAv = UseClamAv("not really a virus, but the test's signature says so");
    WriteFile(AreaDir(2) / "tool.zip", "clean data");
    WriteFile(AreaDir(2) / "bad.bin", "not really a virus, but the test's signature says so");
    // A stand-in generator on PATH that records how it was started.
    const auto bin = m_dir.Path() / "bin";
    std::filesystem::create_directories(bin);
    WriteFile(bin / "sheetforge", "#!/bin/sh\necho \"$@\" > \"" +
                                      (m_dir.Path() / "started").string() + ".tmp\"\nmv \"" +
                                      (m_dir.Path() / "started").string() + ".tmp\" \"" +
                                      (m_dir.Path() / "started").string() + "\"\n");
    std::filesystem::permissions(bin / "sheetforge", std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    ASSERT_TRUE(StartExplorer());
    const double tool =
        AddFile("Local Tool", {2, 1}, {"local://2/tool.zip", "http://example.org/t.zip"});
    AddFile("Web Only", {2}, {"http://example.org/w.zip"});
    AddFile("Infected", {2}, {"local://2/bad.bin"});
    AddFile("Lost Copy", {2}, {"local://77/gone.zip"});
    SelectPath("Extra/Tools");
    ASSERT_EQ(Frame().ListModel()->rowCount(), 4);

    // Properties: Requires Form needs an address; an area unlinked and a location added at once
    // (Cancel becomes Close); the General fields written on OK.
    SelectFile("Local Tool");
    m_prompt.Expect(MSG_INVALID_EMAIL, EXPLORER_TITLE);
    OnModal<CFilePropertySheet>([](CFilePropertySheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "File Properties");
        QWidget* general = sheet.GetPage(0);
        EXPECT_EQ(Child<QLineEdit>(general, "title")->text(), "Local Tool");
        Child<QLineEdit>(general, "version")->setText("2.0");
        Child<QCheckBox>(general, "reqForm")->setChecked(true);
        Screenshot(&sheet, "file-properties-general");
        EXPECT_FALSE(sheet.SetActivePage(1)); // no e-mail address
        Child<QLineEdit>(general, "email")->setText("dev@example.org");
        ASSERT_TRUE(sheet.SetActivePage(1));
        Screenshot(&sheet, "file-properties-description");
        ASSERT_TRUE(sheet.SetActivePage(2));
        auto* tree = Child<QTreeView>(sheet.GetPage(2), "areas");
        auto* model = static_cast<CAreaTreeModel*>(tree->model());
        for (const auto& group : model->Node(model->index(0, 0))->GetChildren()) {
            for (const auto& area : group->GetChildren()) {
                if (CAreaTreeModel::AreaId(area.get()) == 1 && group->GetName() == "Main") {
                    emit tree->doubleClicked(model->IndexOf(area.get()));
                }
            }
        }
        EXPECT_EQ(sheet.CancelButton()->text(), "Close");
        Screenshot(&sheet, "file-properties-areas");
        ASSERT_TRUE(sheet.SetActivePage(3));
        EXPECT_EQ(Child<QListWidget>(sheet.GetPage(3), "locations")->count(), 2);
        ClickLater(Child<QPushButton>(sheet.GetPage(3), "add"));
    });
    OnModal<CDownloadUrlDlg>([](CDownloadUrlDlg& dialog) {
        Child<QLineEdit>(&dialog, "url")->setText("ftp://mirror.example.org/tool.zip");
        dialog.accept();
    });
    OnModal<CFilePropertySheet>([](CFilePropertySheet& sheet) {
        EXPECT_EQ(Child<QListWidget>(sheet.GetPage(3), "locations")->count(), 3);
        Screenshot(&sheet, "file-properties-urls");
        sheet.accept();
    });
    Run(ECommand::Properties);
    ASSERT_TRUE(HandlersDone());
    CFileRecord saved(&Catalogue());
    ASSERT_TRUE(saved.Get(static_cast<int>(tool), false));
    EXPECT_EQ(saved.m_VERSION, "2.0");
    EXPECT_TRUE(saved.m_REQ_FORM);
    EXPECT_EQ(Count("areafile", "area_id = 1"), 0);
    EXPECT_EQ(Count("download", "url = 'ftp://mirror.example.org/tool.zip'"), 1);

    // The virus check of each file's hosted copies (only where ClamAV is installed).
    if (clamAv) {
        SelectFile("Infected");
        m_prompt.Expect(VirusFailedText((AreaDir(2) / "bad.bin").string(), 1), EXPLORER_TITLE)
            .Expect(VirusPassedText(0), EXPLORER_TITLE)
            .Expect(MSG_NO_LOCAL_COPIES, EXPLORER_TITLE)
            .Expect(MSG_NO_LOCAL_COPIES, EXPLORER_TITLE);
        Run(ECommand::VirusCheck);
        SelectFile("Local Tool");
        Run(ECommand::VirusCheck);
        SelectFile("Web Only");
        Run(ECommand::VirusCheck);
        SelectFile("Lost Copy"); // its area is gone
        Run(ECommand::VirusCheck);
    }

    // Removing a file that is only in this area asks again; No keeps it.
    SelectFile("Web Only");
    m_prompt.Expect(MSG_REMOVE_FILES, CAPTION_QUESTION, EAnswer::Yes)
        .Expect("Web Only exists only in the selected file area. Removing this file will delete "
                "it from the system. Are you sure you want to remove this file?",
                CAPTION_WARNING, EAnswer::No);
    Run(ECommand::RemoveFromArea);
    ASSERT_TRUE(ProcessUntil([this] { return ListColumn(0).contains("Web Only"); }));

    // Deleting a file with a hosted copy deletes the copy on Yes.
    SelectFile("Local Tool");
    m_prompt.Expect(MSG_DELETE_FILES, CAPTION_QUESTION, EAnswer::Yes)
        .Expect(MSG_DELETE_LOCAL, CAPTION_WARNING, EAnswer::Yes);
    Run(ECommand::DeleteFile);
    ASSERT_TRUE(ProcessUntil([this] { return Frame().ListModel()->rowCount() == 3; }));
    EXPECT_FALSE(ListColumn(0).contains("Local Tool"));
    EXPECT_FALSE(std::filesystem::exists(AreaDir(2) / "tool.zip"));
    EXPECT_EQ(Count("download", "file_id = " + std::to_string(static_cast<long>(tool))), 0);

    // The generator: the first one on PATH, started with /autorun and not waited for.
    Frame().UpdateCommands();
    EXPECT_TRUE(Frame().Action(ECommand::Sheetforge)->isEnabled());
    Run(ECommand::Sheetforge);
    ASSERT_TRUE(ProcessUntil([&] { return std::filesystem::exists(m_dir.Path() / "started"); }));
    EXPECT_EQ(ReadFile(m_dir.Path() / "started"), "/autorun\n");
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(Problems(), "");
}

class StartUp : public CExplorerTest {};

TEST_P(StartUp, RefusalsAndTheCommandLine) {
    // A store with nothing in it, then one the setup program holds.
    ASSERT_TRUE(std::filesystem::exists(m_db) || std::filesystem::create_directories(m_db));
    WriteFile(m_db / "filearea.dat", "");
    m_prompt.Expect(MSG_NO_AREAS, CAPTION_WARNING).Expect(MSG_STORE_LOCKED, CAPTION_WARNING);
    EXPECT_FALSE(StartExplorer());
    std::filesystem::remove(m_db / "filearea.dat");
    WriteStandardLibrary();
    {
        CFileAreaStore setup;
        ASSERT_TRUE(setup.OpenForWriting(m_db.string()));
        EXPECT_FALSE(StartExplorer());
    }
    // A data source that cannot be reached: said, and the tree still shows.
    m_prompt.Expect("Dorvale Explorer cannot connect to the data source NoSuchSource. The file "
                    "lists stay empty until it can.",
                    CAPTION_WARNING);
    m_app = std::make_unique<CExplorerApp>(m_prompt);
    ASSERT_TRUE(m_app->InitInstance("NoSuchSource"));
    ASSERT_TRUE(ProcessUntil([this] { return Frame().IsTreeLoaded(); }));
    EXPECT_EQ(Frame().Tree().Root()->GetChildren().size(), 3u);
    EXPECT_EQ(Problems(), "");

    // The program itself: --help, a wrong option, and no display.
    const std::string program = testsupport::BuiltProgram("dorvale-explorer");
    auto help = testsupport::RunProgram({program, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, ::testing::HasSubstr("Usage: dorvale-explorer [--data-source NAME]"));
    auto wrong = testsupport::RunProgram({program, "--colour"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_THAT(wrong.err, ::testing::HasSubstr("dorvale-explorer: unexpected \"--colour\""));
    auto headless = testsupport::RunProgram({"/usr/bin/env", "-u", "DISPLAY", "-u",
                                             "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", program});
    EXPECT_EQ(headless.exitCode, 1);
    EXPECT_EQ(headless.err, "dorvale-explorer: no display to show a window on; use the dorvale "
                            "command instead (dorvale --help)\n");
}

INSTANTIATE_TEST_SUITE_P(Engines, FileOperations, ::testing::Values(testsupport::EEngine::SQLite),
                         [](const auto& info) { return testsupport::EngineName(info.param); });
INSTANTIATE_TEST_SUITE_P(Engines, StartUp, ::testing::Values(testsupport::EEngine::SQLite),
                         [](const auto& info) { return testsupport::EngineName(info.param); });
