// The main window on a seeded catalogue: the tree and its lists, on-demand rows of a large
// area, the four view modes, search, the commands' states and menus, properties of areas and
// groups, About and help, and the layout kept in the user's registry.

#include "AboutDlg.h"
#include "AreaTreeModel.h"
#include "ExplorerTestSupport.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FileSearchDlg.h"
#include "NodeProperties.h"
#include "TestSettings.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

#include <gmock/gmock.h>

using namespace explorertest;
using testsupport::ReadFile;

namespace {

class MainWindow : public CExplorerTest {
protected:
    // Games: two described files; Tools: more files than one window of rows.
    void WriteCatalogue() {
        WriteStandardLibrary();
        ASSERT_TRUE(Start());
        CFileRecord game(&m_context->Catalogue());
        game.m_TITLE = "Space Game";
        game.m_SIZE = 2048;
        game.m_SHORT_DESC = "Shoot the stars";
        game.m_FILE_DATE = CDateTime(2005, 3, 4);
        game.m_LAST_DWNLD = CDateTime(2006, 12, 25);
        ASSERT_TRUE(game.Add());
        ASSERT_TRUE(game.AddToFileArea(1));
        ASSERT_TRUE(game.AddDownloadURL("http://example.org/space.zip"));
        m_gameId = game.m_FILE_ID;
        AddFile("Chess", {1}, {"http://example.org/chess.zip"});
        for (int i = 0; i < 150; ++i) {
            AddFile("Tool " + std::to_string(i), {2}, {"http://example.org/t" + std::to_string(i)});
        }
        m_context.reset(); // the program starts its own
    }
    // The user's hive, as bytes.
    std::string UserHive() {
        std::string bytes;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path() / "registry")) {
            const std::string text = ReadFile(entry.path());
            if (text.find("Explorer]") != std::string::npos) {
                bytes += text;
            }
        }
        return bytes;
    }
    double m_gameId = 0;
};

} // namespace

