// CDatabaseManager: products, the process-wide lock and its lifetime, statements, packing
// and the error log.

#include "CatalogFixture.h"

#include <atomic>
#include <chrono>
#include <regex>
#include <thread>

namespace {

// Treats its connection as another product, as a driver of that product would report.
class CForcedTypeManager : public CDorvaleDatabaseManager {
public:
    void Force(CDatabaseType type) { SetDatabaseType(type); }
};

TEST(DatabaseType, ProductsAreRecognisedByTheirNamesIgnoringCase) {
    EXPECT_EQ(DBTYPE_NONE, 0);
    EXPECT_EQ(DBTYPE_ACCESS, 1);
    EXPECT_EQ(DBTYPE_FOXPRO, 2);
    EXPECT_EQ(DBTYPE_SQLSERVER, 4);
    EXPECT_NE(DBTYPE_SQLITE, DBTYPE_POSTGRESQL);
    for (int used : {0, 1, 2, 3, 4}) {
        EXPECT_NE(DBTYPE_SQLITE, used);
        EXPECT_NE(DBTYPE_POSTGRESQL, used);
    }
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName("ACCESS"), DBTYPE_ACCESS);
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName("access"), DBTYPE_ACCESS);
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName("FoxPro"), DBTYPE_FOXPRO);
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName("microsoft SQL server"), DBTYPE_SQLSERVER);
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName("SQLite"), DBTYPE_SQLITE);
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName("PostgreSQL"), DBTYPE_POSTGRESQL);
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName("Microsoft SQL Server 2000"), DBTYPE_NONE);
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName("Oracle"), DBTYPE_NONE);
    EXPECT_EQ(CDatabaseManager::DatabaseTypeFromName(""), DBTYPE_NONE);
}

