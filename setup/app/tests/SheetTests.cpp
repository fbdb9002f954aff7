// Dorvale Setup's real sheet on the offscreen platform, answered by a scripted prompt, over a
// registry, database directory and catalogue of the test's own, on the SQLite and PostgreSQL
// drivers. Every page and dialog is saved as a picture in <build>/setup-screenshots/.

#include "AreaPages.h"
#include "ComTestSupport.h"
#include "IISMetabaseManager.h"
#include "ServerConnection.h"
#include "DownloadLocation.h"
#include "GroupFiles.h"
#include "OdbcTestSupport.h"
#include "Settings.h"
#include "SettingsPages.h"
#include "SetupCatalogue.h"
#include "SetupHelp.h"
#include "SetupSheet.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <functional>
#include <sstream>

using prompt::CScriptedPrompt;
using prompt::EAnswer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::EEngine;

namespace {

QApplication& Application() {
    static int argc = 1;
    static char name[] = "setup_app_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *application;
}

std::filesystem::path ScreenshotDir() {
    const std::filesystem::path dir =
        std::filesystem::path(DORVALE_BINARY_DIR) / "setup-screenshots";
    std::filesystem::create_directories(dir);
    return dir;
}

void Shot(QWidget* widget, const std::string& name) {
    QApplication::processEvents();
    EXPECT_TRUE(
        widget->grab().save(QString::fromStdString((ScreenshotDir() / (name + ".png")).string())))
        << name;
}

// Answers the modal dialogs the sheet opens, in order: each step gets the dialog that came
// up and ends by accepting or rejecting it.
class CDialogSteps {
public:
    CDialogSteps() {
        m_timer.setInterval(15);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
    }
    void Then(std::function<void(QDialog&)> step) { m_steps.push_back(std::move(step)); }
    bool Done() const { return m_steps.empty(); }

private:
    void Poll() {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || dialog->property("answered").toBool() || m_steps.empty()) {
            return;
        }
        dialog->setProperty("answered", true);
        auto step = std::move(m_steps.front());
        m_steps.pop_front();
        step(*dialog);
    }
    QTimer m_timer;
    std::deque<std::function<void(QDialog&)>> m_steps;
};

template <class T> T* Child(QWidget& parent, const char* name) {
    T* child = parent.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

void Click(QWidget& parent, const char* name) {
    if (auto* button = Child<QPushButton>(parent, name)) {
        button->click();
    }
}

void Type(QWidget& parent, const char* name, const std::string& text) {
    if (auto* edit = Child<QLineEdit>(parent, name)) {
        edit->setText(QString::fromStdString(text));
    }
}

// A user typing into a field: the text changes as edited, then the field is left.
void TypeAsUser(QWidget& parent, const char* name, const std::string& text) {
    if (auto* edit = Child<QLineEdit>(parent, name)) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, QString::fromStdString(text));
        emit edit->editingFinished();
    }
}

void SelectLine(QListWidget* list, const std::string& text) {
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().toStdString() == text) {
            list->setCurrentItem(list->item(i));
            list->item(i)->setSelected(true);
            return;
        }
    }
    ADD_FAILURE() << "no line " << text;
}

std::vector<std::string> Lines(QListWidget* list) {
    std::vector<std::string> lines;
    for (int i = 0; i < list->count(); ++i) {
        lines.push_back(list->item(i)->text().toStdString());
    }
    return lines;
}

std::vector<std::string> TabTitles(QTabWidget* tabs) {
    std::vector<std::string> titles;
    for (int i = 0; i < tabs->count(); ++i) {
        titles.push_back(tabs->tabText(i).toStdString());
    }
    return titles;
}