TEST_P(MainWindow, TreeListsSearchCommandsAndDialogs) {
    WriteCatalogue();
    ASSERT_TRUE(StartExplorer());
    CMainFrame& frame = Frame();
    EXPECT_EQ(frame.windowTitle(), "Dorvale Explorer");

    // The root lists "Search results" first, then the groups, as "File Group".
    SelectPath("");
    EXPECT_TRUE(frame.TreeView()->isExpanded(frame.TreeModel()->IndexOf(frame.Tree().Root())));
    const QStringList groups = ListColumn(0);
    ASSERT_EQ(groups.size(), 3);
    EXPECT_EQ(groups[0], "Search results");
    EXPECT_THAT(std::vector<QString>(groups.begin() + 1, groups.end()),
                ::testing::UnorderedElementsAre("Main", "Extra"));
    EXPECT_EQ(ListColumn(2), QStringList({"File Group", "File Group", "File Group"}));
    Screenshot(&frame, "main-window-root");

    // A group lists its areas in the group file's order (the unknown id skipped).
    SelectPath("Main");
    EXPECT_EQ(ListColumn(0), QStringList({"Games", "Mirrors"}));
    EXPECT_EQ(ListColumn(2), QStringList({"File Area", "File Area"}));

    // An area lists its files with their columns.
    SelectPath("Main/Games");
    EXPECT_EQ(ListColumn(0), QStringList({"Space Game", "Chess"}));
    EXPECT_EQ(ListColumn(1), QStringList({"2048", "10"}));
    EXPECT_EQ(ListColumn(2), QStringList({"File", "File"}));
    EXPECT_EQ(ListColumn(3)[0], "March 04, 2005");
    EXPECT_EQ(ListColumn(4)[0], "December 25, 2006");
    EXPECT_EQ(ListColumn(5)[0], "Shoot the stars");
    CFileListModel* list = frame.ListModel();
    EXPECT_EQ(list->headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), "Last Download");

    // A large area opens with its first window and is counted once shown.
    SelectPath("Extra/Tools");
    ASSERT_EQ(list->rowCount(), 150);
    EXPECT_EQ(ListColumn(0).last(), "Tool 149");

    // The four view modes, each in the menu as the checked one.
    const std::pair<ECommand, EListViewMode> modes[] = {
        {ECommand::Details, EListViewMode::Details},
        {ECommand::SmallIcons, EListViewMode::SmallIcons},
        {ECommand::List, EListViewMode::List},
        {ECommand::LargeIcons, EListViewMode::LargeIcons}};
    const char* names[] = {"details", "small-icons", "list", "large-icons"};
    for (int i = 0; i < 4; ++i) {
        Run(modes[i].first);
        EXPECT_EQ(frame.ListView()->ViewMode(), modes[i].second);
        EXPECT_TRUE(frame.Action(modes[i].first)->isChecked());
        EXPECT_EQ(frame.ListView()->currentWidget(), frame.ListView()->CurrentView());
        Screenshot(&frame, QString("main-window-") + names[i]);
    }
    EXPECT_EQ(frame.ListView()->IconsView()->viewMode(), QListView::IconMode);

    // Up goes to the group; Open on a listed area selects it in the tree.
    Run(ECommand::Up);
    QApplication::processEvents();
    EXPECT_EQ(frame.SelectedNode()->GetName(), "Extra");
    ASSERT_TRUE(ProcessUntil([&] { return list->rowCount() == 2; }));
    frame.ListView()->SelectRows({1});
    Run(ECommand::Open);
    EXPECT_EQ(frame.SelectedNode()->GetName(), "Games");

    // Commands follow the selection and the focus; the list's menu follows them too.
    SelectPath("Main/Games");
    EXPECT_FALSE(frame.Action(ECommand::Open)->isEnabled());
    EXPECT_EQ(frame.ListMenuTexts(),
              QStringList({"&View", "Re&fresh", "&New...", "&Add multiple..."}));
    FocusList();
    frame.ListView()->SelectRows({0});
    frame.UpdateCommands();
    EXPECT_TRUE(frame.Action(ECommand::Open)->isEnabled());
    EXPECT_TRUE(frame.Action(ECommand::Properties)->isEnabled());
    EXPECT_TRUE(frame.Action(ECommand::DeleteFile)->isEnabled());
    EXPECT_FALSE(frame.Action(ECommand::OpenAsHtml)->isEnabled()); // no HttpServer
    EXPECT_FALSE(frame.Action(ECommand::VirusCheck)->isEnabled()); // no checker
    EXPECT_EQ(frame.ListMenuTexts(),
              QStringList({"&Open", "Open as &HTML (disabled)", "&Delete File", "Remo&ve from Area",
                           "&Virus Check (disabled)", "P&roperties"}));
    EXPECT_EQ(frame.Action(ECommand::New)->text(), "&New...\tCtrl+N");
    EXPECT_EQ(frame.Action(ECommand::New)->statusTip(), "Add a new file to the Dorvale");
    EXPECT_EQ(frame.Action(ECommand::New)->toolTip(), "Add new file.");
    EXPECT_EQ(frame.Action(ECommand::FindFiles)->shortcuts().size(), 2); // Ctrl+F and F3

    // Open as HTML with the web server set: the file's detail page.
    SetSettingText(SETTING_HTTP_SERVER, "http://files.example.org/");
    Run(ECommand::OpenAsHtml);
    ASSERT_FALSE(m_opened.urls.isEmpty());
    EXPECT_EQ(m_opened.urls.last().toString(),
              QString("http://files.example.org/dorvale/details/%1.asp").arg(m_gameId));

    // Find files: the dialog keeps the last search; the node takes the text's name.
    OnModal<CFileSearchDlg>([](CFileSearchDlg& dialog) {
        auto* fields = Child<QListWidget>(&dialog, "fields");
        for (int i = 0; i < fields->count(); ++i) {
            EXPECT_EQ(fields->item(i)->checkState(), Qt::Checked); // a mask of 0 checks all
        }
        EXPECT_EQ(fields->item(5)->text(), "URL");
        Child<QLineEdit>(&dialog, "text")->setText("tool 14");
        fields->item(5)->setCheckState(Qt::Unchecked);
        Screenshot(&dialog, "find-files");
        dialog.accept();
    });
    Run(ECommand::FindFiles);
    ASSERT_TRUE(ProcessUntil([&] { return list->rowCount() == 11; }));
    EXPECT_EQ(frame.SelectedNode()->GetName(), "Search results (\"tool 14\")");
    EXPECT_EQ(ListColumn(0).first(), "Tool 14");
    EXPECT_EQ(ListColumn(0).last(), "Tool 149");
    m_prompt.Expect(MSG_NOTHING_FOUND, EXPLORER_TITLE);
    OnModal<CFileSearchDlg>([](CFileSearchDlg& dialog) {
        EXPECT_EQ(Child<QLineEdit>(&dialog, "text")->text(), "tool 14");
        EXPECT_EQ(Child<QListWidget>(&dialog, "fields")->item(5)->checkState(), Qt::Unchecked);
        Child<QLineEdit>(&dialog, "text")->setText("no such file");
        dialog.accept();
    });
    Run(ECommand::FindFiles);
    ASSERT_TRUE(ProcessUntil([&] { return m_prompt.Asked().size() == 1; }));
    EXPECT_EQ(list->rowCount(), 0);

    // Area and group properties.
    SelectPath("Main/Games");
    OnModal<CAreaPropertiesSheet>([this](CAreaPropertiesSheet& sheet) {
        EXPECT_EQ(sheet.windowTitle(), "File Area Properties");
        EXPECT_EQ(Child<QLineEdit>(&sheet, "name")->text(), "Games");
        EXPECT_EQ(Child<QLineEdit>(&sheet, "path")->text().toStdString(), AreaDir(1).string());
        EXPECT_EQ(Child<QLineEdit>(&sheet, "httpAlias")->text(), "/games");
        EXPECT_TRUE(Child<QCheckBox>(&sheet, "uploads")->isChecked());
        EXPECT_FALSE(Child<QCheckBox>(&sheet, "uploads")->isEnabled());
        Screenshot(&sheet, "area-properties");
        sheet.reject();
    });
    Run(ECommand::TreeProperties);
    SelectPath("");
    FocusList();
    frame.ListView()->SelectRows({static_cast<int>(ListColumn(0).indexOf("Main"))});
    OnModal<CGroupPropertiesSheet>([](CGroupPropertiesSheet& sheet) {
        auto* areas = Child<QListWidget>(&sheet, "areas");
        ASSERT_EQ(areas->count(), 4);                         // every area, the one in no group too
        EXPECT_EQ(areas->item(0)->checkState(), Qt::Checked); // Games
        EXPECT_EQ(areas->item(1)->checkState(), Qt::Unchecked); // Tools
        EXPECT_EQ(areas->item(2)->checkState(), Qt::Checked);   // Mirrors
        EXPECT_EQ(areas->item(3)->text(), "Orphan");
        Screenshot(&sheet, "group-properties");
        sheet.reject();
    });
    Run(ECommand::Properties);

    // About, and help: Help Topics, the guide, and F1 in a dialog at its topic.
    OnModal<CAboutDlg>([](CAboutDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "About Dorvale Explorer");
        const QString memory = Child<QLabel>(&dialog, "memory")->text();
        EXPECT_TRUE(memory.endsWith(" KB")) << memory.toStdString();
        EXPECT_TRUE(memory.contains(',')) << memory.toStdString();
        Screenshot(&dialog, "about");
        dialog.accept();
    });
    Run(ECommand::About);
    Run(ECommand::HelpTopics);
    Run(ECommand::Guide);
    OnModal<CFileSearchDlg>([](CFileSearchDlg& dialog) {
        QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &f1);
        dialog.reject();
    });
    Run(ECommand::FindFiles);
    ASSERT_EQ(m_opened.urls.size(), 4);
    EXPECT_TRUE(m_opened.urls[1].toLocalFile().endsWith("/share/dorvale/help/index.html"));
    EXPECT_TRUE(QFileInfo::exists(m_opened.urls[1].toLocalFile()));
    EXPECT_TRUE(QFileInfo::exists(m_opened.urls[2].toLocalFile()));
    EXPECT_EQ(m_opened.urls[3].fileName(), "guide.html");
    EXPECT_EQ(m_opened.urls[3].fragment(), "find-files");
    EXPECT_EQ(Problems(), "");
}

