#pragma once
// The catalogue's manager: the data source "Dorvale", its three tables and the queries
// the programs ask of it.

#include "CatalogStatements.h"
#include "DatabaseManager.h"

#include <string>
#include <utility>
#include <vector>

class CDorvaleDatabaseManager : public CDatabaseManager {
public:
    static constexpr const char* DEFAULT_DATA_SOURCE_NAME = "Dorvale";

    // With openNow, opens the data source at once (no user, no password).
    explicit CDorvaleDatabaseManager(bool openNow = false);

    using CDatabaseManager::Open;
    // Opens the catalogue's data source, never prompting.
    bool Open(const char* user, const char* password);

    // The data source opened (normally "Dorvale").
    void SetDataSourceName(const std::string& name) { m_strDataSourceName = name; }
    const std::string& GetDataSourceName() const { return m_strDataSourceName; }

    // The number of files in an area; -1 when the query fails.
    long GetNumberOfFilesInArea(double areaId);
    // Replaces `locations` with the file's download locations; false when the query fails
    // (the array is then empty).
    bool GetDownloadURLs(double fileId, std::vector<std::string>& locations);
    // Appends the ids of the file's areas to `areaIds` (which is not emptied first).
    bool GetAreaIDsForFile(double fileId, std::vector<double>& areaIds);
    // True when no file has this download location (and when the query fails).
    bool IsDownloadURLUnique(const std::string& location);
    // Adds each count to its file's DOWNLOADS and sets LAST_DWNLD to now, in one transaction
    // and in ascending order of id, so that several processes adding at once neither lose
    // counts nor wait on each other in a cycle. Every count is added or none.
    bool AddDownloads(const std::vector<std::pair<double, long long>>& counts);

    // The tables, with the statements of the connection's product.
    bool CreateFilesTable();
    bool CreateDownloadTable();
    bool CreateAreaFileTable();
    // All three, each attempted; true only when all were created.
    bool CreateAllTables();
    // Drops files, areafile and download, each attempted.
    bool DropAllTables();
    // Packs files, areafile and download, each attempted.
    bool PackAllTables();

private:
    std::string m_strDataSourceName = DEFAULT_DATA_SOURCE_NAME;
};
