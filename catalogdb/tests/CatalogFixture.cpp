#include "CatalogFixture.h"

#include "Recordset.h"

namespace {

class CCountSet : public CRecordset {
public:
    explicit CCountSet(CDatabase* database) : CRecordset(database) { m_nFields = 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Long(pFX, "n", m_count); }
    long m_count = -1;
};

} // namespace

void CatalogTest::SetUp() {
    m_source = std::make_unique<testsupport::CTestDataSource>(GetParam(), m_dir.Path());
    if (!m_source->IsAvailable()) {
        GTEST_SKIP() << testsupport::NO_POSTGRES;
    }
    m_manager = std::make_unique<CDorvaleDatabaseManager>(false);
    m_manager->SetDataSourceName(m_source->Name());
    m_manager->SetLogFilename(LogPath());
    ASSERT_TRUE(m_manager->Open(nullptr, nullptr)) << LogText();
    ASSERT_TRUE(m_manager->CreateAllTables()) << LogText();
    ASSERT_TRUE(m_plain.OpenEx("DSN=" + m_source->Name(), CDatabase::noOdbcDialog));
}

void CatalogTest::TearDown() {
    m_plain.Close();
    m_manager.reset();
}

std::string CatalogTest::LogText() const {
    std::error_code ignored;
    if (!std::filesystem::exists(LogPath(), ignored)) {
        return {};
    }
    return testsupport::ReadFile(LogPath());
}

long CatalogTest::CountRows(const std::string& table, const std::string& where) {
    CCountSet count(&m_plain);
    count.Open(CRecordset::forwardOnly,
               ("select count(*) from " + table + (where.empty() ? "" : " where " + where)).c_str(),
               CRecordset::readOnly);
    return count.m_count;
}

double CatalogTest::AddFile(const std::string& title, double size) {
    CFileRecord file(m_manager.get());
    file.m_TITLE = title;
    file.m_SIZE = size;
    if (!file.Add()) {
        ADD_FAILURE() << "adding " << title << " failed: " << LogText();
        return 0;
    }
    return file.m_FILE_ID;
}

std::string CatalogEngineName(const ::testing::TestParamInfo<testsupport::EEngine>& info) {
    return testsupport::EngineName(info.param);
}
