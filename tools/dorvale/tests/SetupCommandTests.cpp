// dorvale config, area and group run as programs on a registry, database directory and
// SQLite catalogue of their own.

#include "FileAreaStore.h"
#include "GroupFiles.h"
#include "OdbcTestSupport.h"
#include "Settings.h"
#include "SetupCatalogue.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

class SetupCommands : public ::testing::Test {
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

    // Messages that only inform go to standard output, the others to standard error; the
    // tests read both as `err`.
    testsupport::CProgramResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::BuiltProgram("dorvale"));
        testsupport::CProgramResult result = testsupport::RunProgram(args, m_env);
        result.err = result.out + result.err;
        return result;
    }
    static std::string Text(const char* name, const char* key = settings::SettingsKey) {
        std::string text;
        ReadRegistryText(HKEY_LOCAL_MACHINE, key, name, text);
        return text;
    }
    static DWORD Number(const char* name) {
        DWORD value = 0xFFFFFFFF;
        ReadRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value);
        return value;
    }
    std::vector<AreaRecord> Areas() {
        CFileAreaStore store;
        EXPECT_TRUE(store.OpenForReading(m_dir / "db"));
        return store.EnumerateAreas();
    }

    testsupport::CTempDir m_dir;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
    std::vector<std::string> m_env;
};

} // namespace

TEST_F(SetupCommands, HelpAndWrongUsage) {
    for (const char* command : {"config", "area", "group"}) {
        const auto help = Run({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_THAT(help.out, HasSubstr(std::string("Usage: dorvale ") + command)) << command;
    }
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"config"},
             {"config", "set", "HttpServer"},
             {"config", "set", "NoSuchValue", "1"},
             {"config", "set", "AllowUploads", "5"},
             {"config", "set", "Overwrite", "always"},
             {"config", "show", "extra"},
             {"area", "add"},
             {"area", "edit"},
             {"area", "edit", "zero"},
             {"area", "remove", "1", "--move-to", "2", "--delete-files"},
             {"area", "remove", "1", "--keep-local"},
             {"area", "add", "--name", "x", "--yes", "--no"},
             {"group", "add", "G"},
             {"group", "remove"},
             {"group", "edit", "G", "--area", "x"}}) {
        const auto result = Run(wrong);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(wrong) << result.err;
        EXPECT_THAT(result.err, HasSubstr("dorvale"));
    }
    // The options every setup command takes, refused the same way wherever they stand.
    for (const auto& [wrong, says] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"config", "set", "AllowUploads", "1", "--yes", "--no"}, "exclude each other"},
             {{"area", "edit", "1", "--no", "--yes"}, "exclude each other"},
             {{"area", "remove", "1", "--data-source"}, "--data-source needs a name"},
             {{"group", "add", "G", "--area", "1", "--data-source"}, "--data-source needs a name"},
             {{"group", "remove", "G", "--yes", "--no"}, "exclude each other"}}) {
        const auto result = Run(wrong);
        EXPECT_EQ(result.exitCode, 2) << ::testing::PrintToString(wrong) << result.err;
        EXPECT_THAT(result.err, HasSubstr(says)) << ::testing::PrintToString(wrong);
    }
}

