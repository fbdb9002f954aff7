#include "DorvaleDatabaseManager.h"

#include "AreaFileRecord.h"
#include "DownloadRecord.h"

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
    return ExecuteSQL(GetCreateTableStatement(GetDatabaseType(), ECatalogTable::files));
}

bool CDorvaleDatabaseManager::CreateDownloadTable() {
    return ExecuteSQL(GetCreateTableStatement(GetDatabaseType(), ECatalogTable::download));
}

bool CDorvaleDatabaseManager::CreateAreaFileTable() {
    return ExecuteSQL(GetCreateTableStatement(GetDatabaseType(), ECatalogTable::areafile));
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
