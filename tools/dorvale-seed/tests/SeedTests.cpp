// dorvale-seed run as a program over a test installation, and the generator run on what
// it made.

#include "Database.h"
#include "FileAreaStore.h"
#include "GroupFiles.h"
#include "RunTestSupport.h"
#include "SiteFixture.h"

#include <gtest/gtest.h>

using testsupport::RunProgram;

namespace {

long Count(const std::string& dataSource, const std::string& sql) {
    CDatabase database;
    database.OpenEx("DSN=" + dataSource + ";", CDatabase::noOdbcDialog);
    SQLHSTMT statement = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, database.GetConnectionHandle(), &statement);
    SQLINTEGER count = -1;
    if (SQL_SUCCEEDED(SQLExecDirect(statement, (SQLCHAR*)sql.c_str(), SQL_NTS)) &&
        SQL_SUCCEEDED(SQLFetch(statement))) {
        SQLLEN indicator = 0;
        SQLGetData(statement, 1, SQL_C_SLONG, &count, 0, &indicator);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    return count;
}

} // namespace

TEST(DorvaleSeed, MakesTheSameSampleCatalogueAndTheSiteOfIt) {
    runtest::CSite site(testsupport::EEngine::SQLite);
    ASSERT_TRUE(site.IsAvailable()) << site.why;
    auto seed = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), testsupport::BuiltProgram("dorvale-seed"));
        return RunProgram(arguments, site.ChildEnvironment());
    };
    EXPECT_EQ(seed({"--help"}).exitCode, 0);
    EXPECT_EQ(seed({"--files", "x"}).exitCode, 2);

    auto result = seed({"--files", "30", "--areas", "6", "--groups", "2"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::string db = (site.Dir() / "db").string();
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForReading(db));
    ASSERT_EQ(store.GetAreaCount(), 6u);
    AreaRecord area;
    ASSERT_TRUE(store.GetAreaAt(5, area));
    EXPECT_EQ(area.Id, 6u);
    EXPECT_EQ(area.HttpAlias, "/area06");
    EXPECT_EQ(area.Flags, AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY);
    store.Close();
    std::vector<std::uint32_t> ids;
    ASSERT_TRUE(ReadGroup(db, "Group 2", ids));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{4, 5, 6}));

    const std::string source = site.Settings().dataSource;
    EXPECT_EQ(Count(source, "select count(*) from files"), 30);
    const long links = Count(source, "select count(*) from areafile");
    const long locations = Count(source, "select count(*) from download");
    EXPECT_GE(links, 30);
    EXPECT_LE(links, 60);
    EXPECT_GT(links, 30); // some file is in two areas
    EXPECT_GE(locations, 30);
    EXPECT_LE(locations, 60);
    EXPECT_EQ(Count(source, "select count(*) from files where file_id not in "
                            "(select file_id from areafile)"),
              0);

    // A catalogue with files is left alone; --replace makes the same one again.
    result = seed({"--files", "30", "--areas", "6", "--groups", "2"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("--replace"), std::string::npos);
    result = seed({"--files", "30", "--areas", "6", "--groups", "2", "--replace"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Count(source, "select count(*) from areafile"), links);
    EXPECT_EQ(Count(source, "select count(*) from download"), locations);
    EXPECT_EQ(Count(source, "select max(file_id) from files"), 30);

    // The generator writes the site of it.
    auto generated =
        RunProgram({testsupport::BuiltProgram("sheetforge"), "--console"}, site.ChildEnvironment());
    ASSERT_EQ(generated.exitCode, 0) << generated.err;
    const auto tree = runtest::ReadTree(site.SitePath());
    EXPECT_EQ(tree.count("details/30.asp"), 1u);
    EXPECT_EQ(tree.count("download/30.asp"), 1u);
    EXPECT_EQ(tree.count("areas/Group 2.asp"), 1u);
    // Groups come in the order the directory lists their files.
    const std::string index = tree.at("index.asp");
    EXPECT_NE(index.find("[Group 1|Group%201]"), std::string::npos) << index;
    EXPECT_NE(index.find("[Group 2|Group%202]"), std::string::npos) << index;
}
