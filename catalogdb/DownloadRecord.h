#pragma once
// One row of the table "download": a download location of a file.

#include "DatabaseRecord.h"

#include <string>

class CDownloadRecord : public CDatabaseRecord<CDownloadRecord> {
public:
    explicit CDownloadRecord(CDatabaseManager* manager);
    CDownloadRecord(const CDownloadRecord& other) = default;
    CDownloadRecord& operator=(const CDownloadRecord& other) = default;
    ~CDownloadRecord() override = default;

    std::string GetDefaultSQL() override { return "download"; }
    int GetFields() override { return 2; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    // The row is nothing but its key: there is nothing to update.
    bool Update() override { return false; }
    bool GetByPrimaryKey(const CDownloadRecord& key, bool keepOpen, bool requireRow) override;
    // A location of a file (a row is required).
    bool Get(double fileId, const std::string& location, bool keepOpen);

    double m_FILE_ID = 0;
    std::string m_URL;
};
