// SQL scripts run batch by batch over real data sources, SQLite and PostgreSQL: every batch
// up to the last "GO", none after it, and a failing batch that ends the script with the
// earlier ones kept. And the database a connection names.

#include "EngineTest.h"
#include "InstallExt.h"
#include "OdbcHandle.h"

#include <gmock/gmock.h>

using ::testing::HasSubstr;

namespace {

class SqlScriptTest : public EngineTest {
protected:
    // The rows of a table, or -1 when it cannot be read (it does not exist).
    long Count(const std::string& table) {
        SQLHANDLE handle = SQL_NULL_HANDLE;
        SQLHANDLE environment = SQL_NULL_HANDLE;
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
        CSqlHandle env(SQL_HANDLE_ENV, environment);
        SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                      reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, environment, &handle);
        CSqlHandle connection(SQL_HANDLE_DBC, handle);
        const std::string connect = Connect();
        if (!SQL_SUCCEEDED(SQLDriverConnect(
                handle, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(connect.c_str())),
                SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
            return -2;
        }
        long count = -1;
        SQLHANDLE statementHandle = SQL_NULL_HANDLE;
        SQLAllocHandle(SQL_HANDLE_STMT, handle, &statementHandle);
        {
            CSqlHandle statement(SQL_HANDLE_STMT, statementHandle);
            const std::string sql = "SELECT COUNT(*) FROM " + table;
            SQLINTEGER value = 0;
            SQLLEN indicator = 0;
            if (SQL_SUCCEEDED(SQLExecDirect(
                    statementHandle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                    SQL_NTS)) &&
                SQL_SUCCEEDED(SQLFetch(statementHandle)) &&
                SQL_SUCCEEDED(SQLGetData(statementHandle, 1, SQL_C_SLONG, &value, 0, &indicator))) {
                count = value;
            }
        }
        SQLDisconnect(handle);
        return count;
    }

    std::string Script(const std::string& name, const std::string& text) {
        const std::string path = (m_dir.Path() / name).string();
        testsupport::WriteFile(path, text);
        return path;
    }

    static std::string LastError() {
        char text[2048];
        GetInstallExtError(text, sizeof text);
        return text;
    }
};

TEST_P(SqlScriptTest, BatchesRunUpToTheLastGoAndAFailingOneEndsTheScript) {
    // Lines are trimmed, "go" in any case ends a batch, a CRLF script reads like an LF one,
    // a batch of blank lines is nothing to run, and a SELECT's rows are read to the end.
    const std::string longValue(5000, 'x');
    const std::string script =
        Script("ok.sql", "  CREATE TABLE first_t (id INTEGER, name VARCHAR(6000))  \r\n"
                         "go\r\n"
                         "\r\n"
                         "GO\r\n"
                         "INSERT INTO first_t VALUES (1, '" +
                             longValue +
                             "')\r\n"
                             "\tGo\t\r\n"
                             "SELECT * FROM first_t\nGO\n"
                             "CREATE TABLE second_t (id INTEGER)\n"
                             "GO\n");
    ASSERT_EQ(ExecuteSQLScript(Connect().c_str(), script.c_str()), 1) << LastError();
    EXPECT_EQ(Count("first_t"), 1);
    EXPECT_EQ(Count("second_t"), 0);
    EXPECT_EQ(Count("first_t WHERE name = '" + longValue + "'"), 1) << "the long line was cut";

    // Text after the last GO is never run.
    const std::string tail = Script("tail.sql", "CREATE TABLE third_t (id INTEGER)\nGO\n"
                                                "CREATE TABLE fourth_t (id INTEGER)\n");
    ASSERT_EQ(ExecuteSQLScript(Connect().c_str(), tail.c_str()), 1);
    EXPECT_EQ(Count("third_t"), 0);
    EXPECT_EQ(Count("fourth_t"), -1);

    // The second batch fails: the first stays done, the third is not run, and the failure
    // names the batch and the lines.
    const std::string failing =
        Script("failing.sql", "INSERT INTO first_t VALUES (2, 'kept')\nGO\n"
                              "INSERT INTO no_such_table VALUES (1)\nGO\n"
                              "INSERT INTO first_t VALUES (3, 'never')\nGO\n");
    EXPECT_EQ(ExecuteSQLScript(Connect().c_str(), failing.c_str()), 0);
    EXPECT_THAT(LastError(), HasSubstr("batch 2 (lines 3-4)"));
    EXPECT_EQ(Count("first_t"), 2);
    EXPECT_EQ(Count("first_t WHERE name = 'never'"), 0);

    EXPECT_EQ(ExecuteSQLScript(Connect().c_str(), (m_dir.Path() / "missing.sql").c_str()), 0);
    EXPECT_EQ(ExecuteSQLScript("DSN=NoSuchDataSourceAnywhere", script.c_str()), 0);
    EXPECT_THAT(LastError(), HasSubstr("cannot connect"));
}

TEST_P(SqlScriptTest, DatabasePathOfTheConnection) {
    char name[INSTALLEXT_MAX_PATH] = {};
    ASSERT_EQ(GetDSNDatabasePath(Connect().c_str(), name, sizeof name), 1) << LastError();
    if (IsSqlite()) {
        EXPECT_EQ(std::string(name), m_source->DatabaseFile().string());
    } else {
        const auto server = testsupport::PostgresConnection();
        ASSERT_TRUE(server);
        EXPECT_EQ(std::string(name), server->at("Database"));
    }
    // A short buffer gets what fits, ended.
    char small[4] = {'?', '?', '?', '?'};
    ASSERT_EQ(GetDSNDatabasePath(Connect().c_str(), small, sizeof small), 1);
    EXPECT_EQ(std::string(small), std::string(name).substr(0, 3));
    EXPECT_EQ(GetDSNDatabasePath("DSN=NoSuchDataSourceAnywhere", name, sizeof name), 0);
}

INSTANTIATE_FOR_ENGINES(SqlScriptTest);

} // namespace