class SheetTest : public ::testing::TestWithParam<EEngine> {
protected:
    void SetUp() override {
        Application();
        std::filesystem::create_directories(m_dir / "registry");
        setenv("DORVALE_REGISTRY", (m_dir / "registry").c_str(), 1);
        m_source = std::make_unique<testsupport::CTestDataSource>(GetParam(), m_dir.Path());
        if (!m_source->IsAvailable()) {
            GTEST_SKIP() << testsupport::NO_POSTGRES;
        }
        ASSERT_TRUE(CreateCatalogue(m_source->Name()));
    }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    // The pictures are taken once, on the first engine.
    void Picture(QWidget* widget, const std::string& name) const {
        if (GetParam() == EEngine::SQLite) {
            Shot(widget, name);
        }
    }
    static std::string Setting(const char* name) {
        std::string text;
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, text);
        return text;
    }
    static DWORD Number(const char* name) {
        DWORD value = 0xFFFFFFFF;
        ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value);
        return value;
    }

    testsupport::CTempDir m_dir;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
};

} // namespace

TEST_P(SheetTest, FromNothingToAConfiguredLibrary) {
    const std::string db = m_dir / "db";
    const std::string web = m_dir / "web";
    std::filesystem::create_directories(web);
    // The web server serves `web` at its root.
    ASSERT_TRUE(WriteRegistryText(
        HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots",
        "/", (web + ",,1").c_str()));
    const double stale = AddCatalogueFile(m_source->Name(), "Stale", 1, {});
    ASSERT_NE(stale, 0);

    CScriptedPrompt script;
    CDialogSteps steps;
    CQtSetupUi ui(script);
    CSetupSession session(script, ui);
    session.SetDataSource(m_source->Name());

    // First run with /create: the tables are made anew and Quick Setup asks for the path.
    steps.Then([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Dorvale Quick Setup");
        EXPECT_EQ(Child<QLineEdit>(dialog, "path")->text().toStdString(),
                  std::filesystem::current_path().string());
        Picture(&dialog, "quick-setup");
        Type(dialog, "path", "  ");
        dialog.accept(); // refused: stays open
        EXPECT_TRUE(dialog.isVisible());
        script.ChooseNext(db);
        Click(dialog, "browse");
        EXPECT_EQ(Child<QLineEdit>(dialog, "path")->text().toStdString(), db);
        dialog.accept();
    });
    script.Expect("Please enter a valid directory path.", "Dorvale Setup");
    script.Expect("The directory \"" + db + "\" does not exist. Would you like to create it?",
                  "Question", EAnswer::Yes);
    ASSERT_TRUE(session.Start("/create"));
    EXPECT_EQ(CountFilesInArea(m_source->Name(), 1), 0); // dropped with the old tables
    EXPECT_EQ(Setting(settings::DatabasePath), db);

    CSetupSheet sheet(session, ui);
    sheet.show();
    // The program's icon, at the title bar's and the task switcher's sizes.
    EXPECT_FALSE(sheet.windowIcon().pixmap(16).isNull());
    EXPECT_THAT(sheet.windowIcon().availableSizes(),
                ElementsAre(QSize(16, 16), QSize(32, 32), QSize(48, 48)));
    if (GetParam() == EEngine::SQLite) {
        EXPECT_TRUE(sheet.windowIcon().pixmap(48).save(
            QString::fromStdString((ScreenshotDir() / "icon.png").string())));
    }
    QTabWidget* tabs = sheet.Tabs();
    EXPECT_THAT(TabTitles(tabs),
                ElementsAre("General", "Upload Options", "File Areas", "File Groups"));
    EXPECT_EQ(Child<QPushButton>(sheet, "cancel")->text(), "Close");
    EXPECT_EQ(Child<QLineEdit>(sheet, "DatabasePath")->text().toStdString(), db);
    Picture(&sheet, "page-general");

    // General: leaving checks the fields in order and keeps the user on the page.
    Type(sheet, "HttpServer", "files.example.org");
    script.Expect("Please enter a fully qualified & valid URL.", "Error");
    tabs->setCurrentIndex(1);
    EXPECT_EQ(tabs->currentIndex(), 0);
    Type(sheet, "HttpServer", "http://files.example.org");
    Type(sheet, "HttpPath", web);
    Type(sheet, "AdminEmail", "files@example.org");
    script.Expect("Changes to the Database Path will not take effect until you close and "
                  "restart Dorvale Setup.",
                  "Information");
    TypeAsUser(sheet, "DatabasePath", m_dir / "elsewhere");
    TypeAsUser(sheet, "DatabasePath", db);
    script.Expect("The directory \"" + (m_dir / "elsewhere") +
                      "\" does not exist. Would you like to create it?",
                  "Question", EAnswer::No);
    script.Expect("Please enter a valid directory path.", "Error");
    TypeAsUser(sheet, "DatabasePath", m_dir / "elsewhere");
    tabs->setCurrentIndex(1);
    EXPECT_EQ(tabs->currentIndex(), 0);
    Type(sheet, "DatabasePath", db);
    tabs->setCurrentIndex(1);
    ASSERT_EQ(tabs->currentIndex(), 1);
    EXPECT_THAT(script.Problems(), IsEmpty());

    // Upload Options: HTTP Uploads comes and goes with the upload mode, at once.
    auto* mode = Child<QComboBox>(sheet, "AllowUploads");
    EXPECT_FALSE(Child<QGroupBox>(sheet, "virusChecking")->isEnabled());
    Picture(&sheet, "page-upload-options");
    mode->setCurrentIndex(1);
    EXPECT_THAT(TabTitles(tabs), ElementsAre("General", "Upload Options", "HTTP Uploads",
                                             "File Areas", "File Groups"));
    EXPECT_TRUE(Child<QGroupBox>(sheet, "virusChecking")->isEnabled());
    mode->setCurrentIndex(2);
    EXPECT_THAT(TabTitles(tabs),
                ElementsAre("General", "Upload Options", "File Areas", "File Groups"));
    mode->setCurrentIndex(3);
    EXPECT_EQ(tabs->tabText(2), "HTTP Uploads");
    Type(sheet, "VirusExitCode", "256");
    script.Expect("Please enter an integer between 0 and 255.", "Dorvale Setup");
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentIndex(), 1);
    Type(sheet, "VirusExitCode", "3");
    script.ChooseNext(web);
    Click(sheet, "VirusCheckerBrowse");
    script.Expect("Please enter a valid file name and path.", "Error");
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentIndex(), 1);
    EXPECT_EQ(Number(settings::AllowUploads), 3u); // written on leaving, before the refusal
    Type(sheet, "VirusChecker", "");
    Picture(&sheet, "page-upload-options-allowed");
    tabs->setCurrentIndex(2);
    ASSERT_EQ(tabs->currentIndex(), 2);

    // HTTP Uploads.
    EXPECT_EQ(Child<QSpinBox>(sheet, "FreeSpaceThreshold")->value(), 5);
    EXPECT_EQ(Child<QSpinBox>(sheet, "FreeSpaceThreshold")->maximum(), 4095);
    Child<QSpinBox>(sheet, "FreeSpaceThreshold")->setValue(4095);
    Child<QComboBox>(sheet, "Overwrite")->setCurrentIndex(2);
    Picture(&sheet, "page-http-uploads");
    script.ChooseNext(m_dir / "bad");
    Click(sheet, "BadPathBrowse");
    script.Expect("The directory \"" + (m_dir / "bad") +
                      "\" does not exist. Would you like to create it?",
                  "Question", EAnswer::No);
    script.Expect("Please enter a valid directory path.", "Dorvale Setup");
    tabs->setCurrentIndex(3);
    EXPECT_EQ(tabs->currentIndex(), 2);
    Type(sheet, "BadPath", "");
    tabs->setCurrentIndex(3);
    ASSERT_EQ(tabs->currentIndex(), 3);
    EXPECT_THAT(script.Problems(), IsEmpty());

    // File Areas: two areas added through the editor, one edited.
    auto* areasPage = static_cast<CFileAreasPage*>(sheet.Page(ESheetPage::FileAreas));
    QListWidget* areas = areasPage->List();
    EXPECT_EQ(areas->count(), 0);
    const auto addArea = [&](const std::string& name, const std::string& dir, bool uploads,
                             const std::string& shot) {
        steps.Then([&, name, dir, uploads, shot](QDialog& dialog) {
            EXPECT_EQ(dialog.windowTitle(), "File Area Properties");
            auto* hosted = Child<QCheckBox>(dialog, "hosted");
            EXPECT_FALSE(Child<QLineEdit>(dialog, "path")->isEnabled());
            Type(dialog, "name", name);
            hosted->setChecked(true);
            EXPECT_TRUE(Child<QLineEdit>(dialog, "path")->isEnabled());
            TypeAsUser(dialog, "path", web + "/" + dir);
            EXPECT_EQ(Child<QLineEdit>(dialog, "httpAlias")->text().toStdString(), "/" + dir);
            EXPECT_EQ(Child<QLineEdit>(dialog, "path")->text().toStdString(),
                      web + "/" + dir + "/");
            if (uploads) {
                Child<QCheckBox>(dialog, "uploads")->setChecked(true);
                EXPECT_FALSE(hosted->isEnabled());
            }
            if (!shot.empty()) {
                Picture(&dialog, shot);
            }
            dialog.accept();
        });
        script.Expect("The directory \"" + web + "/" + dir +
                          "/\" does not exist. Would you like to create it?",
                      "Warning", EAnswer::Yes);
        Click(*areasPage, "add");
    };
    addArea("Games", "games", false, "dialog-file-area");
    addArea("Archive", "archive", true, "");
    EXPECT_THAT(Lines(areas), ElementsAre("Archive", "Games"));
    EXPECT_EQ(areas->currentItem()->text(), "Archive");
    Picture(&sheet, "page-file-areas");
    AreaRecord archive;
    ASSERT_TRUE(session.Store().FindArea(2, archive));
    EXPECT_EQ(archive.Flags, AREA_UPLOADABLE | AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY);
    EXPECT_EQ(archive.HttpAlias, "/archive");

    // Editing: a name the pages cannot carry is refused, then a good one kept.
    SelectLine(areas, "Games");
    steps.Then([&](QDialog& dialog) {
        EXPECT_EQ(Child<QLineEdit>(dialog, "name")->text(), "Games");
        EXPECT_EQ(Child<QLineEdit>(dialog, "httpAlias")->text(), "/games");
        Type(dialog, "name", ".games");
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        Type(dialog, "name", "Arcade");
        dialog.accept();
    });
    script.Expect("A file area name cannot begin with \".\".", "Warning");
    Click(*areasPage, "edit");
    EXPECT_THAT(Lines(areas), ElementsAre("Arcade", "Archive"));

    // Removing Arcade, which has a file with a local copy: moved to Archive.
    std::filesystem::create_directories(web + "/games");
    testsupport::WriteFile(web + "/games/pong.zip", "pong");
    const double pong =
        AddCatalogueFile(m_source->Name(), "Pong", 1, {BuildLocalLocation(1, "pong.zip")});
    ASSERT_NE(pong, 0);
    SelectLine(areas, "Arcade");
    steps.Then([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Dorvale Setup");
        Picture(&dialog, "dialog-remove-area");
        Click(dialog, "move");
    });
    steps.Then([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Select File Area");
        auto* list = Child<QListWidget>(dialog, "areas");
        EXPECT_THAT(Lines(list), ElementsAre("Archive"));
        Picture(&dialog, "dialog-select-area");
        dialog.accept(); // nothing selected: told
        SelectLine(list, "Archive");
        dialog.accept();
    });
    script.Expect("Are you sure you want to delete \"Arcade\"?", "Warning", EAnswer::Yes);
    script.Expect("Please select a file area to move files to.", "Error");
    Click(*areasPage, "remove");
    EXPECT_TRUE(steps.Done());
    EXPECT_THAT(Lines(areas), ElementsAre("Archive"));
    EXPECT_THAT(FileLocations(m_source->Name(), pong),
                ElementsAre(BuildLocalLocation(2, "pong.zip")));
    EXPECT_EQ(testsupport::ReadFile(web + "/archive/pong.zip"), "pong");
    EXPECT_FALSE(std::filesystem::exists(web + "/games/pong.zip"));
    EXPECT_EQ(CountFilesInArea(m_source->Name(), 2), 1);
    EXPECT_THAT(script.Problems(), IsEmpty());

    // File Groups.
    tabs->setCurrentIndex(4);
    ASSERT_EQ(tabs->currentIndex(), 4);
    auto* groupsPage = static_cast<CFileGroupsPage*>(sheet.Page(ESheetPage::FileGroups));
    steps.Then([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "File Group Properties");
        auto* list = Child<QListWidget>(dialog, "areas");
        EXPECT_THAT(Lines(list), ElementsAre("Archive"));
        Type(dialog, "name", "body");
        SelectLine(list, "Archive");
        Click(dialog, "toggle");
        EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
        Picture(&dialog, "dialog-file-group");
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible());
        Type(dialog, "name", "Everything");
        dialog.accept();
    });
    script.Expect("The name \"body\" is used by the site's own pages and cannot name a group.",
                  "Dorvale Setup");
    Click(*groupsPage, "add");
    EXPECT_THAT(Lines(groupsPage->List()), ElementsAre("Everything"));
    std::vector<std::uint32_t> ids;
    ASSERT_TRUE(ReadGroup(db, "Everything", ids));
    EXPECT_THAT(ids, ElementsAre(2u));
    Picture(&sheet, "page-file-groups");
    SelectLine(groupsPage->List(), "Everything");
    steps.Then([&](QDialog& dialog) {
        EXPECT_EQ(Child<QListWidget>(dialog, "areas")->item(0)->checkState(), Qt::Checked);
        Type(dialog, "name", "All");
        dialog.accept();
    });
    Click(*groupsPage, "edit");
    EXPECT_THAT(Lines(groupsPage->List()), ElementsAre("All"));
    EXPECT_FALSE(std::filesystem::exists(GetGroupFilePath(db, "Everything")));
    SelectLine(groupsPage->List(), "All");
    script.Expect("Are you sure you want to delete \"All\"?", "Warning", EAnswer::Yes);
    Click(*groupsPage, "remove");
    EXPECT_EQ(groupsPage->List()->count(), 0);
    EXPECT_THAT(EnumerateGroups(db), IsEmpty());

    // OK writes every page that was shown.
    EXPECT_EQ(Setting(settings::HttpServer), "");
    Click(sheet, "ok");
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(Setting(settings::HttpServer), "http://files.example.org");
    EXPECT_EQ(Setting(settings::HttpPath), web);
    EXPECT_EQ(Setting(settings::AdminEmail), "files@example.org");
    EXPECT_EQ(Number(settings::VirusExitCode), 3u);
    EXPECT_EQ(Number(settings::FreeSpaceThreshold), 4095u * 1048576u);
    EXPECT_EQ(Number(settings::Overwrite), 2u);
    EXPECT_TRUE(steps.Done());
    EXPECT_THAT(script.Problems(), IsEmpty());
}