TEST(DatabaseLock, SharedByManagersReleasedWithTheLastAndCreatedAgain) {
    testsupport::CTempDir dir;
    testsupport::CTestDataSource source(testsupport::EEngine::SQLite, dir.Path());
    ASSERT_EQ(CDatabaseManager::DatabaseLock, nullptr);
    int before = CDatabaseManager::RefCount;

    auto first = std::make_unique<CDatabaseManager>();
    auto second = std::make_unique<CDatabaseManager>();
    EXPECT_EQ(CDatabaseManager::RefCount, before + 2);
    EXPECT_EQ(CDatabaseManager::DatabaseLock, nullptr); // no connection yet
    ASSERT_TRUE(first->Open(source.Name().c_str(), nullptr, nullptr, true));
    CLockManager* lock = CDatabaseManager::DatabaseLock;
    ASSERT_NE(lock, nullptr);
    EXPECT_NE(dynamic_cast<CCriticalSectionLock*>(lock), nullptr); // a file database
    ASSERT_TRUE(second->Open(source.Name().c_str(), nullptr, nullptr, true));
    EXPECT_EQ(CDatabaseManager::DatabaseLock, lock);

    first.reset();
    EXPECT_EQ(CDatabaseManager::DatabaseLock, lock);
    EXPECT_EQ(CDatabaseManager::RefCount, before + 1);
    second.reset();
    EXPECT_EQ(CDatabaseManager::DatabaseLock, nullptr);
    EXPECT_EQ(CDatabaseManager::RefCount, before);

    CDatabaseManager later;
    ASSERT_TRUE(later.Open(source.Name().c_str(), nullptr, nullptr, true));
    EXPECT_NE(CDatabaseManager::DatabaseLock, nullptr);

    // The lock is re-entrant for its owner and keeps other threads out meanwhile.
    std::atomic<bool> entered{false};
    std::thread other;
    {
        CDatabaseLockGuard outer;
        CDatabaseLockGuard inner;
        other = std::thread([&] {
            CDatabaseLockGuard guard;
            entered = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(entered);
    }
    other.join();
    EXPECT_TRUE(entered);
}

TEST(DatabaseLock, TheFirstDataSourceOfTheProcessChoosesItsKind) {
    testsupport::CTempDir dir;
    testsupport::CTestDataSource server(testsupport::EEngine::PostgreSQL, dir.Path());
    if (!server.IsAvailable()) {
        GTEST_SKIP() << testsupport::NO_POSTGRES;
    }
    testsupport::CTestDataSource file(testsupport::EEngine::SQLite, dir.Path());
    {
        CDatabaseManager first;
        ASSERT_TRUE(first.Open(server.Name().c_str(), nullptr, nullptr, true));
        EXPECT_EQ(first.GetDatabaseType(), DBTYPE_POSTGRESQL);
        EXPECT_NE(dynamic_cast<CNullLock*>(CDatabaseManager::DatabaseLock), nullptr);
        CDatabaseManager second;
        ASSERT_TRUE(second.Open(file.Name().c_str(), nullptr, nullptr, true));
        EXPECT_EQ(second.GetDatabaseType(), DBTYPE_SQLITE);
        EXPECT_NE(dynamic_cast<CNullLock*>(CDatabaseManager::DatabaseLock), nullptr);
    }
    EXPECT_EQ(CDatabaseManager::DatabaseLock, nullptr);
    CDatabaseManager again;
    ASSERT_TRUE(again.Open(file.Name().c_str(), nullptr, nullptr, true));
    EXPECT_NE(dynamic_cast<CCriticalSectionLock*>(CDatabaseManager::DatabaseLock), nullptr);
}

TEST(DatabaseManagerLog, LinesCarryDateTimeAndMessageAndNothingIsWrittenWithoutAName) {
    testsupport::CTempDir dir;
    setenv("LC_ALL", "C", 1);
    CDatabaseManager manager;
    manager.LogError("not written");
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));

    manager.SetLogFilename(dir / "sub/missing/db.log");
    manager.LogError("cannot be written"); // ignored, no crash
    EXPECT_FALSE(std::filesystem::exists(dir / "sub"));

    manager.SetLogFilename(dir / "db.log");
    manager.LogError("first");
    manager.LogError("two\nlines");
    std::string log = testsupport::ReadFile(dir / "db.log");
    std::regex line(R"((\d\d/\d\d/\d\d) at (\d\d:\d\d:\d\d) - first\n)"
                    R"(\d\d/\d\d/\d\d at \d\d:\d\d:\d\d - two lines\n)");
    EXPECT_TRUE(std::regex_match(log, line)) << log;

    // A data source that does not exist: false, the driver manager's text in the log, and
    // no lock for the process.
    testsupport::UseOdbcIniFiles(dir.Path());
    EXPECT_FALSE(manager.Open("NoSuchSource", nullptr, nullptr, true));
    EXPECT_FALSE(manager.IsOpen());
    EXPECT_EQ(manager.GetDatabaseType(), DBTYPE_NONE);
    EXPECT_EQ(CDatabaseManager::DatabaseLock, nullptr);
    EXPECT_NE(testsupport::ReadFile(dir / "db.log").find("Data source name not found"),
              std::string::npos);
}

using DatabaseManagerTest = CatalogTest;

TEST_P(DatabaseManagerTest, OpenRecognisesTheProductAndCloseKeepsIt) {
    CDatabaseType expected = IsSqlite() ? DBTYPE_SQLITE : DBTYPE_POSTGRESQL;
    EXPECT_TRUE(m_manager->IsOpen());
    EXPECT_EQ(m_manager->GetDatabaseType(), expected);
    if (IsSqlite()) {
        EXPECT_NE(dynamic_cast<CCriticalSectionLock*>(CDatabaseManager::DatabaseLock), nullptr);
    } else {
        EXPECT_NE(dynamic_cast<CNullLock*>(CDatabaseManager::DatabaseLock), nullptr);
    }
    m_manager->Close();
    EXPECT_FALSE(m_manager->IsOpen());
    EXPECT_EQ(m_manager->GetDatabaseType(), expected);
    EXPECT_FALSE(m_manager->ExecuteSQL("delete from files"));
    ASSERT_TRUE(m_manager->Open(nullptr, nullptr));
    ASSERT_TRUE(m_manager->Open(nullptr, nullptr)); // again while open
    EXPECT_TRUE(m_manager->ExecuteSQL("delete from files"));
}

