#pragma once
// Page sources held in memory, with failures that can be switched on: for tests and for
// rendering templates without a catalogue.

#include "PageSources.h"

#include <cstdint>
#include <map>
#include <vector>

class CMemoryAreaCollection : public IPageAreaCollection {
public:
    std::vector<CPageArea> areas;
    std::vector<CAreaAliases> aliases; // by index like `areas`; missing ones are empty
    bool failCount = false;
    long long failItem = 0; // the index whose GetItem (and GetAliases) fails; 0 for none

    bool GetCount(long long& count) override;
    bool GetItem(long long index, CPageArea& area) override;
    bool GetAliases(long long index, CAreaAliases& aliases) override;
};

// Aliases by area identifier.
class CMemoryAliasSource : public IAreaAliasSource {
public:
    std::map<long long, CAreaAliases> areas;

    bool FindAliases(long long areaId, CAreaAliases& aliases) const override;
};

class CMemoryFileGroup : public IPageFileGroup {
public:
    std::string name;
    std::vector<CPageArea> areas;
    bool failCount = false;
    bool failName = false;
    long long failItem = 0;

    bool GetCount(long long& count) override;
    bool GetItem(long long index, CPageArea& area) override;
    bool GetName(std::string& name) override;
};

class CMemoryGroupCollection : public IPageGroupCollection {
public:
    std::vector<CMemoryFileGroup> groups;
    bool failCount = false;
    long long failItem = 0;

    bool GetCount(long long& count) override;
    // A view of the stored group; valid while `groups` is unchanged.
    std::unique_ptr<IPageFileGroup> GetItem(long long index) override;
};

class CMemoryFileList : public IFileListSource {
public:
    std::vector<CFileListRow> rows;
    std::size_t failAt = SIZE_MAX; // fetching the row at this index fails
    std::size_t next = 0;

    EFetchResult Fetch(CFileListRow& row) override;
};

class CMemoryDownloads : public IDownloadSource {
public:
    std::map<long long, std::vector<std::string>> locations;
    bool failOpen = false;
    std::size_t failAt = SIZE_MAX;
    int opens = 0;
    int closes = 0;

    bool Open(long long fileId) override;
    EFetchResult Fetch(std::string& url) override;
    void Close() override;
    bool IsOpen() const { return m_open; }

private:
    bool m_open = false;
    const std::vector<std::string>* m_rows = nullptr;
    std::size_t m_next = 0;
};
