// Removing file areas that still have files, on the SQLite and PostgreSQL drivers: the files
// deleted or moved in the catalogue and on disk.

#include "AreaLists.h"
#include "DorvaleDatabaseManager.h"
#include "DownloadLocation.h"
#include "FileRecord.h"
#include "OdbcTestSupport.h"
#include "SetupSession.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

using prompt::CScriptedPrompt;
using prompt::EAnswer;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::EEngine;

namespace {

// The removal dialogs answered from the test.
class CRemovalAnswers : public IAreaRemovalUi {
public:
    ERemoveAction ChooseRemoveAction() override {
        ++asked;
        return action;
    }
    bool SelectArea(const std::vector<CAreaLine>& targets, std::uint32_t& id) override {
        offered.clear();
        for (const CAreaLine& line : targets) {
            offered.push_back(line.name);
        }
        id = target;
        return target != 0;
    }
    ERemoveAction action = ERemoveAction::Cancel;
    std::uint32_t target = 0;
    int asked = 0;
    std::vector<std::string> offered;
};

class AreaRemovalTest : public ::testing::TestWithParam<EEngine> {
protected:
    void SetUp() override {
        m_source = std::make_unique<testsupport::CTestDataSource>(GetParam(), m_dir.Path());
        if (!m_source->IsAvailable()) {
            GTEST_SKIP() << testsupport::NO_POSTGRES;
        }
        m_db.SetDataSourceName(m_source->Name());
        ASSERT_TRUE(m_db.Open(nullptr, nullptr));
        ASSERT_TRUE(m_db.CreateAllTables());
        std::filesystem::create_directories(m_dir / "db");
        ASSERT_TRUE(m_store.OpenForWriting(m_dir / "db"));
    }

    std::uint32_t AddArea(const std::string& name, const std::string& directory, bool hosted) {
        AreaRecord area;
        area.Name = name;
        area.Flags = AREA_DOWNLOADABLE | (hosted ? AREA_HOSTED_LOCALLY : 0);
        if (!directory.empty()) {
            std::filesystem::create_directories(m_dir / directory);
            area.Path = (m_dir / directory) + "/";
        }
        EXPECT_TRUE(m_store.AddArea(area));
        return area.Id;
    }

    double AddFile(const std::string& title, std::vector<std::uint32_t> areas,
                   std::vector<std::string> locations) {
        CFileRecord file(&m_db);
        file.m_TITLE = title;
        EXPECT_TRUE(file.Add());
        for (std::uint32_t area : areas) {
            EXPECT_TRUE(file.AddToFileArea(area));
        }
        for (const std::string& location : locations) {
            EXPECT_TRUE(file.AddDownloadURL(location));
        }
        return file.m_FILE_ID;
    }

    std::vector<std::string> Locations(double fileId) {
        std::vector<std::string> locations;
        EXPECT_TRUE(m_db.GetDownloadURLs(fileId, locations));
        std::sort(locations.begin(), locations.end());
        return locations;
    }
    std::vector<double> Areas(double fileId) {
        std::vector<double> areas;
        EXPECT_TRUE(m_db.GetAreaIDsForFile(fileId, areas));
        std::sort(areas.begin(), areas.end());
        return areas;
    }
    bool FileExists(double fileId) {
        CFileRecord file(&m_db);
        return file.Get(static_cast<int32_t>(fileId), false);
    }
    void Put(const std::string& name, const std::string& bytes) {
        std::filesystem::create_directories(std::filesystem::path(m_dir / name).parent_path());
        testsupport::WriteFile(m_dir / name, bytes);
    }
    bool Exists(const std::string& name) { return std::filesystem::exists(m_dir / name); }
    bool Remove(std::uint32_t id, CRemovalReport& report) {
        return RemoveArea(m_store, id, m_source->Name(), m_script, m_answers, report);
    }

