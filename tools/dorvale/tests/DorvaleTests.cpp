// dorvale run as an administrator runs it, over a whole test installation: its own registry,
// areas and groups, a catalogue behind the data source "Dorvale", the site's templates, the
// generator beside it and ClamAV as the virus checker.

#include "FileAreaStore.h"
#include "Settings.h"
#include "SiteFixture.h"
#include "TestSupport.h"
#include "ZipTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using ::testing::HasSubstr;
using ::testing::Not;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

constexpr std::uint32_t ALL_FLAGS = 7;

class CDorvaleFixture {
protected:
    void SetUpSite(testsupport::EEngine engine) {
        m_site = std::make_unique<runtest::CSite>(engine);
        if (!m_site->IsAvailable()) {
            GTEST_SKIP() << m_site->why;
        }
        m_site->WriteAreas({{1, "Uploads", ALL_FLAGS, "/up", ""}, {2, "Web", 1, "", ""}},
                           {{"Main", {1, 2}}});
        std::filesystem::create_directories(Files());
        std::filesystem::create_directories(m_site->SitePath() / "reviews");
        // The site's own templates, so pages show every text.
        for (const auto& entry :
             std::filesystem::directory_iterator(std::string(DORVALE_SOURCE_DIR) + "/templates")) {
            if (entry.path().extension() == ".tmpl") {
                std::filesystem::copy_file(
                    entry.path(), m_site->InstallPath() / "templates" / entry.path().filename(),
                    std::filesystem::copy_options::overwrite_existing);
            }
        }
    }

    testsupport::CProgramResult Dorvale(std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::BuiltProgram("dorvale"));
        return testsupport::RunProgram(args, m_site->ChildEnvironment());
    }
    std::filesystem::path Files() const { return m_site->Dir() / "files"; }

    std::unique_ptr<runtest::CSite> m_site;
};

class DorvaleProgram : public ::testing::TestWithParam<testsupport::EEngine>,
                       protected CDorvaleFixture {
protected:
    void SetUp() override { SetUpSite(GetParam()); }
};

class DorvaleSqlite : public ::testing::Test, protected CDorvaleFixture {
protected:
    void SetUp() override { SetUpSite(testsupport::EEngine::SQLite); }
};

} // namespace

