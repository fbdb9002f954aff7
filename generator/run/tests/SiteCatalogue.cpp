// The catalogue side of the test installation, kept apart from the registry side (the
// ODBC and registry headers each define the Windows integer types their own way).

#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"
#include "SiteFixture.h"

#include <gtest/gtest.h>

namespace runtest {

bool CreateCatalogueTables(const std::string& dataSource) {
    CDorvaleDatabaseManager manager;
    manager.SetDataSourceName(dataSource);
    return manager.Open(nullptr, nullptr) && manager.CreateAllTables();
}

std::vector<long long> AddCatalogueFiles(const std::string& dataSource,
                                         const std::vector<CSiteFile>& files) {
    CDorvaleDatabaseManager manager;
    manager.SetDataSourceName(dataSource);
    std::vector<long long> ids;
    if (!manager.Open(nullptr, nullptr)) {
        ADD_FAILURE() << "catalogue not opened";
        return ids;
    }
    for (const CSiteFile& file : files) {
        CFileRecord record(&manager);
        record.m_TITLE = file.title;
        record.m_SIZE = file.size;
        record.m_SHORT_DESC = file.shortDesc;
        record.m_DOWNLOADS = file.downloads;
        record.m_FILE_DATE = CDateTime(file.year, file.month, file.day, 12, 0, 0);
        record.m_VERSION = file.version;
        record.m_REQ_FORM = file.reqForm;
        record.m_UPLD_NAME = "Uploader";
        record.m_UPLD_EMAIL = "up@example.com";
        if (!record.Add()) {
            ADD_FAILURE() << "file not added: " << file.title;
            continue;
        }
        for (std::uint32_t area : file.areas) {
            EXPECT_TRUE(record.AddToFileArea(area));
        }
        for (const std::string& location : file.locations) {
            EXPECT_TRUE(record.AddDownloadURL(location));
        }
        ids.push_back(static_cast<long long>(record.m_FILE_ID));
    }
    return ids;
}

} // namespace runtest
