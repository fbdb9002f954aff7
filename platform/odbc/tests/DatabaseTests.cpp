// CDatabase against the real drivers: connecting, product name, direct execution,
// errors with the driver's text, transactions, keys and re-used statements.

#include "EngineTest.h"
#include "Recordset.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace {

class CCountSet : public CRecordset {
public:
    explicit CCountSet(CDatabase* database) : CRecordset(database) { m_nFields = 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Long(pFX, "n", m_count); }
    long m_count = -1;
};

long CountRows(CDatabase& db, const std::string& table) {
    CCountSet count(&db);
    count.Open(CRecordset::forwardOnly, ("select count(*) from " + table).c_str(),
               CRecordset::readOnly);
    return count.m_count;
}

using DatabaseTest = EngineTest;

TEST_P(DatabaseTest, OpensReportsTheProductAndCloses) {
    EXPECT_TRUE(m_db.IsOpen());
    std::string dbms = m_db.GetInfoString(SQL_DBMS_NAME);
    EXPECT_EQ(dbms, IsSqlite() ? "SQLite" : "PostgreSQL");
    EXPECT_EQ(m_db.GetDbmsName(), dbms);
    EXPECT_NE(m_db.GetConnect().find(Connect()), std::string::npos) << m_db.GetConnect();

    m_db.ExecuteSQL("CREATE TABLE t (a INTEGER)");
    m_db.ExecuteSQL("INSERT INTO t (a) VALUES (1)");
    // A statement that changes nothing is not an error.
    m_db.ExecuteSQL("DELETE FROM t WHERE a = 99");
    // A query through ExecuteSQL runs and its rows are dropped.
    m_db.ExecuteSQL("SELECT * FROM t");

    // An open recordset is closed with the connection, not left with a dead handle.
    CCountSet count(&m_db);
    count.Open(CRecordset::snapshot, "select count(*) from t");
    EXPECT_EQ(count.m_count, 1);
    m_db.Close();
    EXPECT_FALSE(m_db.IsOpen());
    EXPECT_FALSE(count.IsOpen());
    EXPECT_THROW(m_db.ExecuteSQL("SELECT 1"), CDBException);
    EXPECT_THROW(count.Open(CRecordset::snapshot, "select count(*) from t"), CDBException);

    // It may be opened again, and opening an open connection replaces it.
    ASSERT_TRUE(m_db.OpenEx(Connect(), CDatabase::noOdbcDialog));
    ASSERT_TRUE(m_db.OpenEx(Connect()));
    EXPECT_EQ(CountRows(m_db, "t"), 1);
}

TEST_P(DatabaseTest, ErrorsCarryTheDriverTextAndLeaveTheConnectionUsable) {
    try {
        m_db.ExecuteSQL("SELECT * FROM no_such_table");
        FAIL() << "a query of a missing table succeeded";
    } catch (const CDBException& error) {
        EXPECT_NE(error.m_strError.find("no_such_table"), std::string::npos) << error.m_strError;
        EXPECT_NE(error.m_nRetCode, SQL_SUCCESS);
        EXPECT_FALSE(error.m_strStateNativeOrigin.empty());
        EXPECT_STREQ(error.what(), error.m_strError.c_str());
    }
    EXPECT_THROW(m_db.ExecuteSQL("THIS IS NOT SQL"), CDBException);
    m_db.ExecuteSQL("CREATE TABLE t (a INTEGER PRIMARY KEY)");
    m_db.ExecuteSQL("INSERT INTO t (a) VALUES (1)");
    EXPECT_THROW(m_db.ExecuteSQL("INSERT INTO t (a) VALUES (1)"), CDBException);
    EXPECT_EQ(CountRows(m_db, "t"), 1);
}

TEST_P(DatabaseTest, TransactionsCommitAndRollBack) {
    m_db.ExecuteSQL("CREATE TABLE t (a INTEGER)");
    EXPECT_TRUE(m_db.CanTransact());
    ASSERT_TRUE(m_db.BeginTrans());
    EXPECT_FALSE(m_db.BeginTrans()); // no nesting
    m_db.ExecuteSQL("INSERT INTO t (a) VALUES (1)");
    EXPECT_TRUE(m_db.Rollback());
    EXPECT_EQ(CountRows(m_db, "t"), 0);

    ASSERT_TRUE(m_db.BeginTrans());
    m_db.ExecuteSQL("INSERT INTO t (a) VALUES (2)");
    m_db.ExecuteSQL("INSERT INTO t (a) VALUES (3)");
    EXPECT_TRUE(m_db.CommitTrans());
    EXPECT_FALSE(m_db.CommitTrans());
    // Automatic commit is back: a second connection sees the rows at once.
    m_db.ExecuteSQL("INSERT INTO t (a) VALUES (4)");
    CDatabase other;
    ASSERT_TRUE(other.OpenEx(Connect(), CDatabase::noOdbcDialog));
    EXPECT_EQ(CountRows(other, "t"), 3);

    // A transaction left open is rolled back when the connection closes.
    ASSERT_TRUE(m_db.BeginTrans());
    m_db.ExecuteSQL("INSERT INTO t (a) VALUES (5)");
    m_db.Close();
    EXPECT_EQ(CountRows(other, "t"), 3);
}