TEST_F(SetupCommands, ConfigChecksLikeTheSheetAndWritesOnlyWhenAllPass) {
    const std::string site = m_dir / "site";
    // One refused value: nothing written, the page's message and the setting named.
    auto result =
        Run({"config", "set", "HttpServer", "www.example.org", "HttpPath", site, "--yes"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("Please enter a fully qualified & valid URL."));
    EXPECT_THAT(result.err, HasSubstr("HttpServer was refused; nothing was written"));
    EXPECT_EQ(Text(settings::HttpPath), "");

    // A missing directory: created with --yes, refused with --no, a refusal without either.
    result = Run({"config", "set", "HttpPath", site, "--no"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("Please enter a valid directory path."));
    EXPECT_FALSE(std::filesystem::exists(site));
    result = Run({"config", "set", "HttpPath", site});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("needs an answer"));
    result =
        Run({"config", "set", "HttpPath", site, "HttpServer", "http://files.example.org/",
             "DatabasePath", m_dir / "db", "SMTPServer", "mail.example.org", "FreeSpaceThreshold",
             "10", "AllowUploads", "Allow only HTTP uploads", "Overwrite", "2", "--yes"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(std::filesystem::is_directory(site));
    EXPECT_EQ(Text(settings::HttpPath), site);
    EXPECT_EQ(Text(settings::HttpServer), "http://files.example.org/");
    EXPECT_EQ(Text(settings::SMTPServer, settings::SendMailKey), "mail.example.org");
    EXPECT_EQ(Number(settings::FreeSpaceThreshold), 10u * 1048576u);
    EXPECT_EQ(Number(settings::AllowUploads), 1u);
    EXPECT_EQ(Number(settings::Overwrite), 2u);
    EXPECT_EQ(Number(settings::VirusExitCode), 0xFFFFFFFFu); // only what was named

    for (const std::vector<std::string>& refused :
         std::vector<std::vector<std::string>>{{"FreeSpaceThreshold", "4096"},
                                               {"AdminEmail", "no at sign"},
                                               {"VirusExitCode", "256"},
                                               {"VirusChecker", site},
                                               {"FtpServer", "http://x"}}) {
        result = Run({"config", "set", refused[0], refused[1]});
        EXPECT_EQ(result.exitCode, 1) << refused[0];
        EXPECT_THAT(result.err, HasSubstr(refused[0] + " was refused")) << refused[0];
    }
    EXPECT_EQ(Number(settings::FreeSpaceThreshold), 10u * 1048576u);

    result = Run({"config", "show"});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_THAT(result.out, HasSubstr("HttpServer          http://files.example.org/\n"));
    EXPECT_THAT(result.out, HasSubstr("AllowUploads        1 (Allow only HTTP uploads)\n"));
    EXPECT_THAT(result.out, HasSubstr("FreeSpaceThreshold  10 MiB\n"));
    EXPECT_THAT(result.out, HasSubstr("Overwrite           2 (Rename duplicate files)\n"));
}

TEST_F(SetupCommands, AreasAndGroupsFromTheCommandLine) {
    auto result = Run({"area", "add", "--name", "Games"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("no database path is set"));
    ASSERT_EQ(Run({"config", "set", "DatabasePath", m_dir / "db", "--yes"}).exitCode, 0);
    ASSERT_TRUE(CreateCatalogue(m_source->Name()));
    // The web server serves m_dir/web at its root.
    const std::string web = m_dir / "web";
    std::filesystem::create_directories(web);
    ASSERT_TRUE(WriteRegistryText(
        HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots",
        "/", (web + ",,1").c_str()));

    // A hosted area: the directory is created on --yes, the HTTP alias found for it.
    result = Run({"area", "add", "--name", "Games", "--path", web + "/games", "--yes",
                  "--data-source", m_source->Name()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "1\n");
    result = Run({"area", "add", "--name", "Mirrors", "--no-downloads", "--yes"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "2\n");
    auto areas = Areas();
    ASSERT_EQ(areas.size(), 2u);
    EXPECT_EQ(areas[0].Path, web + "/games/");
    EXPECT_EQ(areas[0].HttpAlias, "/games");
    EXPECT_EQ(areas[0].Flags, AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY);
    EXPECT_EQ(areas[1].Flags, 0u);

    // The editor's checks: a hidden name, uploads without an alias.
    result = Run({"area", "add", "--name", ".secret"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("A file area name cannot begin with \".\"."));
    result = Run({"area", "edit", "2", "--uploads", "--path", m_dir / "elsewhere", "--yes"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("To allow uploading to this file area, you must define "
                                      "either a FTP or HTTP alias."));
    result = Run(
        {"area", "edit", "2", "--name", "Tools", "--path", web + "/tools", "--downloads", "--yes"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    areas = Areas();
    EXPECT_EQ(areas[1].Name, "Tools");
    EXPECT_EQ(areas[1].HttpAlias, "/tools");
    EXPECT_EQ(Run({"area", "edit", "9", "--name", "x"}).exitCode, 1);

    // Groups.
    result = Run({"group", "add", "body", "--area", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("cannot name a group"));
    ASSERT_EQ(Run({"group", "add", "Main", "--area", "2", "--area", "1"}).exitCode, 0);
    std::vector<std::uint32_t> ids;
    ASSERT_TRUE(ReadGroup(m_dir / "db", "Main", ids));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 2})); // Games, Tools by name
    ASSERT_EQ(Run({"group", "add", "Other", "--area", "1"}).exitCode, 0);
    result = Run({"group", "edit", "Main", "--name", "Other"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("A duplicate group name already exists"));
    ASSERT_EQ(Run({"group", "edit", "Main", "--name", "Everything", "--remove-area", "1"}).exitCode,
              0);
    ASSERT_TRUE(ReadGroup(m_dir / "db", "Everything", ids));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{2}));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "db/Main.group"));
    result = Run({"group", "edit", "Everything", "--remove-area", "2"});
    EXPECT_THAT(result.err, HasSubstr("You must select at least one file area into the group."));
    EXPECT_EQ(Run({"group", "remove", "Other", "--no"}).exitCode, 1);
    EXPECT_EQ(Run({"group", "remove", "Other", "--yes"}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(m_dir / "db/Other.group"));

    // Removing an area with files needs to be told what becomes of them.
    testsupport::WriteFile(web + "/games/pong.zip", "pong");
    const double pong = AddCatalogueFile(m_source->Name(), "Pong", 1, {"local://1/pong.zip"});
    ASSERT_NE(pong, 0);
    result = Run({"area", "remove", "1", "--yes", "--data-source", m_source->Name()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("give --move-to ID or --delete-files"));
    result =
        Run({"area", "remove", "1", "--yes", "--move-to", "2", "--data-source", m_source->Name()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("removed area 1: 1 files moved, 1 local copies moved"));
    EXPECT_EQ(testsupport::ReadFile(web + "/tools/pong.zip"), "pong");
    EXPECT_THAT(FileLocations(m_source->Name(), pong),
                ::testing::ElementsAre("local://2/pong.zip"));
    EXPECT_EQ(CountFilesInArea(m_source->Name(), 2), 1);
    result = Run({"area", "remove", "2", "--yes", "--delete-files", "--keep-local", "--data-source",
                  m_source->Name()});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(std::filesystem::exists(web + "/tools/pong.zip"));
    EXPECT_EQ(CountFilesInArea(m_source->Name(), 2), 0);
    EXPECT_THAT(Areas(), IsEmpty());

    // While another program holds the store for writing, nothing can change it.
    CFileAreaStore holder;
    ASSERT_TRUE(holder.OpenForWriting(m_dir / "db"));
    result = Run({"area", "add", "--name", "Late"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("another Dorvale program"));
}