TEST_P(SheetTest, SecondRunWithCreateAndAnAreaLeftWithoutAHome) {
    const std::string db = m_dir / "db";
    std::filesystem::create_directories(db);
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                      db.c_str());
    WriteRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::AllowUploads, 0);
    // The General page lets the user go on only with a valid site.
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpServer,
                      "https://lib.example.org");
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpPath, db.c_str());
    CScriptedPrompt script;
    CDialogSteps steps;
    CQtSetupUi ui(script);
    {
        CFileAreaStore store;
        ASSERT_TRUE(store.OpenForWriting(db));
        AreaRecord only;
        only.Name = "Only";
        only.Flags = AREA_DOWNLOADABLE;
        ASSERT_TRUE(store.AddArea(only));
    }
    AddCatalogueFile(m_source->Name(), "Kept", 1, {"http://mirror.example.org/k.zip"});

    // The server selection of the web server's admin base object, as the start-up shows it.
    CSelectServerDlg select(script, "W3SVC", {"Default Web Site", "Library"}, "", nullptr);
    EXPECT_EQ(select.windowTitle(), "Select HTTP Server");
    select.show();
    Picture(&select, "dialog-select-server");
    script.Expect("Select server from list", "Error");
    select.accept();
    EXPECT_TRUE(select.isVisible());
    SelectLine(Child<QListWidget>(select, "servers"), "Library");
    select.accept();
    EXPECT_EQ(select.Selected(), "Library");
    CSelectServerDlg ftp(script, "MSFTPSVC", {"FTP"}, "FTP", nullptr);
    EXPECT_EQ(ftp.windowTitle(), "Select FTP Server");
    ftp.accept();
    EXPECT_EQ(ftp.Selected(), "FTP");
    for (int run = 0; run < 2; ++run) {
        CSetupSession session(script, ui);
        session.SetDataSource(m_source->Name());
        ASSERT_TRUE(session.Start(run == 0 ? "" : "/CREATE"));
        EXPECT_EQ(CountFilesInArea(m_source->Name(), 1), run == 0 ? 1 : 0);
        CSetupSheet sheet(session, ui);
        sheet.show();
        EXPECT_EQ(sheet.Tabs()->count(), 4);
        sheet.Tabs()->setCurrentIndex(2);
        auto* areasPage = static_cast<CFileAreasPage*>(sheet.Page(ESheetPage::FileAreas));
        EXPECT_THAT(Lines(areasPage->List()), ElementsAre("Only"));
        if (run == 0) {
            // With uploads forbidden the editor's upload box is off and disabled.
            SelectLine(areasPage->List(), "Only");
            steps.Then([&](QDialog& dialog) {
                EXPECT_FALSE(Child<QCheckBox>(dialog, "uploads")->isEnabled());
                EXPECT_FALSE(Child<QLineEdit>(dialog, "ftpAlias")->isEnabled());
                dialog.reject();
            });
            Click(*areasPage, "edit");
            // The only area, with a file, cannot move anywhere; Cancel in the dialog
            // keeps it too.
            steps.Then([&](QDialog& dialog) { Click(dialog, "move"); });
            script.Expect("Are you sure you want to delete \"Only\"?", "Warning", EAnswer::Yes);
            script.Expect("There are no other file areas to move this area to.", "Error");
            Click(*areasPage, "remove");
            steps.Then([&](QDialog& dialog) { Click(dialog, "cancel"); });
            script.Expect("Are you sure you want to delete \"Only\"?", "Warning", EAnswer::Yes);
            Click(*areasPage, "remove");
            EXPECT_THAT(Lines(areasPage->List()), ElementsAre("Only"));
        }
        Click(sheet, "cancel");
        EXPECT_TRUE(steps.Done());
    }
    EXPECT_THAT(script.Problems(), IsEmpty());
}

