// The Sheetforge window driven through its real widgets on the offscreen platform, over a
// generation environment held in memory that the tests can hold at a chosen query.

#include "MemoryEnvironment.h"
#include "RunTestSupport.h"
#include "Settings.h"
#include "Sheetforge.h"
#include "SheetforgeDialog.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <clocale>
#include <future>
#include <gtest/gtest.h>

using namespace runtest;

namespace {

QApplication& Application() {
    static int argc = 1;
    static char name[] = "sheetforge_dialog_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* application = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    return *application;
}

// Processes window events until the condition holds; false if it never does.
template <class F> bool ProcessUntil(F condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Holds the run when it opens the list of one area key, until released.
class CGate {
public:
    void Release() { m_release.set_value(); }
    bool IsReached() const { return m_reached.load(); }
    void Wait() {
        m_reached.store(true);
        m_released.wait();
    }

private:
    std::promise<void> m_release;
    std::shared_future<void> m_released = m_release.get_future().share();
    std::atomic<bool> m_reached{false};
};

class SheetforgeDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        Application();
        std::setlocale(LC_ALL, "C");
        setenv("DORVALE_REGISTRY", (m_dir.Path() / "registry").c_str(), 1);
        std::filesystem::create_directories(m_dir.Path() / "registry");
        WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::HttpPath,
                          (m_dir.Path() / "site").c_str());
        WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::InstallDir,
                          (m_dir.Path() / "install/").c_str());
        WriteTemplates(m_dir.Path() / "install");
        m_config.Load();
    }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    // The environment of each run: two areas with a few files; the gate (when set) holds
    // the run as it opens the list of `gateKey`.
    EnvironmentFactory Factory() {
        return [this] {
            auto env = std::make_unique<CMemoryEnvironment>();
            env->areas.areas = {{1, "Games", true}, {2, "Tools", true}};
            CMemoryFileGroup group;
            group.name = "Main";
            group.areas = env->areas.areas;
            env->groups.groups = {group};
            for (int id = 1; id <= 3; ++id) {
                CFileDetail file;
                file.fileId = id;
                file.title = "File " + std::to_string(id);
                env->catalogue.files.push_back(file);
                env->catalogue.areas[1].push_back(id);
            }
            if (m_gate) {
                env->catalogue.onOpenList = [this](long long key, int) {
                    if (key == m_gateKey && !m_gate->IsReached()) {
                        m_gate->Wait();
                    }
                };
            }
            return env;
        };
    }

    static QString Text(QWidget& dialog, const char* name) {
        if (auto* label = dialog.findChild<QLabel*>(name)) {
            return label->text();
        }
        if (auto* button = dialog.findChild<QPushButton*>(name)) {
            return button->text();
        }
        return "<missing " + QString(name) + ">";
    }
    static QPushButton* Button(QWidget& dialog, const char* name) {
        return dialog.findChild<QPushButton*>(name);
    }
    std::string Log() { return testsupport::ReadFile(m_dir.Path() / "install" / "Sheetforge.log"); }
    std::string Registry(const char* name) {
        std::string text;
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, text, 64);
        return text;
    }

    testsupport::CTempDir m_dir;
    CSheetforgeConfig m_config;
    std::unique_ptr<CGate> m_gate;
    long long m_gateKey = 1;
};

// Saves the window as it is now in build/<config>/sheetforge-screenshots/<name>.png.
void Shot(QWidget& widget, const std::string& name) {
    QApplication::processEvents();
    const std::filesystem::path dir =
        std::filesystem::path(DORVALE_BINARY_DIR) / "sheetforge-screenshots";
    std::filesystem::create_directories(dir);
    EXPECT_TRUE(widget.grab().save(QString::fromStdString((dir / (name + ".png")).string())))
        << name;
}

} // namespace