TEST_P(DorvaleProgram, TheRoadOfOneUploadToItsPage) {
    // The file and its description, as the upload control leaves them.
    ASSERT_TRUE(
        testsupport::MakeZip((Files() / "tool.zip").string(), {{"readme.txt", "Read me", 0}}));
    WriteFile(Files() / "tool.zip.desc",
              "Filename: tool.zip\r\nArea: Uploads\r\nTitle: Handy Tool\r\nVersion: 3.1\r\n"
              "ShortDesc: Does handy things\r\nCompany: Tool Works\r\nEmail: tw@example.org\r\n"
              "ReqForm: No\r\n\r\nThe long story\r\nof the handy tool.");

    auto listed = Dorvale({"uploads"});
    ASSERT_EQ(listed.exitCode, 0) << listed.err;
    EXPECT_THAT(listed.out, HasSubstr("tool.zip"));
    EXPECT_THAT(listed.out, HasSubstr("Handy Tool"));
    listed = Dorvale({"uploads", "--json"});
    EXPECT_THAT(listed.out, HasSubstr("\"title\":\"Handy Tool\""));
    EXPECT_THAT(listed.out, HasSubstr("\"refusal\":\"\""));

    const auto posted = Dorvale({"uploads", "post", "tool.zip"});
    ASSERT_EQ(posted.exitCode, 0) << posted.err;
    EXPECT_EQ(posted.out, "Posted tool.zip as file 1: Handy Tool\n");
    EXPECT_FALSE(std::filesystem::exists(Files() / "tool.zip.desc"));
    EXPECT_TRUE(std::filesystem::exists(Files() / "tool.zip"));
    EXPECT_EQ(Dorvale({"uploads"}).out, "No new files found to process.\n");

    const auto generated = Dorvale({"generate"});
    ASSERT_EQ(generated.exitCode, 0) << generated.err << m_site->Log();
    const std::string page = ReadFile(m_site->SitePath() / "details" / "1.asp");
    for (const char* text : {"Handy Tool", "Does handy things", "The long story",
                             "of the handy tool", "Tool Works", "3.1"}) {
        EXPECT_THAT(page, HasSubstr(text));
    }
    const auto shown = Dorvale({"file", "show", "1", "--json"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("\"locations\":[\"local://1/tool.zip\"]"));
    EXPECT_THAT(shown.out, HasSubstr("\"areas\":[{\"id\":1,\"name\":\"Uploads\"}]"));
}

TEST_F(DorvaleSqlite, HelpUsageAndRefusals) {
    const auto help = Dorvale({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("Exit status: 0 done, 1 failed or refused, 2 wrong usage."));
    for (const char* command : {"areas", "groups", "files", "search", "add-file", "add-files",
                                "uploads", "reviews", "file", "virus-check", "generate"}) {
        const auto result = Dorvale({command, "--help"});
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_THAT(result.out, HasSubstr(std::string("Usage: dorvale ") + command)) << command;
    }
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"files"},
             {"files", "x"},
             {"areas", "extra"},
             {"search", "x", "--in", "title,colour"},
             {"uploads", "post"},
             {"uploads", "delete", "--all"},
             {"reviews", "post"},
             {"file", "show"},
             {"file", "remove", "1"},
             {"add-file", "--title", "T"},
             {"add-file", "--title", std::string(31, 't'), "--url", "http://x/"},
             {"add-files", "/tmp"},
             {"areas", "--yes", "--no"},
             {"generate", "now"}}) {
        const auto result = Dorvale(wrong);
        EXPECT_EQ(result.exitCode, 2) << (wrong.empty() ? "" : wrong[0]) << result.err;
        EXPECT_THAT(result.err, HasSubstr("Try 'dorvale"));
    }

    // A question without a terminal and without --yes is refused; nothing is deleted.
    WriteFile(Files() / "x.bin", "x");
    WriteFile(Files() / "x.bin.desc", "Filename: x.bin\r\nTitle: X\r\n\r\n");
    auto refused = Dorvale({"uploads", "delete", "x.bin"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err,
                HasSubstr("refused: \"Are you sure you want to delete the highlighted file(s)?\""));
    EXPECT_TRUE(std::filesystem::exists(Files() / "x.bin"));
    EXPECT_EQ(Dorvale({"uploads", "delete", "x.bin", "--no"}).exitCode, 1);
    EXPECT_TRUE(std::filesystem::exists(Files() / "x.bin"));
    const auto deleted = Dorvale({"uploads", "delete", "x.bin", "--yes"});
    EXPECT_EQ(deleted.exitCode, 0) << deleted.err;
    EXPECT_FALSE(std::filesystem::exists(Files() / "x.bin.desc"));
    EXPECT_FALSE(std::filesystem::exists(Files() / "x.bin"));
    EXPECT_EQ(Dorvale({"uploads", "delete", "x.bin", "--yes"}).exitCode, 1);

    // An upload whose description names an unsafe file is listed with the reason and refused.
    WriteFile(Files() / "y.bin", "y");
    WriteFile(Files() / "y.bin.desc", "Filename: ../y.bin\r\nTitle: Y\r\n\r\n");
    EXPECT_THAT(Dorvale({"uploads"}).out, HasSubstr("which is not a plain file name"));
    const auto unsafe = Dorvale({"uploads", "post", "--all"});
    EXPECT_EQ(unsafe.exitCode, 1);
    EXPECT_THAT(unsafe.err, HasSubstr("y.bin: Its description names the file \"../y.bin\""));

    // A store held by the setup program.
    CFileAreaStore writer;
    ASSERT_TRUE(writer.OpenForWriting((m_site->Dir() / "db").string()));
    const auto locked = Dorvale({"areas"});
    EXPECT_EQ(locked.exitCode, 1);
    EXPECT_THAT(locked.err,
                HasSubstr("Warning: Dorvale Explorer cannot access the FileAreas database."));
}

