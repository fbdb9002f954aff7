#include "DorvaleDatabaseManager.h"

#include "AreaFileRecord.h"
#include "DownloadRecord.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// The single column of "select count(...)".
class CCountRecord : public CPartialDatabaseRecord {
public:
    using CPartialDatabaseRecord::CPartialDatabaseRecord;
    std::string GetDefaultSQL() override { return "files"; }
    int GetFields() override { return 1; }
    void DoFieldExchange(CFieldExchange* pFX) override {
        RFX_Long(pFX, "Count([FILE_ID])", m_count);
    }
    long m_count = 0;
};

} // namespace

CDorvaleDatabaseManager::CDorvaleDatabaseManager(bool openNow) {
    if (openNow) {
        Open(nullptr, nullptr);
    }
}

bool CDorvaleDatabaseManager::Open(const char* user, const char* password) {
    return CDatabaseManager::Open(m_strDataSourceName.c_str(), user, password, true);
}

long CDorvaleDatabaseManager::GetNumberOfFilesInArea(double areaId) {
    CCountRecord count(this);
    if (!count.Open("select count(f.file_id) from files f, areafile a where a.file_id = "
                    "f.file_id and a.area_id = " +
                        FormatShortest(areaId),
                    false, true)) {
        return -1;
    }
    return count.m_count;
}

bool CDorvaleDatabaseManager::GetDownloadURLs(double fileId, std::vector<std::string>& locations) {
    locations.clear();
    CDownloadRecord row(this);
    if (!row.Open("select * from download where file_id = " + FormatWhole(fileId), true, false)) {
        return false;
    }
    while (!row.IsEOF()) {
        locations.push_back(row.m_URL);
        if (!row.MoveNext()) {
            locations.clear();
            return false;
        }
    }
    return true;
}

bool CDorvaleDatabaseManager::GetAreaIDsForFile(double fileId, std::vector<double>& areaIds) {
    CAreaFileRecord row(this);
    if (!row.Open("select * from areafile where file_id = " + FormatWhole(fileId), true, false)) {
        return false;
    }
    while (!row.IsEOF()) {
        areaIds.push_back(row.m_AREA_ID);
        if (!row.MoveNext()) {
            return false;
        }
    }
    return true;
}

bool CDorvaleDatabaseManager::IsDownloadURLUnique(const std::string& location) {
    CDownloadRecord row(this);
    return !row.Open("select * from download where url =" + QuoteText(location), false, true);
}

bool CDorvaleDatabaseManager::CreateFilesTable() {
    return ExecuteSQL(GetCreateTableStatement(GetDatabaseType(), ECatalogTable::Files));
}

bool CDorvaleDatabaseManager::CreateDownloadTable() {
    return ExecuteSQL(GetCreateTableStatement(GetDatabaseType(), ECatalogTable::Download));
}

bool CDorvaleDatabaseManager::CreateAreaFileTable() {
    return ExecuteSQL(GetCreateTableStatement(GetDatabaseType(), ECatalogTable::Areafile));
}

bool CDorvaleDatabaseManager::CreateAllTables() {
    bool files = CreateFilesTable();
    bool download = CreateDownloadTable();
    bool areafile = CreateAreaFileTable();
    return files && download && areafile;
}

bool CDorvaleDatabaseManager::DropAllTables() {
    bool files = ExecuteSQL("drop table files");
    bool areafile = ExecuteSQL("drop table areafile");
    bool download = ExecuteSQL("drop table download");
    return files && areafile && download;
}

bool CDorvaleDatabaseManager::PackAllTables() {
    bool files = PackTable("files");
    bool areafile = PackTable("areafile");
    bool download = PackTable("download");
    return files && areafile && download;
}

bool CDorvaleDatabaseManager::AddDownloads(
    const std::vector<std::pair<double, long long>>& counts) {
    if (counts.empty()) {
        return true;
    }
    std::vector<std::pair<double, long long>> ordered = counts;
    std::sort(ordered.begin(), ordered.end());
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "{ts '%04d-%02d-%02d %02d:%02d:%02d'}", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    CDatabaseLockGuard guard;
    try {
        BeginTrans();
        for (const auto& [fileId, count] : ordered) {
            // Added in the database, never read and written back: other processes add too.
            CDatabase::ExecuteSQL("update files set DOWNLOADS = coalesce(DOWNLOADS, 0) + " +
                                  std::to_string(count) + ", LAST_DWNLD = " + stamp +
                                  " where FILE_ID = " + FormatWhole(fileId));
        }
        CommitTrans();
        return true;
    } catch (const CDBException& error) {
        LogError(error.m_strError);
        try {
            if (IsInTransaction()) {
                Rollback();
            }
        } catch (const CDBException& rollbackError) {
            LogError(rollbackError.m_strError);
        }
        return false;
    }
}