TEST_F(SheetforgeDialogTest, ShowsItsControlsAndRunsAGenerationToTheEnd) {
    CSheetforgeDialog dialog(m_config, false, Factory());
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Dorvale Sheetforge");
    ASSERT_NE(dialog.findChild<QGroupBox*>(), nullptr);
    EXPECT_EQ(dialog.findChild<QGroupBox*>()->title(), "Status");
    // A fresh installation has no last run.
    EXPECT_EQ(Text(dialog, "status1"), "Last processed: None");
    EXPECT_EQ(Text(dialog, "status2"), "Total files processed: 0");
    EXPECT_EQ(Text(dialog, "startButton"), "&Start");
    EXPECT_EQ(Text(dialog, "closeButton"), "Close");
    EXPECT_EQ(Text(dialog, "helpButton"), "Help");
    auto* progress = dialog.findChild<QProgressBar*>("progress");
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    Shot(dialog, "window");

    // The window menu entry, after a separator, opens the About box.
    const QList<QAction*> actions = dialog.actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_TRUE(actions[0]->isSeparator());
    EXPECT_EQ(actions[1]->text(), "&About Sheetforge...");
    actions[1]->trigger();
    auto* about = dialog.findChild<QDialog*>("aboutBox");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), "About Dorvale Sheetforge");
    EXPECT_EQ(Text(*about, "programVersion"), "Dorvale Sheetforge 1.0");
    EXPECT_EQ(Text(*about, "programName"), "Sheetforge");
    Shot(*about, "about");
    about->accept();
    Button(dialog, "helpButton")->click();
    auto* help = dialog.findChild<QMessageBox*>("helpBox");
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->windowTitle(), "Dorvale Sheetforge");
    Shot(*help, "help");
    help->accept();

    Button(dialog, "startButton")->click();
    EXPECT_EQ(Text(dialog, "startButton"), "&Stop");
    EXPECT_EQ(Text(dialog, "status1"), "Initializing, please wait...");
    EXPECT_EQ(Text(dialog, "status2"), "");
    ASSERT_TRUE(ProcessUntil([&] { return !dialog.IsRunning(); }));
    ASSERT_TRUE(ProcessUntil([&] { return Text(dialog, "startButton") == "&Start"; }));
    const std::string log = Log();
    const std::string stamp = log.substr(20, log.find('\n') - 20);
    EXPECT_EQ(Text(dialog, "status1").toStdString(), "Last processed: " + stamp);
    EXPECT_EQ(Text(dialog, "status2"), "Total files processed: 3");
    EXPECT_EQ(progress->value(), 0);
    EXPECT_TRUE(Button(dialog, "startButton")->isEnabled());
    EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / "site" / "details" / "3.asp"));

    // Closing writes the last run back.
    Button(dialog, "closeButton")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(Registry(settings::LastDateProcessed), stamp);
    DWORD files = 0;
    ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::LastFilesProcessed,
                       files);
    EXPECT_EQ(files, 3u);

    // The next start of the program shows them.
    CSheetforgeConfig again;
    again.Load();
    CSheetforgeDialog second(again, false, Factory());
    EXPECT_EQ(Text(second, "status1").toStdString(), "Last processed: " + stamp);
    EXPECT_EQ(Text(second, "status2"), "Total files processed: 3");
}

TEST_F(SheetforgeDialogTest, StopDuringARunAndTheErrorLine) {
    m_gate = std::make_unique<CGate>();
    CSheetforgeDialog dialog(m_config, false, Factory());
    dialog.show();
    Button(dialog, "startButton")->click();
    ASSERT_TRUE(ProcessUntil([&] { return m_gate->IsReached(); }));
    ASSERT_TRUE(ProcessUntil([&] { return Text(dialog, "status2") == "Area: Games"; }));
    EXPECT_EQ(Text(dialog, "status1"), "Generating area body pages...");
    Shot(dialog, "window-running");
    Button(dialog, "startButton")->click(); // now Stop
    EXPECT_EQ(Text(dialog, "status1"), "Stoping generation, please wait...");
    EXPECT_EQ(Text(dialog, "status2"), "");
    EXPECT_FALSE(Button(dialog, "startButton")->isEnabled());
    m_gate->Release();
    ASSERT_TRUE(ProcessUntil([&] { return Button(dialog, "startButton")->isEnabled(); }));
    EXPECT_EQ(Text(dialog, "startButton"), "&Start");
    EXPECT_EQ(Text(dialog, "status2"), "Total files processed: 0");
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "site" / "areas"));
    EXPECT_TRUE(dialog.isVisible());

    // A failing run keeps its error on the second line.
    std::filesystem::remove(m_dir.Path() / "install" / "templates" / "filelist.tmpl");
    m_gate.reset();
    Button(dialog, "startButton")->click();
    ASSERT_TRUE(ProcessUntil([&] { return !dialog.IsRunning(); }));
    ASSERT_TRUE(ProcessUntil([&] { return Text(dialog, "startButton") == "&Start"; }));
    EXPECT_EQ(Text(dialog, "status2"), "Error generating, check Sheetforge.log for details");
    EXPECT_TRUE(Text(dialog, "status1").startsWith("Last processed: "));
    Shot(dialog, "window-error");
}

