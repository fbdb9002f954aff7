#include "CoreFixture.h"

#include "FileRecord.h"
#include "GroupFiles.h"
#include "Process.h"
#include "Recordset.h"
#include "TestSettings.h"

#include <cstdio>

#include <cstdlib>

namespace {

class CCountSet : public CRecordset {
public:
    explicit CCountSet(CDatabase* database) : CRecordset(database) { m_nFields = 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Long(pFX, "n", m_count); }
    long m_count = -1;
};

} // namespace

void CCoreTest::SetUp() {
    std::filesystem::create_directories(m_dir.Path() / "registry");
    setenv("DORVALE_REGISTRY", (m_dir.Path() / "registry").c_str(), 1);
    m_db = m_dir.Path() / "db";
    m_site = m_dir.Path() / "site";
    std::filesystem::create_directories(m_db);
    std::filesystem::create_directories(m_site / "reviews");
    SetSettingText(SETTING_DATABASE_PATH, m_db.string());
    SetSettingText(SETTING_HTTP_PATH, m_site.string());
    m_source = std::make_unique<testsupport::CTestDataSource>(GetParam(), m_dir.Path());
    if (!m_source->IsAvailable()) {
        GTEST_SKIP() << testsupport::NO_POSTGRES;
    }
    CDorvaleDatabaseManager creator(false);
    creator.SetDataSourceName(m_source->Name());
    ASSERT_TRUE(creator.Open(nullptr, nullptr));
    ASSERT_TRUE(creator.CreateAllTables());
}

void CCoreTest::TearDown() {
    m_context.reset();
    unsetenv("DORVALE_REGISTRY");
}

void CCoreTest::WriteLibrary(
    const std::vector<AreaRecord>& areas,
    const std::vector<std::pair<std::string, std::vector<std::uint32_t>>>& groups) {
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(m_db.string()));
    for (AreaRecord area : areas) {
        if (!area.Path.empty()) {
            std::filesystem::create_directories(area.Path);
        }
        ASSERT_TRUE(store.AddArea(area));
    }
    store.Close();
    for (const auto& [name, ids] : groups) {
        ASSERT_TRUE(WriteGroup(m_db.string(), name, ids));
    }
}

void CCoreTest::WriteStandardLibrary() {
    const std::uint32_t hosted = AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY;
    WriteLibrary({{0, "Games", AreaDir(1).string(), "", "/games", hosted | AREA_UPLOADABLE},
                  {0, "Tools", AreaDir(2).string(), "", "/tools", hosted},
                  {0, "Mirrors", "", "", "", AREA_DOWNLOADABLE},
                  {0, "Orphan", AreaDir(4).string(), "", "", hosted}},
                 {{"Main", {1, 3, 99}}, {"Extra", {2, 1}}});
}

bool CCoreTest::Start() {
    m_context = std::make_unique<CAdminContext>(m_prompt);
    return m_context->Start(m_source->Name());
}

std::filesystem::path CCoreTest::AreaDir(std::uint32_t id) const {
    return m_dir.Path() / ("area" + std::to_string(id));
}

std::string CCoreTest::Problems() const {
    std::string text;
    for (const std::string& problem : m_prompt.Problems()) {
        text += problem + "\n";
    }
    return text;
}

double CCoreTest::AddFile(const std::string& title, const std::vector<std::uint32_t>& areas,
                          const std::vector<std::string>& locations) {
    CFileRecord file(&Catalogue());
    file.m_TITLE = title;
    file.m_SIZE = 10;
    EXPECT_TRUE(file.Add());
    for (std::uint32_t area : areas) {
        EXPECT_TRUE(file.AddToFileArea(area));
    }
    for (const std::string& location : locations) {
        EXPECT_TRUE(file.AddDownloadURL(location));
    }
    return file.m_FILE_ID;
}

long CCoreTest::Count(const std::string& table, const std::string& where) {
    CCountSet count(&Catalogue());
    count.Open(CRecordset::forwardOnly,
               ("select count(*) from " + table + (where.empty() ? "" : " where " + where)).c_str(),
               CRecordset::readOnly);
    return count.m_count;
}

bool CCoreTest::UseClamAv(const std::string& infected) {
    if (process::FindProgram("clamscan").empty()) {
        std::printf("[  SKIPPED ] the virus check: clamscan is not installed "
                    "(scripts/install-deps.sh installs clamav)\n");
        return false;
    }
    const auto sample = m_dir.Path() / "sample";
    testsupport::WriteFile(sample, infected);
    process::CExitStatus status;
    std::string error;
    const std::string db = (m_dir.Path() / "test.hdb").string();
    const bool written = process::RunAndWait(
        "sh",
        {"-c", "echo \"$(md5sum < \"$1\" | cut -c1-32):$(stat -c%s \"$1\"):Dorvale.Test\" > \"$2\"",
         "sh", sample.string(), db},
        {}, status, error);
    EXPECT_TRUE(written) << error;
    SetSettingText(SETTING_VIRUS_CHECKER, "clamscan");
    SetSettingText(SETTING_VIRUS_CMDLINE, "--no-summary -d '" + db + "'");
    SetSettingNumber(SETTING_VIRUS_EXIT_CODE, 1);
    return written;
}