// Help opens the guide at each page's and editor's topic; Manage... opens the web server's
// page for its virtual directories. No catalogue is needed for either.
TEST(SetupSheetHelp, PagesAndEditorsOpenTheirTopicsAndManageTheServersPages) {
    Application();
    testsupport::CTempDir dir;
    std::filesystem::create_directories(dir / "registry");
    setenv("DORVALE_REGISTRY", (dir / "registry").c_str(), 1);
    const std::string db = dir / "db";
    std::filesystem::create_directories(db);
    const char* key = settings::SettingsKey;
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::DatabasePath, db.c_str());
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpServer, "http://files.example.org/");
    WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpPath, db.c_str());
    WriteRegistryNumber(HKEY_LOCAL_MACHINE, key, settings::AllowUploads, 1);
    std::vector<std::string> opened;
    SetUrlOpener([&opened](const QString& address) {
        opened.push_back(address.toStdString());
        return true;
    });
    // The topic a help address opens, after checking that the guide has it.
    const auto topic = [](const std::string& address) {
        const QUrl url(QString::fromStdString(address));
        std::ifstream guide(url.toLocalFile().toStdString());
        std::stringstream text;
        text << guide.rdbuf();
        const std::string fragment = url.fragment().toStdString();
        EXPECT_NE(text.str().find("id=\"" + fragment + "\""), std::string::npos) << address;
        return fragment;
    };

    CScriptedPrompt script;
    CDialogSteps steps;
    CQtSetupUi ui(script);
    CSetupSession session(script, ui);
    session.SetDataSource("None");
    ASSERT_TRUE(session.Start(""));
    AreaRecord area;
    area.Name = "Games";
    area.Flags = AREA_DOWNLOADABLE;
    ASSERT_TRUE(session.Store().AddArea(area));
    {
        CSetupSheet sheet(session, ui);
        sheet.show();
        QTabWidget* tabs = sheet.Tabs();
        std::vector<std::string> topics;
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            ASSERT_EQ(tabs->currentIndex(), i) << script.Problems().size();
            Click(sheet, "help");
            ASSERT_EQ(opened.size(), topics.size() + 1);
            topics.push_back(topic(opened.back()));
        }
        EXPECT_THAT(topics, ElementsAre("general", "upload-options", "http-uploads", "file-areas",
                                        "file-groups"));
        // F1 asks the same as the button.
        QApplication::setActiveWindow(&sheet);
        QTest::keyClick(&sheet, Qt::Key_F1);
        ASSERT_EQ(opened.size(), 6u);
        EXPECT_EQ(topic(opened.back()), "file-groups");

        steps.Then([&](QDialog& dialog) {
            Click(dialog, "help");
            dialog.reject();
        });
        Click(*sheet.Page(ESheetPage::FileGroups), "add");
        ASSERT_EQ(opened.size(), 7u);
        EXPECT_EQ(topic(opened.back()), "group-editor");

        tabs->setCurrentIndex(3);
        steps.Then([&](QDialog& dialog) {
            Click(dialog, "help");
            // Manage... follows the aliases: off until the area is hosted here.
            auto* ftpManage = Child<QPushButton>(dialog, "ftpManage");
            auto* httpManage = Child<QPushButton>(dialog, "httpManage");
            EXPECT_FALSE(ftpManage->isEnabled());
            EXPECT_FALSE(httpManage->isEnabled());
            Child<QCheckBox>(dialog, "hosted")->setChecked(true);
            EXPECT_TRUE(ftpManage->isEnabled());
            EXPECT_TRUE(httpManage->isEnabled());
            Click(dialog, "httpManage");
            Click(dialog, "ftpManage");
            // Without a site address there is no page to open; the user is told where to
            // give one.
            WriteRegistryText(HKEY_LOCAL_MACHINE, key, settings::HttpServer, "");
            script.Expect("Enter the HTTP server address on the General page and apply it "
                          "first: the virtual directories are managed there.",
                          "Dorvale Setup");
            Click(dialog, "httpManage");
            dialog.reject();
        });
        Click(*sheet.Page(ESheetPage::FileAreas), "add");
        ASSERT_EQ(opened.size(), 10u);
        EXPECT_EQ(topic(opened[7]), "area-editor");
        EXPECT_EQ(opened[8], "http://files.example.org/scripts/iisadmin/ism.dll?http/dir");
        EXPECT_EQ(opened[9], "http://files.example.org/scripts/iisadmin/ism.dll?ftp/dir");
        EXPECT_TRUE(steps.Done());
        Click(sheet, "cancel");
    }
    SetUrlOpener({});
    EXPECT_THAT(script.Problems(), IsEmpty());
    unsetenv("DORVALE_REGISTRY");
}