TEST_F(SheetforgeDialogTest, CloseDuringARunWaitsForTheStop) {
    m_gate = std::make_unique<CGate>();
    m_gateKey = AREA_KEY_POPULAR;
    CSheetforgeDialog dialog(m_config, false, Factory());
    dialog.show();
    Button(dialog, "startButton")->click();
    ASSERT_TRUE(ProcessUntil([&] { return m_gate->IsReached(); }));
    Button(dialog, "closeButton")->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(Text(dialog, "status1"), "Stoping generation, please wait...");
    EXPECT_FALSE(Button(dialog, "startButton")->isEnabled());
    m_gate->Release();
    ASSERT_TRUE(ProcessUntil([&] { return !dialog.isVisible(); }));
    const std::string log = Log();
    EXPECT_EQ(log.rfind("Start generation on ", 0), 0u);
    EXPECT_NE(log.find("\nStop generation on "), std::string::npos);
    // The stopped run's stamp and count are the last run now.
    EXPECT_EQ(Registry(settings::LastDateProcessed), log.substr(20, log.find('\n') - 20));
}

TEST_F(SheetforgeDialogTest, AutorunStartsAtOnceAndClosesWhenDone) {
    CSheetforgeDialog dialog(m_config, true, Factory());
    dialog.show();
    EXPECT_EQ(Text(dialog, "startButton"), "&Stop");
    ASSERT_TRUE(ProcessUntil([&] { return !dialog.isVisible(); }));
    EXPECT_FALSE(dialog.IsRunning());
    EXPECT_TRUE(std::filesystem::exists(m_dir.Path() / "site" / "index.asp"));
    DWORD files = 0;
    ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::LastFilesProcessed,
                       files);
    EXPECT_EQ(files, 3u);
}

TEST_F(SheetforgeDialogTest, MissingConfigurationShowsTheErrorBox) {
    CSheetforgeConfig empty;
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, settings::SettingsKey), ERROR_SUCCESS);
    ASSERT_EQ(key.DeleteValue(settings::HttpPath), ERROR_SUCCESS);
    empty.Load();
    EXPECT_FALSE(empty.IsConfigured());
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            return;
        }
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        Shot(*box, "configuration-missing");
        box->accept();
    });
    EXPECT_FALSE(CheckConfiguration(empty));
    EXPECT_EQ(title, "Dorvale Sheetforge");
    EXPECT_EQ(text, "Unable to load configuration, run Dorvale Setup first.");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_TRUE(CheckConfiguration(m_config));
}

TEST(SheetforgeOptions, AutorunInAnyCaseAloneAndTheOtherOptions) {
    EXPECT_TRUE(ParseSheetforgeOptions({"/autorun"}).autorun);
    EXPECT_TRUE(ParseSheetforgeOptions({"/AUTORUN"}).autorun);
    EXPECT_TRUE(ParseSheetforgeOptions({"/AutoRun"}).autorun);
    EXPECT_FALSE(ParseSheetforgeOptions({"/autorunx"}).autorun);
    EXPECT_FALSE(ParseSheetforgeOptions({"autorun"}).autorun);
    EXPECT_FALSE(ParseSheetforgeOptions({}).autorun);
    EXPECT_FALSE(ParseSheetforgeOptions({"/autorun", "x"}).autorun);
    EXPECT_TRUE(ParseSheetforgeOptions({"--console"}).console);
    EXPECT_TRUE(ParseSheetforgeOptions({"--help"}).help);
    EXPECT_EQ(ParseSheetforgeOptions({"--frobnicate"}).error, "unknown option --frobnicate");
    EXPECT_EQ(ParseSheetforgeOptions({"--console", "--jobs", "3"}).jobs, 3);
    EXPECT_EQ(ParseSheetforgeOptions({"--jobs=2", "--console"}).jobs, 2);
    EXPECT_EQ(ParseSheetforgeOptions({"--console"}).jobs, 0);
    for (const auto& wrong : std::vector<std::vector<std::string>>{
             {"--jobs", "0"}, {"--jobs", "x"}, {"--jobs=65"}, {"--jobs"}, {"--jobs", "2x"}}) {
        EXPECT_EQ(ParseSheetforgeOptions(wrong).error, "--jobs takes a number from 1 to 64");
    }
    EXPECT_EQ(ParseSheetforgeOptions({"whatever"}).error, "");
}