TEST_F(DorvaleSqlite, AddingAndListingFiles) {
    WriteFile(m_site->Dir() / "submission.txt",
              "Title=Mailed Tool\r\nVersion=0.9\r\nCompany=Mailer\r\nEmail=m@example.org\r\n"
              "SiteName1=Home\r\nSiteUrl1=http://example.org/mailed.zip\r\nSize=1,500\r\n"
              "ShortDescription=Came by mail\r\n\r\nAll the details.\r\n");
    auto added = Dorvale(
        {"add-file", "--submission", (m_site->Dir() / "submission.txt").string(), "--area", "2"});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(added.out, "Added file 1: Mailed Tool\n");

    // A web file needs a valid address and an e-mail address.
    auto bad = Dorvale({"add-file", "--title", "Web", "--area", "2", "--url", "example.org/x.zip",
                        "--email", "w@example.org"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_THAT(bad.err, HasSubstr("Please enter a valid ftp or http URL"));
    bad = Dorvale({"add-file", "--title", "Web", "--area", "2", "--url", "http://example.org/x"});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_THAT(bad.err, HasSubstr("Invalid e-mail address."));
    added = Dorvale({"add-file", "--title", "Web 100%", "--area", "2", "--url",
                     "http://example.org/x.zip", "--url", "ftp://example.org/x.zip", "--email",
                     "w@example.org", "--date", "2020-02-29", "--short", "On the web"});
    ASSERT_EQ(added.exitCode, 0) << added.err;

    // A local file copied into its area, after asking.
    WriteFile(m_site->Dir() / "local.bin", "local data");
    const std::vector<std::string> local = {"add-file", "--copy-to",
                                            "1",        (m_site->Dir() / "local.bin").string(),
                                            "--email",  "l@example.org"};
    auto refused = Dorvale(local);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("needs to be copied to the host directory"));
    std::vector<std::string> yes = local;
    yes.push_back("--yes");
    added = Dorvale(yes);
    ASSERT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(added.out, "Added file 3: local.bin\n");
    EXPECT_EQ(ReadFile(Files() / "local.bin"), "local data");

    const auto files = Dorvale({"files", "2"});
    ASSERT_EQ(files.exitCode, 0) << files.err;
    EXPECT_THAT(files.out, HasSubstr("Mailed Tool"));
    EXPECT_THAT(files.out, HasSubstr("February 29, 2020"));
    EXPECT_THAT(Dorvale({"files", "1", "--json"}).out, HasSubstr("\"title\":\"local.bin\""));
    EXPECT_THAT(Dorvale({"files", "9"}).err, HasSubstr("no area has the id 9"));
    const auto found = Dorvale({"search", "%", "--json"});
    EXPECT_THAT(found.out, HasSubstr("\"title\":\"Web 100%\""));
    EXPECT_THAT(found.out, Not(HasSubstr("Mailed")));
    EXPECT_EQ(Dorvale({"search", "nothing like it"}).out,
              "No files were found that match your search criteria.\n");
    EXPECT_THAT(Dorvale({"search", "MAILED.ZIP", "--in", "url"}).out, HasSubstr("Mailed Tool"));
    const auto areas = Dorvale({"areas"});
    EXPECT_THAT(areas.out, HasSubstr("Uploads"));
    EXPECT_THAT(areas.out, HasSubstr("DUH"));
    EXPECT_EQ(Dorvale({"groups"}).out, "Main\n  1  Uploads\n  2  Web\n");

    // A directory: the log at the end; the second time every file exists already.
    std::filesystem::create_directories(m_site->Dir() / "batch");
    WriteFile(m_site->Dir() / "batch" / "ONE.TXT", "1");
    ASSERT_TRUE(testsupport::MakeZip((m_site->Dir() / "batch" / "two.zip").string(),
                                     {{"desc.sdi", "Second one\r\n", 0}}));
    const std::vector<std::string> batch = {
        "add-files", (m_site->Dir() / "batch").string(), "--area",
        "1",         "--extract-descriptions",           "--yes"};
    auto result = Dorvale(batch);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out, "2 file(s) added successfully.\n");
    EXPECT_THAT(Dorvale({"search", "Second one", "--in", "short"}).out, HasSubstr("two"));
    result = Dorvale(batch);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.out, HasSubstr("The file ONE.TXT already exists.\n"));
    EXPECT_EQ(Dorvale({"add-files", (m_site->Dir() / "batch").string(), "--area", "2"}).exitCode,
              1);

    // Removing and deleting.
    EXPECT_EQ(Dorvale({"file", "remove", "3", "--area", "1", "--yes", "--keep-local"}).exitCode, 0);
    EXPECT_EQ(Dorvale({"file", "show", "3"}).exitCode, 1);
    EXPECT_TRUE(std::filesystem::exists(Files() / "local.bin"));
    const auto removed = Dorvale({"file", "delete", "1", "--yes"});
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    EXPECT_EQ(removed.out, "Deleted file 1: Mailed Tool\n");
}