TEST_P(MainWindow, TheLayoutIsKeptByteForByte) {
    WriteCatalogue();
    // Thirty characters: the rectangle and flags, not the bars.
    SetLayoutText(LAYOUT_WINDOW_POSITION, "0040 0030 0940 0730 0000 0000 ");
    ASSERT_TRUE(StartExplorer());
    EXPECT_EQ(Frame().geometry(), QRect(40, 30, 900, 700));
    EXPECT_TRUE(Frame().statusBar()->isVisibleTo(&Frame()));
    EXPECT_EQ(Frame().ListView()->ViewMode(), EListViewMode::LargeIcons);
    // Without VPosition the tree takes a quarter of the width.
    const int client = Frame().Splitter()->width();
    EXPECT_NEAR(Frame().Splitter()->sizes()[0], client / 4, 2);
    EXPECT_EQ(Frame().ListView()->ColumnWidth(5), 250);

    Run(ECommand::Details);
    Frame().ListView()->SetColumnWidth(5, 251);
    Frame().Splitter()->setSizes({180, client - 180});
    Run(ECommand::StatusBar);
    EXPECT_FALSE(Frame().statusBar()->isVisibleTo(&Frame()));
    Frame().close();
    m_app.reset();
    CExplorerLayout kept = ReadExplorerLayout();
    EXPECT_EQ(FormatWindowPosition(kept.position), "0040 0030 0940 0730 0000 0000 0001 0000");
    EXPECT_EQ(kept.treeWidth, 180);
    EXPECT_EQ(kept.viewMode, EListViewMode::Details);
    EXPECT_EQ(kept.columns[5], 251);
    EXPECT_EQ(kept.columns[0], 125);
    const std::string first = UserHive();
    ASSERT_NE(first.find("\"Window Position\"=\"0040 0030 0940 0730 0000 0000 0001 0000\""),
              std::string::npos)
        << first;

    // Read back as it was kept, and kept again the same.
    ASSERT_TRUE(StartExplorer());
    EXPECT_FALSE(Frame().statusBar()->isVisibleTo(&Frame()));
    EXPECT_EQ(Frame().ListView()->ViewMode(), EListViewMode::Details);
    EXPECT_EQ(Frame().ListView()->ColumnWidth(5), 251);
    EXPECT_EQ(Frame().Splitter()->sizes()[0], 180);
    Screenshot(&Frame(), "main-window-kept-layout");
    Frame().close();
    m_app.reset();
    EXPECT_EQ(UserHive(), first);
    EXPECT_EQ(Problems(), "");
}

INSTANTIATE_FOR_ENGINES(MainWindow);