TEST_P(DatabaseManagerTest, CredentialsReachTheServer) {
    if (IsSqlite()) {
        // A file database takes no credentials and ignores them.
        EXPECT_TRUE(m_manager->Open("someone", "secret"));
        return;
    }
    auto server = testsupport::PostgresConnection();
    ASSERT_TRUE(server.has_value());
    EXPECT_FALSE(m_manager->Open((*server)["Username"].c_str(), "wrong password"));
    EXPECT_NE(LogText().find("password"), std::string::npos) << LogText();
    EXPECT_TRUE(m_manager->Open((*server)["Username"].c_str(), (*server)["Password"].c_str()))
        << LogText();
}

TEST_P(DatabaseManagerTest, ExecuteSqlReportsFailuresInTheLog) {
    EXPECT_TRUE(m_manager->ExecuteSQL("delete from files"));
    EXPECT_FALSE(m_manager->ExecuteSQL("delete from no_such_table"));
    EXPECT_NE(LogText().find("no_such_table"), std::string::npos) << LogText();
    EXPECT_FALSE(m_manager->ExecuteSQL(""));
    EXPECT_FALSE(m_manager->ExecuteSQL("  \n "));
    EXPECT_NE(LogText().find("No statement to execute."), std::string::npos);
}

TEST_P(DatabaseManagerTest, PackingKeepsEveryRowAndFailsForAMissingTable) {
    double first = AddFile("first");
    double second = AddFile("second");
    CFileRecord file(m_manager.get());
    ASSERT_TRUE(file.Get(static_cast<int32_t>(first), false));
    ASSERT_TRUE(file.AddToFileArea(3));
    ASSERT_TRUE(file.AddDownloadURL("http://example.org/first.zip"));
    ASSERT_TRUE(m_manager->ExecuteSQL("delete from files where file_id = " +
                                      std::to_string(static_cast<long>(second))));

    EXPECT_TRUE(m_manager->PackTable("files")) << LogText();
    EXPECT_TRUE(m_manager->PackAllTables()) << LogText();
    EXPECT_EQ(CountRows("files"), 1);
    EXPECT_EQ(CountRows("areafile"), 1);
    EXPECT_EQ(CountRows("download"), 1);
    ASSERT_TRUE(file.Get(static_cast<int32_t>(first), false));
    EXPECT_EQ(file.m_TITLE, "first");
    // Numbers are not handed out again after packing.
    EXPECT_GT(AddFile("third"), second);

    EXPECT_FALSE(m_manager->PackTable("no_such_table"));
    EXPECT_EQ(CountRows("files"), 2);
}

TEST_P(DatabaseManagerTest, TheCopyingPackOfOtherProductsAlwaysDropsItsScratchTable) {
    // The sequence of Access, FoxPro and SQL Server, run on this connection.
    AddFile("kept");
    CForcedTypeManager forced;
    forced.SetDataSourceName(m_source->Name());
    forced.SetLogFilename(LogPath());
    ASSERT_TRUE(forced.Open(nullptr, nullptr));
    forced.Force(DBTYPE_ACCESS);
    ASSERT_TRUE(forced.ExecuteSQL("create table tmp (a integer)"));
    // A missing table fails at the first step and the scratch table is still dropped.
    EXPECT_FALSE(forced.PackTable("no_such_table"));
    EXPECT_FALSE(forced.ExecuteSQL("select * from tmp"));

    bool selectInto = !IsSqlite(); // PostgreSQL runs "select * into" as written
    EXPECT_EQ(forced.PackTable("files"), selectInto) << LogText();
    EXPECT_EQ(CountRows("files", "TITLE = 'kept'"), 1);
    EXPECT_FALSE(forced.ExecuteSQL("select * from tmp"));
    if (!selectInto) {
        return;
    }
    // A table that cannot be dropped keeps its rows and the scratch table goes.
    ASSERT_TRUE(forced.ExecuteSQL("create view kept_titles as select TITLE from files"));
    EXPECT_FALSE(forced.PackTable("files"));
    EXPECT_EQ(CountRows("files", "TITLE = 'kept'"), 1);
    EXPECT_FALSE(forced.ExecuteSQL("select * from tmp"));
}

INSTANTIATE_FOR_CATALOG_ENGINES(DatabaseManagerTest);

} // namespace
