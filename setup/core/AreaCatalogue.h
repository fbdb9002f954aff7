#pragma once
// What removing a file area does to the catalogue and to the area's files on disk: the
// files move to another area (their local copies with them, their local locations
// rewritten) or leave the catalogue (their local copies deleted on request).
//
// Kept apart from the settings code with plain types in this header, since the registry and
// ODBC headers each define the Windows integer types their own way.
//
// Order of a move, per file, chosen so that a failure at any step leaves the file findable:
// the link to the target area is made before the link to the source goes; a local copy is
// copied (never over an existing file), the new location row is added, the old row is
// deleted, and only then is the source file deleted. A step that fails undoes the steps of
// that copy before it and leaves the original file and row in place.
//
// Nothing outside an area's directory is ever touched: a local location whose name would
// lead out of it (`..`, an absolute name, a link pointing elsewhere) is skipped and reported.

#include "FileAreaStore.h"

#include <memory>
#include <string>
#include <vector>

struct CRemovalReport {
    std::size_t files = 0;             // files deleted from the catalogue or moved
    std::size_t localFiles = 0;        // local copies deleted or moved
    std::vector<std::string> problems; // one line per file or copy left as it was
};

class CAreaCatalogue {
public:
    explicit CAreaCatalogue(std::string dataSource);
    ~CAreaCatalogue();
    CAreaCatalogue(const CAreaCatalogue&) = delete;
    CAreaCatalogue& operator=(const CAreaCatalogue&) = delete;

    bool Open();
    bool IsOpen() const;
    // The files of an area; -1 when the query fails.
    long CountFiles(std::uint32_t areaId);
    // Every file of the area leaves the catalogue (whatever other areas it is in); with
    // deleteLocal its local copies in this area's directory are deleted once its rows are.
    void DeleteFiles(const AreaRecord& area, bool deleteLocal, CRemovalReport& report);
    // Every file of `source` goes to `target`.
    void MoveFiles(const AreaRecord& source, const AreaRecord& target, CRemovalReport& report);

private:
    struct CImpl;
    std::unique_ptr<CImpl> m_impl;
};

// Drops and creates the catalogue's tables when the data source opens; results are not
// checked (start-up with /create goes on either way).
void RecreateCatalogueTables(const std::string& dataSource);

// The file a local location of `area` names, when it lies inside the area's directory:
// `location` must start with the area's own prefix (letter case ignored). Sets `outside`
// when it has that prefix but names a place outside the directory.
bool AreaLocalFile(const AreaRecord& area, const std::string& location, std::string& name,
                   std::string& path, bool& outside);
