// dorvale-seed run as a program on its own registry, database directory and SQLite catalogue;
// what it stored is compared with the library made in this process from the same seed.

#include "FileAreaStore.h"
#include "GroupFiles.h"
#include "OdbcTestSupport.h"
#include "SampleLibrary.h"
#include "SeedTestSupport.h"
#include "Settings.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

using ::testing::HasSubstr;

namespace {

class SeedProgram : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(m_dir / "registry");
        setenv("DORVALE_REGISTRY", (m_dir / "registry").c_str(), 1);
        m_source = std::make_unique<testsupport::CTestDataSource>(testsupport::EEngine::SQLite,
                                                                  m_dir.Path());
        ASSERT_TRUE(m_source->IsAvailable());
        m_env = {"DORVALE_REGISTRY=" + (m_dir / "registry"), "LC_ALL=C"};
        for (const auto& [name, value] : m_source->Environment()) {
            m_env.push_back(name + "=" + value);
        }
    }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    testsupport::CProgramResult Run(std::vector<std::string> args, bool withSource = true) {
        args.insert(args.begin(), testsupport::BuiltProgram("dorvale-seed"));
        if (withSource) {
            args.push_back("--data-source");
            args.push_back(m_source->Name());
        }
        return testsupport::RunProgram(args, m_env);
    }

    std::string Setting(const char* name) {
        std::string text;
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, text);
        return text;
    }

    std::string Library() const { return m_dir / "lib"; }
    std::string Database() const { return m_dir / "lib/db"; }

    testsupport::CTempDir m_dir;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
    std::vector<std::string> m_env;
};

TEST_F(SeedProgram, HelpAndWrongUsage) {
    const auto help = Run({"--help"}, false);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("Usage: dorvale-seed --dir DIR"));
    EXPECT_THAT(help.out, HasSubstr("--if-empty"));
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{},
                                               {"--files", "10"},
                                               {"--dir"},
                                               {"--dir", "x", "--files", "-1"},
                                               {"--dir", "x", "--files", "ten"},
                                               {"--dir", "x", "--groups", "0"},
                                               {"--dir", "x", "--areas", "0"},
                                               {"--dir", "x", "--areas", "3", "--local-areas", "4"},
                                               {"--dir", "x", "--areas", "3", "--empty-areas", "3"},
                                               {"--dir", "x", "--seed"},
                                               {"--dir", "x", "--frobnicate"}}) {
        const auto result = Run(wrong, false);
        EXPECT_EQ(result.exitCode, 2) << wrong.size();
        EXPECT_THAT(result.err, HasSubstr("dorvale-seed: "));
    }
    EXPECT_FALSE(std::filesystem::exists(m_dir / "x"));
}

