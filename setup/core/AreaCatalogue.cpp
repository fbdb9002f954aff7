#include "AreaCatalogue.h"

#include "DorvaleDatabaseManager.h"
#include "DownloadLocation.h"
#include "DownloadRecord.h"
#include "FileRecord.h"
#include "Text.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

struct CAreaCatalogue::CImpl {
    CDorvaleDatabaseManager db;
};

namespace {

// Whether `path` lies inside `directory`, links resolved.
bool IsInside(const std::string& directory, const std::string& path) {
    std::error_code ec;
    const fs::path base = fs::weakly_canonical(directory, ec);
    if (ec) {
        return false;
    }
    const fs::path target = fs::weakly_canonical(path, ec);
    if (ec) {
        return false;
    }
    auto b = base.begin();
    auto t = target.begin();
    for (; b != base.end(); ++b, ++t) {
        if (b->empty()) {
            continue; // the trailing separator of a directory
        }
        if (t == target.end() || *b != *t) {
            return false;
        }
    }
    return t != target.end();
}

bool SameDirectory(const std::string& a, const std::string& b) {
    std::error_code ec;
    return a == b || fs::equivalent(a, b, ec);
}

std::vector<double> FilesOfArea(CDorvaleDatabaseManager& db, std::uint32_t areaId) {
    std::vector<double> ids;
    CFileRecord files(&db);
    if (files.GetAllFilesInArea(areaId)) {
        while (!files.IsEOF()) {
            ids.push_back(files.m_FILE_ID);
            if (!files.MoveNext()) {
                break;
            }
        }
    }
    return ids;
}

std::string FileText(double fileId) {
    return "file " + std::to_string(static_cast<long long>(fileId));
}

bool HasLocation(CDorvaleDatabaseManager& db, double fileId, const std::string& location) {
    CDownloadRecord row(&db);
    return row.Get(fileId, location, false);
}

} // namespace

bool AreaLocalFile(const AreaRecord& area, const std::string& location, std::string& name,
                   std::string& path, bool& outside) {
    outside = false;
    const std::string prefix = BuildLocalLocation(area.Id, "");
    if (!base::StartsWithNoCase(location, prefix)) {
        return false;
    }
    std::uint32_t id = 0;
    if (area.Path.empty() || !ParseLocalLocation(location, id, name)) {
        outside = true;
        return false;
    }
    path = JoinPath(area.Path, name);
    if (!IsInside(area.Path, path)) {
        outside = true;
        return false;
    }
    return true;
}

CAreaCatalogue::CAreaCatalogue(std::string dataSource) : m_impl(std::make_unique<CImpl>()) {
    m_impl->db.SetDataSourceName(dataSource);
}

CAreaCatalogue::~CAreaCatalogue() = default;

bool CAreaCatalogue::Open() {
    return m_impl->db.Open(nullptr, nullptr);
}

bool CAreaCatalogue::IsOpen() const {
    return m_impl->db.IsOpen();
}

long CAreaCatalogue::CountFiles(std::uint32_t areaId) {
    return m_impl->db.GetNumberOfFilesInArea(areaId);
}

void CAreaCatalogue::DeleteFiles(const AreaRecord& area, bool deleteLocal, CRemovalReport& report) {
    CDorvaleDatabaseManager& db = m_impl->db;
    for (const double fileId : FilesOfArea(db, area.Id)) {
        std::vector<std::string> localPaths;
        if (deleteLocal) {
            std::vector<std::string> locations;
            db.GetDownloadURLs(fileId, locations);
            for (const std::string& location : locations) {
                std::string name;
                std::string path;
                bool outside = false;
                if (AreaLocalFile(area, location, name, path, outside)) {
                    localPaths.push_back(path);
                } else if (outside) {
                    report.problems.push_back(FileText(fileId) + ": " + location +
                                              " leads out of the area's directory; not deleted");
                }
            }
        }
        CFileRecord file(&db);
        file.m_FILE_ID = fileId;
        if (!file.Delete()) {
            report.problems.push_back(FileText(fileId) +
                                      ": could not be deleted from the catalogue");
            continue;
        }
        ++report.files;
        for (const std::string& path : localPaths) {
            std::error_code ec;
            if (fs::remove(path, ec)) {
                ++report.localFiles;
            } else {
                report.problems.push_back(FileText(fileId) + ": could not delete " + path);
            }
        }
    }
}

void CAreaCatalogue::MoveFiles(const AreaRecord& source, const AreaRecord& target,
                               CRemovalReport& report) {
    CDorvaleDatabaseManager& db = m_impl->db;
    for (const double fileId : FilesOfArea(db, source.Id)) {
        CFileRecord file(&db);
        file.m_FILE_ID = fileId;
        if (!file.AddToFileArea(target.Id)) {
            std::vector<double> areas;
            db.GetAreaIDsForFile(fileId, areas);
            if (std::find(areas.begin(), areas.end(), double(target.Id)) == areas.end()) {
                report.problems.push_back(
                    FileText(fileId) + ": could not be added to the target area; left as it was");
                continue;
            }
        }
        file.DeleteFromFileArea(source.Id);
        ++report.files;

        std::vector<std::string> locations;
        db.GetDownloadURLs(fileId, locations);
        for (const std::string& location : locations) {
            std::string name;
            std::string from;
            bool outside = false;
            if (!AreaLocalFile(source, location, name, from, outside)) {
                if (outside) {
                    report.problems.push_back(FileText(fileId) + ": " + location +
                                              " leads out of the area's directory; not moved");
                }
                continue;
            }
            if (target.Path.empty()) {
                continue; // no directory to take the file (a move only goes to hosted areas)
            }
            const std::string to = JoinPath(target.Path, name);
            // Both areas in one directory: the file is already where the target keeps it,
            // only its location changes.
            const bool copy = !SameDirectory(source.Path, target.Path);
            std::error_code ec;
            if (copy) {
                fs::create_directories(fs::path(to).parent_path(), ec);
                if (!fs::copy_file(from, to, fs::copy_options::none, ec)) {
                    report.problems.push_back(FileText(fileId) + ": could not copy " + from +
                                              " to " + to + "; left in place");
                    continue;
                }
            }
            const std::string moved = BuildLocalLocation(target.Id, name);
            CDownloadRecord added(&db);
            added.m_FILE_ID = fileId;
            added.m_URL = moved;
            const bool newRow = added.Add();
            if (!newRow && !HasLocation(db, fileId, moved)) {
                if (copy) {
                    fs::remove(to, ec);
                }
                report.problems.push_back(FileText(fileId) + ": could not record " + moved +
                                          "; left in place");
                continue;
            }
            CDownloadRecord old(&db);
            old.m_FILE_ID = fileId;
            old.m_URL = location;
            if (!old.Delete()) {
                if (newRow) {
                    added.Delete();
                }
                if (copy) {
                    fs::remove(to, ec);
                }
                report.problems.push_back(FileText(fileId) + ": could not rewrite " + location +
                                          "; left in place");
                continue;
            }
            ++report.localFiles;
            if (copy && !fs::remove(from, ec)) {
                report.problems.push_back(FileText(fileId) + ": copied, but could not delete " +
                                          from);
            }
        }
    }
}

void RecreateCatalogueTables(const std::string& dataSource) {
    CDorvaleDatabaseManager db(false);
    db.SetDataSourceName(dataSource);
    if (db.Open(nullptr, nullptr)) {
        db.DropAllTables();
        db.CreateAllTables();
    }
}
