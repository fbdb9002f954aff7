// The catalogue's queries as a real PostgreSQL server plans them.

#include "Database.h"
#include "Formatting.h"
#include "OdbcCatalogue.h"
#include "OdbcTestSupport.h"
#include "SiteFixture.h"

#include <gtest/gtest.h>

namespace {

// Every row of a one-column statement, one line each (EXPLAIN is no recordset's SELECT).
std::string ReadLines(CDatabase& database, const std::string& sql) {
    CSqlHandle statement = database.AllocStatement();
    std::string text = sql;
    EXPECT_TRUE(
        SQL_SUCCEEDED(SQLExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                    static_cast<SQLINTEGER>(text.size()))))
        << sql;
    std::string lines;
    while (SQL_SUCCEEDED(SQLFetch(statement.Get()))) {
        char line[1024];
        SQLLEN length = 0;
        if (SQL_SUCCEEDED(SQLGetData(statement.Get(), 1, SQL_C_CHAR, line, sizeof line, &length))) {
            lines += std::string(line) + "\n";
        }
    }
    return lines;
}

} // namespace

// With the server's usual costs an area's list is a hash join over every file; a run asks for
// 3 lists per area, so it read the whole files table about 150 times for 50 areas.
TEST(FileListQueries, AreReadThroughTheKeysOnPostgreSQL) {
    testsupport::CTempDir dir;
    testsupport::UseOdbcIniFiles(dir.Path());
    testsupport::CTestDataSource source(testsupport::EEngine::PostgreSQL, dir.Path());
    if (!source.IsAvailable()) {
        GTEST_SKIP() << testsupport::NO_POSTGRES;
    }
    ASSERT_TRUE(runtest::CreateCatalogueTables(source.Name()));
    const testsupport::CPostgresSchema& schema = *source.Schema();
    // 20 000 files in 50 areas, as the statistics a catalogue of that size would have.
    ASSERT_TRUE(schema.Execute(
        "INSERT INTO files (title, size, short_desc, type_id, downloads, file_date) SELECT "
        "'File ' || g, g, 'About ' || g, 0, g % 97, TIMESTAMP '2001-01-01' + g * INTERVAL "
        "'1 hour' FROM generate_series(1, 20000) AS g"));
    ASSERT_TRUE(schema.Execute("INSERT INTO areafile (area_id, file_id) SELECT file_id % 50 + 1, "
                               "file_id FROM files"));
    ASSERT_TRUE(schema.Execute("ANALYZE files, areafile"));

    CDatabase database;
    ASSERT_TRUE(database.OpenEx("DSN=" + source.Name() + ";",
                                CDatabase::openReadOnly | CDatabase::noOdbcDialog));
    const std::string product = database.GetInfoString(SQL_DBMS_NAME);
    const std::string explain =
        "EXPLAIN " + BuildFileListQuery(QueryFormForProduct(product), 7, SORT_TITLE);
    EXPECT_NE(ReadLines(database, explain).find("Seq Scan on files"), std::string::npos)
        << "the server now plans the list through the keys by itself; the session's costs "
           "are no longer needed";
    TuneSessionForLists(database, product);
    const std::string plan = ReadLines(database, explain);
    EXPECT_EQ(plan.find("Seq Scan on files"), std::string::npos) << plan;
    EXPECT_NE(plan.find("files_pkey"), std::string::npos) << plan;
    EXPECT_EQ(ReadLines(database, "SHOW random_page_cost"), "1.1\n");

    // A lower cost the administrator chose stays.
    database.ExecuteSQL("SET random_page_cost = 1");
    TuneSessionForLists(database, product);
    EXPECT_EQ(ReadLines(database, "SHOW random_page_cost"), "1\n");
    database.Close();
}
