#pragma once
// What the page kinds read their rows from. The generator connects these to the area
// objects and to the catalogue; tests fill them in memory. Every call reports failure by
// its result, and a page that meets a failure ends its loop and says so (HasFailed).

#include "Template.h"

#include <memory>
#include <string>

// A file area as the pages see it.
struct CPageArea {
    long long id = 0;
    std::string name;
    bool downloadable = false;
};

// The names of the web and FTP directories that publish a file area's own directory.
struct CAreaAliases {
    std::string httpAlias;
    std::string ftpAlias;
};

// Areas by 1-based index.
class IPageAreaCollection {
public:
    virtual ~IPageAreaCollection() = default;
    virtual bool GetCount(long long& count) = 0;
    virtual bool GetItem(long long index, CPageArea& area) = 0;
    // The aliases of the area at the index; a source without them gives empty ones.
    virtual bool GetAliases(long long index, CAreaAliases& aliases) {
        (void)index;
        aliases = {};
        return true;
    }
    // Whether the area at the index accepts uploads; a source that cannot tell says no.
    virtual bool GetUploadable(long long index, bool& uploadable) {
        (void)index;
        uploadable = false;
        return true;
    }
};

// Aliases by area identifier, for the download page's local locations.
class IAreaAliasSource {
public:
    virtual ~IAreaAliasSource() = default;
    // False when no area has the identifier.
    virtual bool FindAliases(long long areaId, CAreaAliases& aliases) const = 0;
};

// A file group: a named set of file areas.
class IPageFileGroup : public IPageAreaCollection {
public:
    virtual bool GetName(std::string& name) = 0;
};

// File groups by 1-based index.
class IPageGroupCollection {
public:
    virtual ~IPageGroupCollection() = default;
    virtual bool GetCount(long long& count) = 0;
    // The group at the index, or null on failure.
    virtual std::unique_ptr<IPageFileGroup> GetItem(long long index) = 0;
};

enum class EFetchResult { Row, End, Error };

// One row of a file list query.
struct CFileListRow {
    long long fileId = 0;
    std::string title;
    std::string shortDesc;
    long long downloads = 0;
    CDate fileDate;
};

// The rows of one file list query, in order. Fetch makes the next row current and fills
// `row` (reusing its strings); End once the rows are exhausted, and again after that.
class IFileListSource {
public:
    virtual ~IFileListSource() = default;
    virtual EFetchResult Fetch(CFileListRow& row) = 0;
};

// The download locations of one file at a time.
class IDownloadSource {
public:
    virtual ~IDownloadSource() = default;
    virtual bool Open(long long fileId) = 0;
    virtual EFetchResult Fetch(std::string& url) = 0;
    virtual void Close() = 0;
};

// All a detail page shows of one catalogue file.
struct CFileDetail {
    long long fileId = 0;
    std::string title;
    long long size = 0;
    std::string shortDesc;
    std::string longDesc;
    std::string upldName;
    std::string upldEmail;
    long long downloads = 0;
    CDate fileDate;
    std::string version;
    bool reqForm = false;
};