TEST_F(SeedProgram, WithoutTablesNothingIsWritten) {
    const auto result = Run({"--dir", Library(), "--files", "5"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("has no catalogue tables"));
    EXPECT_FALSE(std::filesystem::exists(GetFileAreaStorePath(Database())));
    EXPECT_EQ(Setting(settings::DatabasePath), "");

    const auto unknown = Run({"--dir", Library(), "--data-source", "NoSuchSource"}, false);
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_THAT(unknown.err, HasSubstr("cannot connect to the data source NoSuchSource"));
}

TEST_F(SeedProgram, SeedsWhatTheLibraryPlans) {
    ASSERT_TRUE(seedtest::CreateTables(m_source->Name()));
    const auto result =
        Run({"--dir", Library(), "--files", "300", "--groups", "4", "--areas", "12", "--seed", "7",
             "--awkward", "--http-server", "", "--install-dir", m_dir / "install"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("Seeded 306 files"));
    EXPECT_THAT(result.out, HasSubstr("in 4 groups and 12 areas"));

    // Settings.
    EXPECT_EQ(Setting(settings::DatabasePath), Database());
    EXPECT_EQ(Setting(settings::HttpPath), m_dir / "lib/site");
    EXPECT_EQ(Setting(settings::InstallDir), m_dir / "install");
    DWORD type = 0;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, settings::SettingsKey, 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(key, settings::HttpServer, nullptr, &type, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(RegQueryValueEx(key, settings::FtpServer, nullptr, &type, nullptr, nullptr),
              ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);

    // The same library, made here.
    CSampleOptions options;
    options.files = 300;
    options.groups = 4;
    options.areas = 12;
    options.seed = 7;
    options.awkward = true;
    options.directory = Library();
    CSampleLibrary library(options);

    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForReading(Database()));
    const auto areas = store.EnumerateAreas();
    ASSERT_EQ(areas.size(), library.GetAreas().size());
    for (std::size_t i = 0; i < areas.size(); ++i) {
        const CSampleArea& planned = library.GetAreas()[i];
        EXPECT_EQ(areas[i].Id, planned.id);
        EXPECT_EQ(areas[i].Name, planned.name);
        EXPECT_EQ(areas[i].Path, planned.path);
        EXPECT_EQ(areas[i].HttpAlias, planned.httpAlias);
        EXPECT_EQ(areas[i].FtpAlias, "");
        EXPECT_EQ(areas[i].Flags, planned.flags);
    }
    store.Close();
    auto groups = EnumerateGroups(Database());
    std::sort(groups.begin(), groups.end());
    std::vector<std::string> plannedGroups;
    for (const CSampleGroup& group : library.GetGroups()) {
        plannedGroups.push_back(group.name);
        std::vector<std::uint32_t> ids;
        ASSERT_TRUE(ReadGroup(Database(), group.name, ids));
        EXPECT_EQ(ids, group.areaIds);
    }
    std::sort(plannedGroups.begin(), plannedGroups.end());
    EXPECT_EQ(groups, plannedGroups);

    const auto stored = seedtest::ReadFiles(m_source->Name());
    ASSERT_EQ(stored.size(), 306u);
    CSampleFile planned;
    int localFiles = 0;
    for (const seedtest::CStoredFile& file : stored) {
        ASSERT_TRUE(library.NextFile(planned));
        SCOPED_TRACE(planned.title);
        EXPECT_EQ(file.title, planned.title);
        EXPECT_EQ(file.version, planned.version);
        EXPECT_EQ(file.shortDesc, planned.shortDesc);
        EXPECT_EQ(file.longDesc, planned.longDesc);
        EXPECT_EQ(file.upldName, planned.upldName);
        EXPECT_EQ(file.upldEmail, planned.upldEmail);
        EXPECT_EQ(file.size, planned.size);
        EXPECT_EQ(file.downloads, planned.downloads);
        EXPECT_EQ(file.year, planned.fileDate.year);
        EXPECT_EQ(file.month, planned.fileDate.month);
        EXPECT_EQ(file.day, planned.fileDate.day);
        EXPECT_EQ(file.hour, planned.fileDate.hour);
        EXPECT_EQ(file.reqForm, planned.reqForm);
        std::vector<long long> areaIds(planned.areas.begin(), planned.areas.end());
        std::sort(areaIds.begin(), areaIds.end());
        EXPECT_EQ(file.areas, areaIds);
        auto locations = planned.locations;
        std::sort(locations.begin(), locations.end());
        EXPECT_EQ(file.locations, locations);
        if (!planned.localName.empty()) {
            ++localFiles;
            const auto& area = library.GetAreas()[planned.areas[0] - 1];
            const auto path = std::filesystem::path(area.path) / planned.localName;
            ASSERT_TRUE(std::filesystem::exists(path));
            EXPECT_EQ(testsupport::ReadFile(path), planned.archive);
            EXPECT_EQ(static_cast<long long>(std::filesystem::file_size(path)), file.size);
        }
    }
    EXPECT_GT(localFiles, SAMPLE_AWKWARD_FILES);
    EXPECT_FALSE(library.NextFile(planned));
    EXPECT_EQ(stored.back().title, "100% Pure @home #1 ~tilde? file=yes");
}

TEST_F(SeedProgram, ASeededLibraryIsLeftAlone) {
    ASSERT_TRUE(seedtest::CreateTables(m_source->Name()));
    ASSERT_EQ(Run({"--dir", Library(), "--files", "20", "--areas", "3", "--quiet"}).exitCode, 0);
    const std::string before = testsupport::ReadFile(GetFileAreaStorePath(Database()));

    const auto again = Run({"--dir", Library(), "--files", "20", "--areas", "3"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_THAT(again.err, HasSubstr("the library is not empty: 3 areas, 3 groups and 20 files"));
    const auto skipped = Run({"--dir", Library(), "--files", "50", "--if-empty"});
    EXPECT_EQ(skipped.exitCode, 0) << skipped.err;
    EXPECT_THAT(skipped.out, HasSubstr("nothing done"));
    EXPECT_EQ(seedtest::CountFiles(m_source->Name()), 20);
    EXPECT_EQ(testsupport::ReadFile(GetFileAreaStorePath(Database())), before);

    // Files in the catalogue alone count as seeded, so do areas alone.
    const auto otherDir = Run({"--dir", m_dir / "other", "--files", "5"});
    EXPECT_EQ(otherDir.exitCode, 1);
    EXPECT_THAT(otherDir.err, HasSubstr("0 areas, 0 groups and 20 files"));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "other/db/filearea.dat"));
}

TEST_F(SeedProgram, AFailureHalfWayLeavesNothingBehind) {
    ASSERT_TRUE(seedtest::CreateTables(m_source->Name()));
    // A directory where a later local archive must go makes that write fail after earlier
    // files were added.
    CSampleOptions options;
    options.files = 60;
    options.groups = 2;
    options.areas = 4;
    options.directory = Library();
    CSampleLibrary library(options);
    CSampleFile file;
    int local = 0;
    std::filesystem::path blocker;
    while (library.NextFile(file)) {
        if (!file.localName.empty() && ++local == 5) {
            blocker =
                std::filesystem::path(library.GetAreas()[file.areas[0] - 1].path) / file.localName;
        }
    }
    ASSERT_FALSE(blocker.empty());
    std::filesystem::create_directories(blocker);

    const auto result = Run({"--dir", Library(), "--files", "60", "--groups", "2", "--areas", "4"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("cannot create " + blocker.string()));
    EXPECT_EQ(seedtest::CountFiles(m_source->Name()), 0);
    EXPECT_FALSE(std::filesystem::exists(GetFileAreaStorePath(Database())));
    EXPECT_TRUE(EnumerateGroups(Database()).empty());
    int archives = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(Library() + "/files")) {
        archives += entry.is_regular_file();
    }
    EXPECT_EQ(archives, 0);
    EXPECT_EQ(Setting(settings::DatabasePath), "");

    // With the obstacle gone the same command succeeds.
    std::filesystem::remove(blocker);
    const auto retry = Run({"--dir", Library(), "--files", "60", "--groups", "2", "--areas", "4"});
    EXPECT_EQ(retry.exitCode, 0) << retry.err;
    EXPECT_EQ(seedtest::CountFiles(m_source->Name()), 60);
}

} // namespace