    testsupport::CTempDir m_dir;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
    CDorvaleDatabaseManager m_db;
    CFileAreaStore m_store;
    CScriptedPrompt m_script;
    CRemovalAnswers m_answers;
};

} // namespace

TEST_P(AreaRemovalTest, DeletingFilesWithTheirLocalCopiesButNothingOutside) {
    const std::uint32_t a = AddArea("Alpha", "a", true);
    const std::uint32_t b = AddArea("Beta", "b", true);
    Put("a/one.zip", "1");
    Put("outside.txt", "keep me");
    Put("b/two.zip", "2");
    const double local = AddFile("One", {a}, {BuildLocalLocation(a, "one.zip")});
    const double web = AddFile("Web", {a}, {"http://mirror.example.org/web.zip"});
    const std::string escaping = "LOCAL://" + std::to_string(a) + "/../outside.txt";
    const double sneaky = AddFile("Sneaky", {a, b}, {escaping});
    const double other = AddFile("Two", {b}, {BuildLocalLocation(b, "two.zip")});

    // No: nothing happens. Cancel in the dialog, or at the local files' question: the same.
    m_script.Expect("Are you sure you want to delete \"Alpha\"?", "Warning", EAnswer::No);
    CRemovalReport report;
    EXPECT_FALSE(Remove(a, report));
    m_script.Expect("Are you sure you want to delete \"Alpha\"?", "Warning", EAnswer::Yes);
    EXPECT_FALSE(Remove(a, report));
    EXPECT_EQ(m_answers.asked, 1);
    m_answers.action = ERemoveAction::Delete;
    m_script.Expect("Are you sure you want to delete \"Alpha\"?", "Warning", EAnswer::Yes);
    m_script.Expect("Do you want to delete files from local file storage?", "Warning",
                    EAnswer::Cancel);
    EXPECT_FALSE(Remove(a, report));
    EXPECT_EQ(m_store.GetAreaCount(), 2u);
    EXPECT_TRUE(FileExists(local));

    m_script.Expect("Are you sure you want to delete \"Alpha\"?", "Warning", EAnswer::Yes);
    m_script.Expect("Do you want to delete files from local file storage?", "Warning",
                    EAnswer::Yes);
    m_script.Expect("Some files were left as they were:\nfile " +
                        std::to_string(static_cast<long long>(sneaky)) + ": " + escaping +
                        " leads out of the area's directory; not deleted",
                    "Warning");
    ASSERT_TRUE(Remove(a, report));
    EXPECT_THAT(m_script.Problems(), IsEmpty());
    EXPECT_EQ(report.files, 3u);
    EXPECT_EQ(report.localFiles, 1u);
    EXPECT_FALSE(FileExists(local));
    EXPECT_FALSE(FileExists(web));
    EXPECT_FALSE(FileExists(sneaky)); // the whole file, though also in Beta
    EXPECT_THAT(Locations(sneaky), IsEmpty());
    EXPECT_FALSE(Exists("a/one.zip"));
    EXPECT_EQ(testsupport::ReadFile(m_dir / "outside.txt"), "keep me");
    EXPECT_TRUE(FileExists(other));
    EXPECT_TRUE(Exists("b/two.zip"));
    EXPECT_EQ(m_store.GetAreaCount(), 1u);
    EXPECT_EQ(m_store.FindArea(a), 0u);
}

