#include "FileRecord.h"

#include "AreaFileRecord.h"
#include "CatalogStatements.h"
#include "DownloadRecord.h"

namespace {

// A one-number query result.
class CNumberRecord : public CPartialDatabaseRecord {
public:
    using CPartialDatabaseRecord::CPartialDatabaseRecord;
    std::string GetDefaultSQL() override { return "files"; }
    int GetFields() override { return 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Double(pFX, "ID", m_value); }
    double m_value = 0;
};

} // namespace

CFileRecord::CFileRecord(CDatabaseManager* manager)
    : CDatabaseRecord<CFileRecord>(manager), m_LAST_DWNLD(CDateTime::GetCurrentTime()),
      m_FILE_DATE(m_LAST_DWNLD) {}

void CFileRecord::DoFieldExchange(CFieldExchange* pFX) {
    RFX_Double(pFX, "FILE_ID", m_FILE_ID);
    RFX_Text(pFX, "TITLE", m_TITLE, 255);
    RFX_Double(pFX, "SIZE", m_SIZE);
    RFX_Text(pFX, "SHORT_DESC", m_SHORT_DESC, 255);
    RFX_Text(pFX, "LONG_DESC", m_LONG_DESC, 65535, SQL_LONGVARCHAR);
    RFX_Text(pFX, "UPLD_NAME", m_UPLD_NAME, 255);
    RFX_Text(pFX, "UPLD_EMAIL", m_UPLD_EMAIL, 255);
    RFX_Text(pFX, "UPLD_HOME", m_UPLD_HOME, 255);
    RFX_Double(pFX, "TYPE_ID", m_TYPE_ID);
    RFX_Double(pFX, "RATING", m_RATING);
    RFX_Double(pFX, "DOWNLOADS", m_DOWNLOADS);
    RFX_Date(pFX, "LAST_DWNLD", m_LAST_DWNLD);
    RFX_Date(pFX, "FILE_DATE", m_FILE_DATE);
    RFX_Double(pFX, "PRICE", m_PRICE);
    RFX_Text(pFX, "VERSION", m_VERSION, 255);
    RFX_Bool(pFX, "REQ_FORM", m_REQ_FORM);
}

bool CFileRecord::GetByPrimaryKey(const CFileRecord& key, bool keepOpen, bool requireRow) {
    return Open("select * from files where file_id = " + FormatWhole(key.m_FILE_ID), keepOpen,
                requireRow);
}

bool CFileRecord::Get(int32_t fileId, bool keepOpen) {
    return Open("select * from files where file_id = " + std::to_string(fileId), keepOpen, true);
}

bool CFileRecord::GetAllFilesInArea(double areaId) {
    return Open("select * from files f, areafile a where a.file_id = f.file_id and a.area_id = " +
                    FormatShortest(areaId),
                true, true);
}

bool CFileRecord::GetHighestFileID(double& id) {
    CNumberRecord highest(m_pManager);
    if (!highest.Open("select max(file_id) from files", false, true)) {
        return false;
    }
    id = highest.m_value; // NULL (no rows) reads as 0
    return true;
}

bool CFileRecord::GetNewFileID(double& id) {
    double highest = 0;
    if (!GetHighestFileID(highest)) {
        return false;
    }
    id = highest + 1;
    return true;
}

bool CFileRecord::Add() {
    CDatabaseLockGuard guard;
    CDatabaseType type = m_pManager ? m_pManager->GetDatabaseType() : DBTYPE_NONE;
    // Only adding: the table is not read.
    CFileRecord added(m_pManager);
    if (!added.OpenForAppend()) {
        return false;
    }
    bool numberedByDatabase = type != DBTYPE_FOXPRO;
    bool reportsNumber = numberedByDatabase && type != DBTYPE_NONE;
    if (reportsNumber) {
        // The number given to this very row, on this connection.
        added.SetReturnedColumn("FILE_ID");
    }
    if (!added.BeginAddNew()) {
        return false;
    }
    added = *this;
    if (numberedByDatabase) {
        added.SetFieldNull(&added.m_FILE_ID);
    } else if (!GetNewFileID(added.m_FILE_ID)) {
        added.CancelRow();
        return false;
    }
    if (!added.StoreRow()) {
        return false;
    }
    if (type == DBTYPE_NONE) {
        // An unknown product cannot be asked for the number of this insert; under the lock
        // no other thread of the process has added a row since.
        return GetHighestFileID(m_FILE_ID);
    }
    m_FILE_ID = added.m_FILE_ID;
    return true;
}

bool CFileRecord::Delete() {
    CDatabaseLockGuard guard;
    if (!CDatabaseRecord<CFileRecord>::Delete()) {
        return false;
    }
    std::string id = FormatWhole(m_FILE_ID);
    bool links = m_pManager->ExecuteSQL("delete from areafile where file_id = " + id);
    bool locations = m_pManager->ExecuteSQL("delete from download where file_id = " + id);
    return links && locations;
}

bool CFileRecord::AddDownloadURL(const std::string& location) {
    CDownloadRecord key(m_pManager);
    key.m_FILE_ID = m_FILE_ID;
    key.m_URL = location;
    return key.Add();
}

bool CFileRecord::DeleteDownloadURL(const std::string& location) {
    CDownloadRecord key(m_pManager);
    key.m_FILE_ID = m_FILE_ID;
    key.m_URL = location;
    return key.Delete();
}

bool CFileRecord::AddToFileArea(double areaId) {
    CAreaFileRecord key(m_pManager);
    key.m_AREA_ID = areaId;
    key.m_FILE_ID = m_FILE_ID;
    return key.Add();
}

bool CFileRecord::DeleteFromFileArea(double areaId) {
    CAreaFileRecord key(m_pManager);
    key.m_AREA_ID = areaId;
    key.m_FILE_ID = m_FILE_ID;
    return key.Delete();
}