TEST_P(DatabaseTest, PrimaryKeysAreReportedInKeyOrderAndLearntAgainAfterChanges) {
    EXPECT_TRUE(m_db.GetPrimaryKeyColumns("pairs").empty()); // not created yet
    m_db.ExecuteSQL("CREATE TABLE pairs (x INTEGER, y INTEGER, z VARCHAR(10), "
                    "CONSTRAINT pk_pairs PRIMARY KEY (y, x))");
    m_db.ExecuteSQL("CREATE TABLE loose (x INTEGER, y INTEGER)");
    std::vector<std::string> keys = m_db.GetPrimaryKeyColumns("pairs");
    ASSERT_EQ(keys.size(), 2u);
    for (std::string& key : keys) {
        key[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(key[0])));
    }
    std::sort(keys.begin(), keys.end()); // the SQLite driver reports them in column order
    EXPECT_EQ(keys, (std::vector<std::string>{"x", "y"}));
    EXPECT_TRUE(m_db.GetPrimaryKeyColumns("loose").empty());

    m_db.ExecuteSQL("DROP TABLE pairs");
    m_db.ExecuteSQL("CREATE TABLE pairs (z INTEGER PRIMARY KEY)");
    keys = m_db.GetPrimaryKeyColumns("pairs");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_TRUE(keys[0] == "z" || keys[0] == "Z") << keys[0];
}

TEST_P(DatabaseTest, PreparedStatementsAreReusedAndNeverShared) {
    m_db.ExecuteSQL("CREATE TABLE t (a INTEGER)");
    const std::string insert = "INSERT INTO t (a) VALUES (?)";
    CSqlHandle first = m_db.TakePreparedStatement(insert);
    CSqlHandle second = m_db.TakePreparedStatement(insert);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.Get(), second.Get());
    SQLHANDLE kept = first.Get();
    m_db.ReturnPreparedStatement(insert, std::move(first));
    CSqlHandle again = m_db.TakePreparedStatement(insert);
    EXPECT_EQ(again.Get(), kept);

    // Both handles execute with their own parameters.
    long value = 7;
    SQLLEN indicator = 0;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(again.Get(), 1, SQL_PARAM_INPUT, SQL_C_SLONG,
                                               SQL_INTEGER, 0, 0, &value, 0, &indicator)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(again.Get())));
    value = 8;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLBindParameter(second.Get(), 1, SQL_PARAM_INPUT, SQL_C_SLONG,
                                               SQL_INTEGER, 0, 0, &value, 0, &indicator)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecute(second.Get())));
    m_db.ReturnPreparedStatement(insert, std::move(again));
    m_db.ReturnPreparedStatement(insert, std::move(second));
    EXPECT_EQ(CountRows(m_db, "t"), 2);
}

TEST_P(DatabaseTest, TwoThreadsShareOneConnection) {
    m_db.ExecuteSQL("CREATE TABLE t (a INTEGER)");
    auto work = [&](int base) {
        for (int i = 0; i < 50; ++i) {
            m_db.ExecuteSQL("INSERT INTO t (a) VALUES (" + std::to_string(base + i) + ")");
        }
    };
    std::thread one(work, 0);
    std::thread two(work, 1000);
    one.join();
    two.join();
    EXPECT_EQ(CountRows(m_db, "t"), 100);
}

INSTANTIATE_FOR_ENGINES(DatabaseTest);

TEST(DatabaseConnect, AMissingDataSourceIsAnErrorWithTheDriverManagersText) {
    testsupport::CTempDir dir;
    testsupport::UseOdbcIniFiles(dir.Path());
    CDatabase db;
    for (unsigned options : {0u, unsigned(CDatabase::noOdbcDialog)}) {
        try {
            db.OpenEx("DSN=NoSuchSource", options);
            FAIL() << "connected to a data source that does not exist";
        } catch (const CDBException& error) {
            EXPECT_NE(error.m_strError.find("Data source name not found"), std::string::npos)
                << error.m_strError;
            EXPECT_EQ(error.m_strSqlState, "IM002");
        }
        EXPECT_FALSE(db.IsOpen());
    }
    EXPECT_THROW(db.GetInfoString(SQL_DBMS_NAME), CDBException);
}

} // namespace
