#include "DownloadRecord.h"

#include "CatalogStatements.h"

CDownloadRecord::CDownloadRecord(CDatabaseManager* manager)
    : CDatabaseRecord<CDownloadRecord>(manager) {}

void CDownloadRecord::DoFieldExchange(CFieldExchange* pFX) {
    RFX_Double(pFX, "FILE_ID", m_FILE_ID);
    RFX_Text(pFX, "URL", m_URL, 255);
}

bool CDownloadRecord::GetByPrimaryKey(const CDownloadRecord& key, bool keepOpen, bool requireRow) {
    // The location is quoted with its quotes doubled, so any text is looked up as written.
    return Open("select * from download where file_id = " + FormatWhole(key.m_FILE_ID) +
                    " and url = " + QuoteText(key.m_URL),
                keepOpen, requireRow);
}

bool CDownloadRecord::Get(double fileId, const std::string& location, bool keepOpen) {
    CDownloadRecord key(m_pManager);
    key.m_FILE_ID = fileId;
    key.m_URL = location;
    return GetByPrimaryKey(key, keepOpen, true);
}
