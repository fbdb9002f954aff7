#pragma once
// One row of the table "areafile": a file listed in a file area.

#include "DatabaseRecord.h"

class CAreaFileRecord : public CDatabaseRecord<CAreaFileRecord> {
public:
    explicit CAreaFileRecord(CDatabaseManager* manager);
    CAreaFileRecord(const CAreaFileRecord& other) = default;
    CAreaFileRecord& operator=(const CAreaFileRecord& other) = default;
    ~CAreaFileRecord() override = default;

    std::string GetDefaultSQL() override { return "areafile"; }
    int GetFields() override { return 2; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    // The row is nothing but its key: there is nothing to update.
    bool Update() override { return false; }
    bool GetByPrimaryKey(const CAreaFileRecord& key, bool keepOpen, bool requireRow) override;
    // The link of a file to an area (a row is required).
    bool Get(double areaId, double fileId, bool keepOpen);

    double m_AREA_ID = 0;
    double m_FILE_ID = 0;
};
