#pragma once
// The catalogue as a generation run reads it: the file count, the file lists of the areas and
// of the newest and most popular files, the download locations and the detail rows.

#include "PageSources.h"

#include <memory>
#include <string>

// Area keys of the lists that are not file areas.
constexpr long long AREA_KEY_NEWEST = -1;
constexpr long long AREA_KEY_POPULAR = -2;

// The outcome of running a query: opened, refused without an error (the list is then left
// out), or a database error.
enum class EOpenResult { Opened, NotOpened, Error };

// The rows of the detail query, in order.
class IFileDetailSource {
public:
    virtual ~IFileDetailSource() = default;
    virtual EFetchResult Fetch(CFileDetail& file) = 0;
};

class ICatalogue {
public:
    virtual ~ICatalogue() = default;
    // The number of catalogue files; NotOpened when the count query cannot be opened.
    virtual EOpenResult CountFiles(long long& count) = 0;
    // The list of an area key (a file area's identifier, AREA_KEY_NEWEST or AREA_KEY_POPULAR)
    // in a sort order.
    virtual EOpenResult OpenFileList(long long areaKey, int sort,
                                     std::unique_ptr<IFileListSource>& list) = 0;
    // Every catalogue file with what its detail page shows, in the order of FILE_ID.
    virtual EOpenResult OpenDetails(std::unique_ptr<IFileDetailSource>& details) = 0;
    // The download locations of one file at a time; owned by the catalogue. Files are best
    // opened in the order of FILE_ID, as the details come.
    virtual IDownloadSource& GetDownloads() = 0;
    // The text of the last database error, for the log.
    virtual std::string GetLastError() const { return {}; }
};
