#pragma once
// The catalogue read through the generator's own read-only ODBC recordsets.

#include "Catalogue.h"

#include <memory>
#include <string>

class CDatabase;

// Which text the newest and most popular queries take: "TOP 10" for the products the
// catalogue was first written for, "LIMIT 10" for SQLite and PostgreSQL.
enum class EQueryForm { Top, Limit };

// The form for the product name a driver reports.
EQueryForm QueryFormForProduct(const std::string& dbmsName);

// Sets what the product's planner needs to read each area's list through the keys rather
// than the whole files table; nothing for most products. A setting refused is passed over.
void TuneSessionForLists(CDatabase& database, const std::string& dbmsName);

// The list query of an area key in a sort order.
std::string BuildFileListQuery(EQueryForm form, long long areaKey, int sort);

class COdbcCatalogue : public ICatalogue {
public:
    ~COdbcCatalogue() override;

    // Opens the data source read-only, never prompting. Null on failure, with the driver's
    // text in `error`.
    static std::unique_ptr<COdbcCatalogue> Open(const std::string& dataSource, std::string& error);

    EQueryForm GetQueryForm() const { return m_form; }

    EOpenResult CountFiles(long long& count) override;
    EOpenResult OpenFileList(long long areaKey, int sort,
                             std::unique_ptr<IFileListSource>& list) override;
    EOpenResult OpenDetails(std::unique_ptr<IFileDetailSource>& details) override;
    IDownloadSource& GetDownloads() override;
    std::string GetLastError() const override { return m_lastError; }

private:
    class CDownloads;
    COdbcCatalogue();

    std::unique_ptr<CDatabase> m_database;
    // The locations are read as one stream beside the details: a connection of their own
    // keeps its cursor while the details' cursor is open.
    std::unique_ptr<CDatabase> m_locationDatabase;
    std::unique_ptr<CDownloads> m_downloads;
    EQueryForm m_form = EQueryForm::Top;
    std::string m_lastError;
};
