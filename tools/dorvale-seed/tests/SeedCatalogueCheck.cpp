#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"
#include "SeedTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace seedtest {

namespace {

class CCount : public CPartialDatabaseRecord {
public:
    using CPartialDatabaseRecord::CPartialDatabaseRecord;
    std::string GetDefaultSQL() override { return "files"; }
    int GetFields() override { return 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Double(pFX, "N", m_value); }
    double m_value = 0;
};

} // namespace

bool CreateTables(const std::string& dataSource) {
    CDorvaleDatabaseManager manager;
    manager.SetDataSourceName(dataSource);
    return manager.Open(nullptr, nullptr) && manager.CreateAllTables();
}

long long CountFiles(const std::string& dataSource) {
    CDorvaleDatabaseManager manager;
    manager.SetDataSourceName(dataSource);
    if (!manager.Open(nullptr, nullptr)) {
        return -1;
    }
    CCount count(&manager);
    if (!count.Open("select count(file_id) from files", false, true)) {
        return -1;
    }
    return static_cast<long long>(count.m_value);
}

std::vector<CStoredFile> ReadFiles(const std::string& dataSource) {
    std::vector<CStoredFile> files;
    CDorvaleDatabaseManager manager;
    manager.SetDataSourceName(dataSource);
    if (!manager.Open(nullptr, nullptr)) {
        ADD_FAILURE() << "catalogue not opened";
        return files;
    }
    CFileRecord record(&manager);
    if (!record.Open("select * from files order by file_id", true, false)) {
        ADD_FAILURE() << "files not read";
        return files;
    }
    while (!record.IsEOF()) {
        CStoredFile file;
        file.id = static_cast<long long>(record.m_FILE_ID);
        file.title = record.m_TITLE;
        file.version = record.m_VERSION;
        file.shortDesc = record.m_SHORT_DESC;
        file.longDesc = record.m_LONG_DESC;
        file.upldName = record.m_UPLD_NAME;
        file.upldEmail = record.m_UPLD_EMAIL;
        file.upldHome = record.m_UPLD_HOME;
        file.size = static_cast<long long>(record.m_SIZE);
        file.downloads = static_cast<long long>(record.m_DOWNLOADS);
        file.year = record.m_FILE_DATE.GetYear();
        file.month = record.m_FILE_DATE.GetMonth();
        file.day = record.m_FILE_DATE.GetDay();
        file.hour = record.m_FILE_DATE.GetHour();
        file.minute = record.m_FILE_DATE.GetMinute();
        file.second = record.m_FILE_DATE.GetSecond();
        file.reqForm = record.m_REQ_FORM;
        files.push_back(file);
        record.MoveNext();
    }
    record.Close();
    for (CStoredFile& file : files) {
        std::vector<double> areas;
        EXPECT_TRUE(manager.GetAreaIDsForFile(static_cast<double>(file.id), areas));
        for (double area : areas) {
            file.areas.push_back(static_cast<long long>(area));
        }
        std::sort(file.areas.begin(), file.areas.end());
        EXPECT_TRUE(manager.GetDownloadURLs(static_cast<double>(file.id), file.locations));
        std::sort(file.locations.begin(), file.locations.end());
    }
    return files;
}

} // namespace seedtest