TEST_F(DorvaleSqlite, ReviewsAndTheVirusCheck) {
    const std::string submissions = (m_site->SitePath() / "reviews" / "submissions.txt").string();
    WriteFile(submissions,
              "4\r\nfile.zip\r\nAnn\r\nann@example.org\r\nfalse\r\nMay 1\r\nGood\r\n\t\r\n"
              "5\r\nother.zip\r\nBob\r\nbob@example.org\r\nTRUE\r\nMay 2\r\nMeh\r\n\t\r\n");
    EXPECT_THAT(Dorvale({"reviews", "--json"}).out, HasSubstr("\"name\":\"Bob\",\"email\":"));
    const auto posted = Dorvale({"reviews", "post", "2"});
    ASSERT_EQ(posted.exitCode, 0) << posted.err;
    EXPECT_EQ(ReadFile(m_site->SitePath() / "reviews" / "5.txt"),
              "Bob\r\nbob@example.org\r\ntrue\r\nMay 2\r\nMeh\r\n\t\r\n");
    EXPECT_EQ(ReadFile(submissions), "4\r\nfile.zip\r\nAnn\r\nann@example.org\r\nfalse\r\nMay 1\r\n"
                                     "Good\r\n\t\r\n");
    EXPECT_EQ(Dorvale({"reviews", "delete", "2", "--yes"}).exitCode, 1);
    EXPECT_EQ(Dorvale({"reviews", "delete", "--all", "--yes"}).exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(submissions));

    if (testsupport::RunProgram({"/bin/sh", "-c", "command -v clamscan"}).exitCode != 0) {
        GTEST_SKIP() << "clamscan is not installed (scripts/install-deps.sh installs clamav)";
    }
    const std::string virus = "dorvale-test-signature-of-a-pretend-virus";
    WriteFile(Files() / "bad.zip", virus);
    WriteFile(Files() / "good.zip", "fine");
    const std::string db = (m_site->Dir() / "test.hdb").string();
    ASSERT_EQ(
        testsupport::RunProgram({"/bin/sh", "-c",
                                 "printf '%s' \"$1\" | md5sum | cut -c1-32 | tr -d '\\n' > \"$2\"; "
                                 "printf ':%s:Dorvale.Test\\n' \"${#1}\" >> \"$2\"",
                                 "sh", virus, db})
            .exitCode,
        0);
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::VirusChecker,
                      "clamscan");
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::VirusCmdLine,
                      ("--no-summary -d " + db).c_str());
    WriteRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::VirusExitCode, 1);
    runtest::CSiteFile bad;
    bad.title = "Bad";
    bad.areas = {1};
    bad.locations = {"local://1/good.zip", "local://1/bad.zip"};
    runtest::CSiteFile good = bad;
    good.title = "Good";
    good.locations = {"local://1/good.zip"};
    ASSERT_EQ(m_site->AddFiles({bad, good}).size(), 2u);
    const auto infected = Dorvale({"virus-check", "1"});
    EXPECT_EQ(infected.exitCode, 1);
    EXPECT_EQ(infected.err, "File " + (Files() / "bad.zip").string() +
                                " failed virus checking!\n(Virus checker return code: 1)\n");
    const auto passed = Dorvale({"virus-check", "2"});
    EXPECT_EQ(passed.exitCode, 0);
    EXPECT_EQ(passed.out,
              "The selected file passed virus checking.\n(Virus checker return code: 0)\n");
}

INSTANTIATE_TEST_SUITE_P(Engines, DorvaleProgram,
                         ::testing::Values(testsupport::EEngine::SQLite,
                                           testsupport::EEngine::PostgreSQL),
                         [](const auto& info) { return testsupport::EngineName(info.param); });
