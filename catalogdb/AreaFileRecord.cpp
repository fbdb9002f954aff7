#include "AreaFileRecord.h"

#include "CatalogStatements.h"

CAreaFileRecord::CAreaFileRecord(CDatabaseManager* manager)
    : CDatabaseRecord<CAreaFileRecord>(manager) {}

void CAreaFileRecord::DoFieldExchange(CFieldExchange* pFX) {
    RFX_Double(pFX, "AREA_ID", m_AREA_ID);
    RFX_Double(pFX, "FILE_ID", m_FILE_ID);
}

bool CAreaFileRecord::GetByPrimaryKey(const CAreaFileRecord& key, bool keepOpen, bool requireRow) {
    return Open("select * from areafile where area_id = " + FormatWhole(key.m_AREA_ID) +
                    " and file_id = " + FormatWhole(key.m_FILE_ID),
                keepOpen, requireRow);
}

bool CAreaFileRecord::Get(double areaId, double fileId, bool keepOpen) {
    CAreaFileRecord key(m_pManager);
    key.m_AREA_ID = areaId;
    key.m_FILE_ID = fileId;
    return GetByPrimaryKey(key, keepOpen, true);
}
