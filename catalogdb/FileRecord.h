#pragma once
// One row of the table "files": a published file of the catalogue.

#include "DatabaseRecord.h"
#include "DateTime.h"

#include <cstdint>
#include <string>

class CFileRecord : public CDatabaseRecord<CFileRecord> {
public:
    // Numbers 0, texts empty, REQ_FORM false, both dates the current time.
    explicit CFileRecord(CDatabaseManager* manager);
    CFileRecord(const CFileRecord& other) = default;
    CFileRecord& operator=(const CFileRecord& other) = default;
    ~CFileRecord() override = default;

    std::string GetDefaultSQL() override { return "files"; }
    int GetFields() override { return 16; }
    void DoFieldExchange(CFieldExchange* pFX) override;

    // Stores this file as a new row; FILE_ID is then the number the database gave it.
    bool Add() override;
    // Deletes the row and the file's area links and download locations.
    bool Delete() override;
    bool GetByPrimaryKey(const CFileRecord& key, bool keepOpen, bool requireRow) override;

    // The file with this id (a row is required).
    bool Get(int32_t fileId, bool keepOpen);
    // Opens, and keeps open, the files of an area (at least one is required); walk them
    // with IsEOF and MoveNext.
    bool GetAllFilesInArea(double areaId);

    // A download location of this file: false when it is already there.
    bool AddDownloadURL(const std::string& location);
    bool DeleteDownloadURL(const std::string& location);
    // A link of this file to an area: false when the file is already in the area.
    bool AddToFileArea(double areaId);
    bool DeleteFromFileArea(double areaId);

    double m_FILE_ID = 0;
    std::string m_TITLE;
    double m_SIZE = 0;
    std::string m_SHORT_DESC;
    std::string m_LONG_DESC;
    std::string m_UPLD_NAME;
    std::string m_UPLD_EMAIL;
    std::string m_UPLD_HOME;
    double m_TYPE_ID = 0;
    double m_RATING = 0;
    double m_DOWNLOADS = 0;
    CDateTime m_LAST_DWNLD;
    CDateTime m_FILE_DATE;
    double m_PRICE = 0;
    std::string m_VERSION;
    bool m_REQ_FORM = false;

private:
    // The id after the highest in the table (1 for an empty table); for products that do
    // not number rows themselves.
    bool GetNewFileID(double& id);
    // The highest id in the table (0 for an empty table).
    bool GetHighestFileID(double& id);
};