TEST_P(AreaRemovalTest, MovingFilesCopiesRewritesAndKeepsWhatCannotMove) {
    const std::uint32_t a = AddArea("Alpha", "a", true);
    const std::uint32_t b = AddArea("Beta", "b", true);
    const std::uint32_t c = AddArea("Catalog", "", false);
    const std::uint32_t d = AddArea("Delta", "a", true); // Alpha's directory too
    Put("a/one.zip", "one");
    Put("a/taken.zip", "new");
    Put("b/taken.zip", "old");
    Put("a/sub/deep.zip", "deep");
    const double one = AddFile("One", {a}, {BuildLocalLocation(a, "one.zip")});
    const double taken = AddFile("Taken", {a}, {BuildLocalLocation(a, "taken.zip")});
    const double web = AddFile("Web", {a, b}, {"ftp://mirror.example.org/w.zip"});
    const double deep = AddFile("Deep", {a}, {BuildLocalLocation(a, "sub/deep.zip")});
    const double elsewhere = AddFile("Catalogued", {c}, {"http://x.example.org/c.zip"});

    m_answers.action = ERemoveAction::Move;
    m_answers.target = b;
    m_script.Expect("Are you sure you want to delete \"Alpha\"?", "Warning", EAnswer::Yes);
    m_script.Expect("Some files were left as they were:\nfile " +
                        std::to_string(static_cast<long long>(taken)) + ": could not copy " +
                        (m_dir / "a/taken.zip") + " to " + (m_dir / "b/taken.zip") +
                        "; left in place",
                    "Warning");
    CRemovalReport report;
    ASSERT_TRUE(Remove(a, report));
    EXPECT_THAT(m_script.Problems(), IsEmpty());
    EXPECT_THAT(m_answers.offered, ElementsAre("Beta", "Delta")); // hosted ones only
    EXPECT_EQ(report.files, 4u);
    EXPECT_EQ(report.localFiles, 2u);

    EXPECT_THAT(Locations(one), ElementsAre(BuildLocalLocation(b, "one.zip")));
    EXPECT_EQ(testsupport::ReadFile(m_dir / "b/one.zip"), "one");
    EXPECT_FALSE(Exists("a/one.zip"));
    EXPECT_THAT(Locations(deep), ElementsAre(BuildLocalLocation(b, "sub/deep.zip")));
    EXPECT_EQ(testsupport::ReadFile(m_dir / "b/sub/deep.zip"), "deep");
    EXPECT_FALSE(Exists("a/sub/deep.zip"));
    // The name was taken in Beta: that file stays where it was, with its location.
    EXPECT_THAT(Locations(taken), ElementsAre(BuildLocalLocation(a, "taken.zip")));
    EXPECT_EQ(testsupport::ReadFile(m_dir / "a/taken.zip"), "new");
    EXPECT_EQ(testsupport::ReadFile(m_dir / "b/taken.zip"), "old");
    EXPECT_THAT(Locations(web), ElementsAre("ftp://mirror.example.org/w.zip"));
    for (double file : {one, taken, web, deep}) {
        EXPECT_THAT(Areas(file), ElementsAre(double(b))) << file;
    }
    EXPECT_THAT(Areas(elsewhere), ElementsAre(double(c)));
    EXPECT_EQ(m_store.FindArea(a), 0u);

    // Between two areas of one directory nothing is copied; the location follows the area.
    Put("a/same.zip", "same");
    const double same = AddFile("Same", {d}, {BuildLocalLocation(d, "same.zip")});
    const std::uint32_t e = AddArea("Echo", "a", true);
    m_answers.target = e;
    m_script.Expect("Are you sure you want to delete \"Delta\"?", "Warning", EAnswer::Yes);
    CRemovalReport second;
    ASSERT_TRUE(Remove(d, second));
    EXPECT_THAT(m_answers.offered, ElementsAre("Beta", "Echo"));
    EXPECT_THAT(Locations(same), ElementsAre(BuildLocalLocation(e, "same.zip")));
    EXPECT_EQ(testsupport::ReadFile(m_dir / "a/same.zip"), "same");
    EXPECT_THAT(m_script.Problems(), IsEmpty());
}

