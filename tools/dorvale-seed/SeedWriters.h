#pragma once
// Writing a sample library out: the file side (settings, file-area store, group files, local
// archives) and the catalogue side (DorvaleDb). Kept in separate sources with plain types
// here, since the registry and ODBC headers define the Windows integer types each their own way.

#include "SampleLibrary.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// ---- File side ----

struct CSeedSettings {
    std::string databasePath;
    std::string httpPath;
    std::optional<std::string> httpServer;
    std::optional<std::string> ftpServer;
    std::optional<std::string> installDir;
};

// What the database directory holds already. `fresh` is false when the store has ever held
// an area (its next id is not 1), even if none is left.
struct CStoreContents {
    std::size_t areas = 0;
    std::size_t groups = 0;
    bool fresh = true;
};
bool ReadStoreContents(const std::string& databasePath, CStoreContents& contents,
                       std::string& error);

// Writes the areas (their ids must come out as planned) and the group files.
bool WriteAreaStore(const CSampleLibrary& library, const std::string& databasePath,
                    std::string& error);
// Takes back what WriteAreaStore wrote, after a later step failed.
void RemoveAreaStore(const CSampleLibrary& library, const std::string& databasePath);

// Writes a local file into its area's directory (created when missing).
bool WriteLocalFile(const CSampleArea& area, const CSampleFile& file, std::string& error);

bool WriteSeedSettings(const CSeedSettings& values, std::string& error);

// ---- Catalogue side ----

class CSeedCatalogue {
public:
    CSeedCatalogue();
    ~CSeedCatalogue();
    CSeedCatalogue(const CSeedCatalogue&) = delete;
    CSeedCatalogue& operator=(const CSeedCatalogue&) = delete;

    // Database errors are logged to `logFile`.
    bool Open(const std::string& dataSource, const std::string& logFile, std::string& error);
    // The number of rows of "files"; false when the tables are missing.
    bool CountFiles(long long& count, std::string& error);
    // All files go in one transaction, so that a failure leaves the catalogue as it was.
    bool Begin(std::string& error);
    // Adds the file, its area links and its download locations; `fileId` is its new id.
    bool Add(const CSampleFile& file, long long& fileId, std::string& error);
    bool Commit(std::string& error);
    void Rollback();

private:
    struct CImpl;
    std::unique_ptr<CImpl> m_impl;
};