INSTANTIATE_TEST_SUITE_P(Engines, SheetTest,
                         ::testing::Values(EEngine::SQLite, EEngine::PostgreSQL),
                         [](const ::testing::TestParamInfo<EEngine>& info) {
                             return std::string(testsupport::EngineName(info.param));
                         });

TEST(ServersPage, NamesChangedThroughTheSelectionAndTheManagersFollow) {
    Application();
    comtest::CComTestEnvironment com;
    ASSERT_EQ(comtest::CallRegistrationEntry(METABASE_LIBRARY), S_OK);
    CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
    ASSERT_TRUE(admin);
    {
        metabase::CMetabaseKey lm(admin);
        ASSERT_EQ(lm.Open("/LM", true, 1000), S_OK);
        for (const auto& [path, comment] :
             {std::pair{"W3SVC/1", "Default Web Site"}, {"W3SVC/2", "Intranet"},
              {"MSFTPSVC/1", "Default FTP Site"}}) {
            ASSERT_EQ(admin->AddKey(lm.Get(), (std::string(path) + "/ROOT").c_str()), S_OK);
            ASSERT_EQ(lm.SetString(path, MD_SERVER_COMMENT, comment, IIS_MD_UT_SERVER), S_OK);
        }
        ASSERT_EQ(lm.Close(), S_OK);
    }
    const std::string db = (com.Dir() / "db").string();
    std::filesystem::create_directories(db);
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey,
                                  settings::DatabasePath, db.c_str()));
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey,
                                  settings::WebServerName, "Default Web Site"));

    CScriptedPrompt script;
    CDialogSteps steps;
    CQtSetupUi ui(script);
    CSetupSession session(script, ui, MetabaseAdminBaseFactory());
    ASSERT_TRUE(session.Start(""));
    ASSERT_TRUE(session.IsMetabaseMode());
    EXPECT_EQ(session.Ftp(), nullptr); // a later run never asks for one
    CSetupSheet sheet(session, ui);
    sheet.show();
    QTabWidget* tabs = sheet.Tabs();
    EXPECT_THAT(TabTitles(tabs), ElementsAre("General", "Upload Options", "File Areas",
                                             "File Groups", "Servers"));
    // General checks its fields when it is left.
    Type(sheet, "HttpServer", "http://files.example.org");
    Type(sheet, "HttpPath", db);
    tabs->setCurrentIndex(4);
    ASSERT_EQ(tabs->currentIndex(), 4);
    auto* web = Child<QLineEdit>(sheet, "webServerName");
    auto* ftp = Child<QLineEdit>(sheet, "ftpServerName");
    ASSERT_TRUE(web != nullptr && ftp != nullptr);
    EXPECT_EQ(web->text().toStdString(), "Default Web Site");
    EXPECT_FALSE(web->isEnabled());
    EXPECT_EQ(ftp->text().toStdString(), "");

    steps.Then([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Select HTTP Server");
        auto* list = Child<QListWidget>(dialog, "servers");
        EXPECT_THAT(Lines(list), ElementsAre("Default Web Site", "Intranet"));
        EXPECT_EQ(list->currentItem()->text().toStdString(), "Default Web Site");
        SelectLine(list, "Intranet");
        dialog.accept();
    });
    Click(sheet, "webServerNameChange");
    steps.Then([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "Select FTP Server");
        SelectLine(Child<QListWidget>(dialog, "servers"), "Default FTP Site");
        Shot(&dialog, "select-ftp-server");
        dialog.accept();
    });
    Click(sheet, "ftpServerNameChange");
    EXPECT_TRUE(steps.Done());
    EXPECT_EQ(web->text().toStdString(), "Intranet");
    EXPECT_EQ(ftp->text().toStdString(), "Default FTP Site");
    Shot(&sheet, "page-servers");

    ASSERT_TRUE(sheet.Apply());
    std::string name;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::WebServerName, name);
    EXPECT_EQ(name, "Intranet");
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::FtpServerName, name);
    EXPECT_EQ(name, "Default FTP Site");
    ASSERT_NE(session.Web(), nullptr);
    EXPECT_EQ(static_cast<CIISMetabaseManager*>(session.Web())->GetInstance(), 2u);
    ASSERT_NE(session.Ftp(), nullptr);
    EXPECT_THAT(script.Problems(), IsEmpty());
}