TEST_P(AreaRemovalTest, MovesThatCannotBeMadeAreRefused) {
    const std::uint32_t a = AddArea("Alpha", "a", true);
    AddFile("One", {a}, {});
    m_answers.action = ERemoveAction::Move;
    m_script.Expect("Are you sure you want to delete \"Alpha\"?", "Warning", EAnswer::Yes);
    m_script.Expect("There are no other file areas to move this area to.", "Error");
    CRemovalReport report;
    EXPECT_FALSE(Remove(a, report));
    const std::uint32_t c = AddArea("Catalog", "", false);
    m_script.Expect("Are you sure you want to delete \"Alpha\"?", "Warning", EAnswer::Yes);
    m_script.Expect("You can only move files from a locally hosted area to another locally "
                    "hosted area. There are no other locally hosted file areas in the Dorvale. "
                    "Either add a new locally hosted file area to your Dorvale or modify one of "
                    "your current areas to be locally hosted.",
                    "Error");
    EXPECT_FALSE(Remove(a, report));
    // A cancelled choice of area keeps it too.
    AddArea("Beta", "b", true);
    m_script.Expect("Are you sure you want to delete \"Alpha\"?", "Warning", EAnswer::Yes);
    EXPECT_FALSE(Remove(a, report));
    EXPECT_EQ(m_store.GetAreaCount(), 3u);
    // An area without files goes without a dialog.
    m_script.Expect("Are you sure you want to delete \"Catalog\"?", "Warning", EAnswer::Yes);
    EXPECT_TRUE(Remove(c, report));
    EXPECT_EQ(m_answers.asked, 3);
    EXPECT_THAT(m_script.Problems(), IsEmpty());
}

namespace {

class CQuickSetupAnswer : public ISetupUi {
public:
    explicit CQuickSetupAnswer(std::string path) : m_path(std::move(path)) {}
    bool QuickSetup(std::string& path) override {
        path = m_path;
        return true;
    }
    bool SelectServer(const std::string&, const std::vector<std::string>&, std::string&) override {
        return false;
    }

private:
    std::string m_path;
};

} // namespace

TEST_P(AreaRemovalTest, StartingWithCreateTwiceLeavesAnEmptyCatalogueEachTime) {
    std::filesystem::create_directories(m_dir / "registry");
    setenv("DORVALE_REGISTRY", (m_dir / "registry").c_str(), 1);
    m_store.Close();
    const std::uint32_t area = 1;
    CQuickSetupAnswer ui(m_dir / "db");
    for (int run = 0; run < 2; ++run) {
        const double file = AddFile("Before " + std::to_string(run), {area}, {"http://x/y"});
        EXPECT_EQ(m_db.GetNumberOfFilesInArea(area), 1);
        {
            CSetupSession session(m_script, ui);
            session.SetDataSource(m_source->Name());
            ASSERT_TRUE(session.Start(run == 0 ? "/create" : "--x /CREATE"));
        }
        EXPECT_EQ(m_db.GetNumberOfFilesInArea(area), 0) << run;
        EXPECT_FALSE(FileExists(file));
        EXPECT_THAT(Locations(file), IsEmpty());
    }
    // Without the option nothing is dropped.
    AddFile("Kept", {area}, {});
    {
        CSetupSession session(m_script, ui);
        session.SetDataSource(m_source->Name());
        ASSERT_TRUE(session.Start("/created-by-hand")); // holds the option: dropped again
    }
    EXPECT_EQ(m_db.GetNumberOfFilesInArea(area), 0);
    AddFile("Kept", {area}, {});
    {
        CSetupSession session(m_script, ui);
        session.SetDataSource(m_source->Name());
        ASSERT_TRUE(session.Start(""));
    }
    EXPECT_EQ(m_db.GetNumberOfFilesInArea(area), 1);
    EXPECT_THAT(m_script.Problems(), IsEmpty());
    unsetenv("DORVALE_REGISTRY");
}

INSTANTIATE_TEST_SUITE_P(Engines, AreaRemovalTest,
                         ::testing::Values(EEngine::SQLite, EEngine::PostgreSQL),
                         [](const ::testing::TestParamInfo<EEngine>& info) {
                             return std::string(testsupport::EngineName(info.param));
                         });
