#pragma once
// A catalogue on one engine: a private data source with the three tables, a manager
// opened on it that logs to a file of the test, and a second plain connection to look at
// the tables independently of the library.

#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"
#include "OdbcTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

class CatalogTest : public ::testing::TestWithParam<testsupport::EEngine> {
protected:
    void SetUp() override;
    void TearDown() override;

    bool IsSqlite() const { return GetParam() == testsupport::EEngine::SQLite; }
    std::string LogPath() const { return m_dir / "db.log"; }
    std::string LogText() const;

    // Rows of `table` (matching `where` when given), counted over the plain connection.
    long CountRows(const std::string& table, const std::string& where = {});
    // Adds a file with this title (and the given size); returns its id (0 on failure).
    double AddFile(const std::string& title, double size = 100);

    testsupport::CTempDir m_dir;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
    std::unique_ptr<CDorvaleDatabaseManager> m_manager;
    CDatabase m_plain;
};

std::string CatalogEngineName(const ::testing::TestParamInfo<testsupport::EEngine>& info);

#define INSTANTIATE_FOR_CATALOG_ENGINES(Suite)                                                     \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Engines, Suite,                                                                            \
        ::testing::Values(testsupport::EEngine::SQLite, testsupport::EEngine::PostgreSQL),         \
        CatalogEngineName)
