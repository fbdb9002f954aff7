#include "SetupCatalogue.h"

#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"

namespace {

bool Open(CDorvaleDatabaseManager& db, const std::string& dataSource) {
    db.SetDataSourceName(dataSource);
    return db.Open(nullptr, nullptr);
}

} // namespace

bool CreateCatalogue(const std::string& dataSource) {
    CDorvaleDatabaseManager db;
    return Open(db, dataSource) && db.CreateAllTables();
}

double AddCatalogueFile(const std::string& dataSource, const std::string& title,
                        std::uint32_t areaId, const std::vector<std::string>& locations) {
    CDorvaleDatabaseManager db;
    if (!Open(db, dataSource)) {
        return 0;
    }
    CFileRecord file(&db);
    file.m_TITLE = title;
    if (!file.Add() || !file.AddToFileArea(areaId)) {
        return 0;
    }
    for (const std::string& location : locations) {
        if (!file.AddDownloadURL(location)) {
            return 0;
        }
    }
    return file.m_FILE_ID;
}

long CountFilesInArea(const std::string& dataSource, std::uint32_t areaId) {
    CDorvaleDatabaseManager db;
    return Open(db, dataSource) ? db.GetNumberOfFilesInArea(areaId) : -1;
}

std::vector<std::string> FileLocations(const std::string& dataSource, double fileId) {
    CDorvaleDatabaseManager db;
    std::vector<std::string> locations;
    if (Open(db, dataSource)) {
        db.GetDownloadURLs(fileId, locations);
    }
    return locations;
}
