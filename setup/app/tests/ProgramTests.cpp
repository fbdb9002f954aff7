// dorvale-setup run as a program: its command line, and the file-area store it holds for its
// whole run, which keeps the other programs out while it is open.

#include "FileAreaStore.h"
#include "Process.h"
#include "Settings.h"
#include "SetupSession.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

using ::testing::HasSubstr;

namespace {

// A run that must not get as far as a dialog.
class CNoDialogs : public ISetupUi {
public:
    bool QuickSetup(std::string&) override {
        ++asked;
        return false;
    }
    bool SelectServer(const std::string&, const std::vector<std::string>&, std::string&) override {
        ++asked;
        return false;
    }
    int asked = 0;
};

class SetupProgram : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_dir / "registry");
        setenv("DORVALE_REGISTRY", (m_dir / "registry").c_str(), 1);
        m_env = {"DORVALE_REGISTRY=" + (m_dir / "registry"), "QT_QPA_PLATFORM=offscreen",
                 "LC_ALL=C"};
    }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    // Whether a process holds a lock on the file (as /proc/locks lists them).
    static bool IsLocked(const std::string& path) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            return false;
        }
        char device[48];
        std::snprintf(device, sizeof device, " %02x:%02x:%lu ", major(info.st_dev),
                      minor(info.st_dev), static_cast<unsigned long>(info.st_ino));
        std::ifstream locks("/proc/locks");
        std::string line;
        while (std::getline(locks, line)) {
            if (line.find("FLOCK") != std::string::npos && line.find(device) != std::string::npos) {
                return true;
            }
        }
        return false;
    }

    testsupport::CTempDir m_dir;
    std::vector<std::string> m_env;
};

} // namespace

TEST_F(SetupProgram, CommandLine) {
    const std::string program = testsupport::BuiltProgram("dorvale-setup");
    auto result = testsupport::RunProgram({program, "--help"}, m_env);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(result.out, HasSubstr("Usage: dorvale-setup [--create] [--data-source DSN]"));
    result = testsupport::RunProgram({program, "--frobnicate"}, m_env);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_THAT(result.err, HasSubstr("dorvale-setup: unexpected"));
    result = testsupport::RunProgram({program, "--data-source"}, m_env);
    EXPECT_EQ(result.exitCode, 2);
    result =
        testsupport::RunProgram({program}, {"DORVALE_REGISTRY=" + (m_dir / "registry"),
                                            "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("dorvale-setup: no display"));
}

TEST_F(SetupProgram, HoldsTheStoreForItsWholeRun) {
    const std::string db = m_dir / "db";
    std::filesystem::create_directories(db);
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                      db.c_str());
    {
        CFileAreaStore store;
        ASSERT_TRUE(store.OpenForWriting(db));
        AreaRecord area;
        area.Name = "Games";
        ASSERT_TRUE(store.AddArea(area));
    }
    // Catalink, as the page generator and the site's scripts load it.
    const auto registered = testsupport::RunProgram(
        {testsupport::BuiltProgram("dorvale-regsvr"),
         (std::filesystem::path(DORVALE_BINARY_DIR) / "lib/libCatalink.so").string()},
        m_env);
    ASSERT_EQ(registered.exitCode, 0) << registered.err;
    const auto areaCount = [this] {
        return testsupport::RunProgram(
                   {testsupport::BuiltProgram("dorvale-auto"), "Catalink.AreaCollection", "Count"},
                   m_env)
            .out;
    };
    EXPECT_EQ(areaCount(), "1\n");

    process::CProcess setup;
    process::CSpawnOptions options;
    options.environment = m_env;
    options.streams = process::EStreams::Discard;
    std::string error;
    ASSERT_TRUE(setup.Start(testsupport::BuiltProgram("dorvale-setup"), {"--data-source", "None"},
                            options, error))
        << error;
    const std::string store = GetFileAreaStorePath(db);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!IsLocked(store) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(IsLocked(store)) << "dorvale-setup never opened " << store;

    // Meanwhile: no other writer, no reader; Catalink loads no areas.
    CFileAreaStore other;
    EXPECT_FALSE(other.OpenForWriting(db));
    EXPECT_FALSE(other.OpenForReading(db));
    EXPECT_EQ(areaCount(), "0\n");
    // A second setup meets the same refusal, with its message, and ends before any sheet.
    {
        prompt::CScriptedPrompt script;
        script.Expect("Dorvale Setup cannot access the filearea database. Please close all "
                      "Dorvale applications, and try again.",
                      "Warning");
        CNoDialogs ui;
        CSetupSession second(script, ui);
        second.SetDataSource("None");
        EXPECT_FALSE(second.Start(""));
        EXPECT_EQ(ui.asked, 0);
        EXPECT_TRUE(script.Problems().empty()) << script.Problems().front();
    }
    const auto command = testsupport::RunProgram(
        {testsupport::BuiltProgram("dorvale"), "area", "add", "--name", "Late"}, m_env);
    EXPECT_EQ(command.exitCode, 1);
    EXPECT_THAT(command.err, HasSubstr("another Dorvale program"));

    process::CExitStatus status;
    EXPECT_TRUE(setup.Terminate(5000, status));
    EXPECT_TRUE(other.OpenForReading(db));
    EXPECT_EQ(other.GetAreaCount(), 1u);
    other.Close();
    EXPECT_EQ(areaCount(), "1\n");
}
