// The sheetforge program as a user starts it: in the console (as from cron), with /autorun
// in its window on the offscreen platform, and as a second copy. Each over a whole test
// installation with the registered Catalink and an SQLite catalogue.

#include "FileAreaStore.h"
#include "RunTestSupport.h"
#include "Settings.h"
#include "SingleInstance.h"
#include "SiteFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace runtest;
using testsupport::RunProgram;

namespace {

class SheetforgeProgram : public ::testing::Test {
protected:
    void SetUp() override {
        std::setlocale(LC_ALL, "C");
        // The program decides between window and console by these.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            unsetenv(name);
        }
        m_site = std::make_unique<CSite>(testsupport::EEngine::SQLite);
        ASSERT_TRUE(m_site->IsAvailable()) << m_site->why;
        m_site->WriteAreas({{1, "Games", 5, "/games", ""}, {2, "Hidden", 2, "", ""}},
                           {{"Main", {1}}, {"Staff", {2}}});
        CSiteFile file;
        file.title = "First";
        file.areas = {1};
        CSiteFile second = file;
        second.title = "Second";
        ASSERT_EQ(m_site->AddFiles({file, second}).size(), 2u);
    }

    testsupport::CProgramResult Sheetforge(const std::vector<std::string>& arguments,
                                           std::vector<std::string> env = {}) {
        std::vector<std::string> argv = {testsupport::BuiltProgram("sheetforge")};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        for (const std::string& entry : m_site->ChildEnvironment()) {
            env.push_back(entry);
        }
        return RunProgram(argv, env);
    }

    std::string LastDate() {
        std::string text;
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::LastDateProcessed,
                         text, 64);
        return text;
    }
    DWORD LastFiles() {
        DWORD files = 0;
        ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::LastFilesProcessed,
                           files);
        return files;
    }
    std::string LogStamp() {
        const std::string log = m_site->Log();
        return log.substr(20, log.find('\n') - 20);
    }

    std::unique_ptr<CSite> m_site;
};

} // namespace

TEST_F(SheetforgeProgram, HelpAndUnknownOptions) {
    auto result = Sheetforge({"--help"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("/autorun"), std::string::npos);
    EXPECT_NE(result.out.find("--console"), std::string::npos);
    EXPECT_NE(result.out.find("cron"), std::string::npos);
    result = Sheetforge({"--frobnicate"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("unknown option --frobnicate"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_site->SitePath() / "index.asp"));
}

TEST_F(SheetforgeProgram, WithoutADisplayItRunsOneGenerationInTheConsole) {
    const auto result = Sheetforge({});
    ASSERT_EQ(result.exitCode, 0) << result.err << m_site->Log();
    // Standard error is not a terminal here: one plain line per change. Status is taken at a
    // rate, so of the second lines only the last one before each first line is sure to show.
    for (const char* line :
         {"Initializing, please wait...\n", "Generating group index\n",
          "Generating area body pages...\n", "Area: Hidden\n", "Area: Games\n",
          "Generating group pages: Main\n", "Generating most popular file pages...\n", "Second\n",
          "100%\n", "Total files processed: 2\n"}) {
        EXPECT_NE(result.err.find(line), std::string::npos) << line << "\n" << result.err;
    }
    EXPECT_EQ(result.err.find("\033["), std::string::npos);
    const auto tree = ReadTree(m_site->SitePath());
    EXPECT_EQ(tree.count("details/2.asp"), 1u);
    EXPECT_EQ(tree.at("index.asp"), "index:[Main|Main]\n");
    EXPECT_EQ(LastDate(), LogStamp());
    EXPECT_NE(result.err.find("Last processed: " + LogStamp() + "\n"), std::string::npos);
    EXPECT_EQ(LastFiles(), 2u);

    // --console chooses the console even where a window could be shown.
    std::filesystem::remove_all(m_site->SitePath());
    const auto again = Sheetforge({"--console"}, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_TRUE(std::filesystem::exists(m_site->SitePath() / "download" / "1.asp"));
}

TEST_F(SheetforgeProgram, AConsoleRunThatFailsExitsWithOne) {
    // A page that cannot be written fails the run; the others are still written.
    std::filesystem::create_directories(m_site->SitePath());
    testsupport::WriteFile(m_site->SitePath() / "details", "not a directory");
    const auto unwritable = Sheetforge({"--console"});
    EXPECT_EQ(unwritable.exitCode, 1) << unwritable.err;
    EXPECT_NE(m_site->Log().find("Could not write page " +
                                 (m_site->SitePath() / "details").string() +
                                 "/1.asp: Not a directory\n"),
              std::string::npos)
        << m_site->Log();
    EXPECT_TRUE(std::filesystem::exists(m_site->SitePath() / "download" / "2.asp"));
    std::filesystem::remove(m_site->InstallPath() / "Sheetforge.log");

    std::filesystem::remove(m_site->InstallPath() / "templates" / "filelist.tmpl");
    const auto result = Sheetforge({"--console"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Error generating, check Sheetforge.log for details\n"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("Total files processed"), std::string::npos);
    EXPECT_NE(m_site->Log().find("Could not load filelist.tmpl\n"), std::string::npos);
    EXPECT_EQ(LastDate(), LogStamp());

    // Without the output directory setting nothing can run.
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, settings::SettingsKey), ERROR_SUCCESS);
    ASSERT_EQ(key.DeleteValue(settings::HttpPath), ERROR_SUCCESS);
    const auto unconfigured = Sheetforge({"--console"});
    EXPECT_EQ(unconfigured.exitCode, 1);
    EXPECT_NE(unconfigured.err.find("Unable to load configuration, run Dorvale Setup first."),
              std::string::npos);

    // A hive that cannot be parsed is said to be so, with its file and line: running the
    // setup program again would not help.
    const std::string hive = RegGetHivePath(HKEY_LOCAL_MACHINE);
    testsupport::WriteFile(hive, testsupport::ReadFile(hive) + "\n\"stray\"=\"value\n");
    const auto unreadable = Sheetforge({"--console"});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_NE(unreadable.err.find("sheetforge: the registry cannot be read: " + hive + ":"),
              std::string::npos)
        << unreadable.err;
    EXPECT_EQ(unreadable.err.find("run Dorvale Setup first"), std::string::npos);
}

TEST_F(SheetforgeProgram, ADamagedStoreIsAnErrorOfTheRunNotASmallerSite) {
    // Areas 1 and 2 change places: a search by id would no longer find one of them.
    const std::filesystem::path store = m_site->Dir() / "db" / "filearea.dat";
    std::string bytes = testsupport::ReadFile(store);
    ASSERT_EQ(bytes.size(), 3 * AREA_RECORD_SIZE);
    std::swap_ranges(bytes.begin() + AREA_RECORD_SIZE, bytes.begin() + 2 * AREA_RECORD_SIZE,
                     bytes.begin() + 2 * AREA_RECORD_SIZE);
    testsupport::WriteFile(store, bytes);

    const auto result = Sheetforge({"--console"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("Error generating, check Sheetforge.log for details"),
              std::string::npos)
        << result.err;
    EXPECT_NE(m_site->Log().find(store.string() + " is damaged: its area ids are not in "
                                                  "ascending order (record 2 has id 1 after 2)\n"),
              std::string::npos)
        << m_site->Log();
    EXPECT_FALSE(std::filesystem::exists(m_site->SitePath() / "index.asp"));
}

TEST_F(SheetforgeProgram, AutorunInCapitalsRunsInTheWindowAndClosesItself) {
    const auto result = Sheetforge({"/AUTORUN"}, {"QT_QPA_PLATFORM=offscreen"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto tree = ReadTree(m_site->SitePath());
    EXPECT_EQ(tree.count("details/1.asp"), 1u);
    EXPECT_EQ(tree.count("files/Main/1/page1-title.asp"), 1u);
    EXPECT_EQ(LastFiles(), 2u);
    EXPECT_EQ(LastDate(), LogStamp());
    const std::string log = m_site->Log();
    EXPECT_NE(log.find(", processed 2 files\n"), std::string::npos);
}

TEST_F(SheetforgeProgram, ASecondCopyRaisesTheFirstAndExits) {
    static int argc = 1;
    static char name[] = "sheetforge_program_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);

    QProcess first;
    QStringList env = QProcessEnvironment::systemEnvironment().toStringList();
    for (const std::string& entry : m_site->ChildEnvironment()) {
        env << QString::fromStdString(entry);
    }
    env << "QT_QPA_PLATFORM=offscreen";
    first.setEnvironment(env);
    first.start(QString::fromStdString(testsupport::BuiltProgram("sheetforge")), {});
    ASSERT_TRUE(first.waitForStarted());
    // The first copy listens under the name of this installation.
    CSingleInstance instance;
    const QString socket = QDir::temp().filePath(instance.GetName());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!QFile::exists(socket) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(QFile::exists(socket));

    const auto second = Sheetforge({}, {"QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    const auto console = Sheetforge({"--console"});
    EXPECT_EQ(console.exitCode, 1);
    EXPECT_NE(console.err.find("another copy of Dorvale Sheetforge is running"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_site->SitePath() / "index.asp"));
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished();
    // The lock went with the first copy.
    const auto after = Sheetforge({"--console"});
    EXPECT_EQ(after.exitCode, 0) << after.err;
}

TEST_F(SheetforgeProgram, StopSignalsEndAConsoleRunEvenWhenItIsStuck) {
    static int argc = 1;
    static char name[] = "sheetforge_program_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);

    // A log that is a pipe nobody reads holds the run in its first write for ever.
    const std::filesystem::path log = m_site->InstallPath() / "Sheetforge.log";
    std::filesystem::remove(log);
    ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
    QProcess run;
    QStringList env = QProcessEnvironment::systemEnvironment().toStringList();
    for (const std::string& entry : m_site->ChildEnvironment()) {
        env << QString::fromStdString(entry);
    }
    run.setEnvironment(env);
    run.start(QString::fromStdString(testsupport::BuiltProgram("sheetforge")), {"--console"});
    ASSERT_TRUE(run.waitForStarted());
    run.setReadChannel(QProcess::StandardError);
    QByteArray err;
    while (!err.contains("Initializing") && run.waitForReadyRead(30000)) {
        err += run.readAllStandardError();
    }
    ASSERT_TRUE(err.contains("Initializing")) << err.toStdString();

    // The first signal asks the run to stop; the run cannot hear it, so the second ends
    // the program.
    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    const bool ended = run.waitForFinished(10000);
    EXPECT_TRUE(ended);
    if (!ended) {
        ::close(::open(log.c_str(), O_RDONLY | O_NONBLOCK)); // let the stuck write go
        run.kill();
        run.waitForFinished();
    }
    EXPECT_EQ(run.exitStatus(), QProcess::CrashExit);
}
