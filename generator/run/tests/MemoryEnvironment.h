#pragma once
// A generation environment held in memory, with failures that can be switched on.

#include "Formatting.h"
#include "GenerationRun.h"
#include "MemorySources.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <tuple>
#include <utility>

namespace runtest {

class CMemoryCatalogue : public ICatalogue {
public:
    std::vector<CFileDetail> files;                    // in detail query order
    std::map<long long, std::vector<long long>> areas; // area id -> file ids
    CMemoryDownloads downloads;

    EOpenResult countResult = EOpenResult::Opened;
    // (area key, sort) pairs whose list query gives these results.
    std::map<std::pair<long long, int>, EOpenResult> listResults;
    // Lists whose fetch fails at this row index.
    std::map<std::pair<long long, int>, std::size_t> listFailAt;
    EOpenResult detailResult = EOpenResult::Opened;
    std::size_t detailFailAt = SIZE_MAX;
    int listsOpened = 0;
    // Called as each list query is opened, on the run's thread (tests hold the run there).
    std::function<void(long long key, int sort)> onOpenList;

    EOpenResult CountFiles(long long& count) override {
        count = static_cast<long long>(files.size());
        return countResult;
    }

    EOpenResult OpenFileList(long long key, int sort,
                             std::unique_ptr<IFileListSource>& list) override {
        if (onOpenList) {
            onOpenList(key, sort);
        }
        const auto result = listResults.find({key, sort});
        if (result != listResults.end()) {
            return result->second;
        }
        ++listsOpened;
        std::vector<const CFileDetail*> rows;
        if (key < 0) {
            for (const CFileDetail& file : files) {
                rows.push_back(&file);
            }
            std::stable_sort(rows.begin(), rows.end(), [key](const auto* a, const auto* b) {
                return key == AREA_KEY_NEWEST ? Later(a->fileDate, b->fileDate)
                                              : a->downloads > b->downloads;
            });
            if (rows.size() > 10) {
                rows.resize(10);
            }
        } else {
            for (long long id : areas[key]) {
                for (const CFileDetail& file : files) {
                    if (file.fileId == id) {
                        rows.push_back(&file);
                    }
                }
            }
        }
        std::stable_sort(rows.begin(), rows.end(), [sort](const auto* a, const auto* b) {
            if (sort == SORT_TITLE) {
                return a->title < b->title;
            }
            if (sort == SORT_DOWNLOADS) {
                return a->downloads > b->downloads;
            }
            return Later(a->fileDate, b->fileDate);
        });
        auto memory = std::make_unique<CMemoryFileList>();
        for (const CFileDetail* file : rows) {
            memory->rows.push_back(
                {file->fileId, file->title, file->shortDesc, file->downloads, file->fileDate});
        }
        const auto failAt = listFailAt.find({key, sort});
        if (failAt != listFailAt.end()) {
            memory->failAt = failAt->second;
        }
        list = std::move(memory);
        return EOpenResult::Opened;
    }

    EOpenResult OpenDetails(std::unique_ptr<IFileDetailSource>& details) override {
        if (detailResult != EOpenResult::Opened) {
            return detailResult;
        }
        details = std::make_unique<CDetails>(*this);
        return EOpenResult::Opened;
    }

    IDownloadSource& GetDownloads() override { return downloads; }

private:
    static bool Later(const CDate& a, const CDate& b) {
        return std::tie(a.year, a.month, a.day) > std::tie(b.year, b.month, b.day);
    }

    class CDetails : public IFileDetailSource {
    public:
        explicit CDetails(CMemoryCatalogue& catalogue) : m_catalogue(catalogue) {}
        EFetchResult Fetch(CFileDetail& file) override {
            if (m_next == m_catalogue.detailFailAt) {
                return EFetchResult::Error;
            }
            if (m_next >= m_catalogue.files.size()) {
                return EFetchResult::End;
            }
            file = m_catalogue.files[m_next++];
            return EFetchResult::Row;
        }

    private:
        CMemoryCatalogue& m_catalogue;
        std::size_t m_next = 0;
    };
};

// Forwards to sources the test keeps, since the run owns what it is given.
class CGroupsView : public IPageGroupCollection {
public:
    explicit CGroupsView(CMemoryGroupCollection& groups) : m_groups(groups) {}
    bool GetCount(long long& count) override { return m_groups.GetCount(count); }
    std::unique_ptr<IPageFileGroup> GetItem(long long index) override {
        return m_groups.GetItem(index);
    }

private:
    CMemoryGroupCollection& m_groups;
};

class CAreasView : public IPageAreaCollection {
public:
    explicit CAreasView(CMemoryAreaCollection& areas) : m_areas(areas) {}
    bool GetCount(long long& count) override { return m_areas.GetCount(count); }
    bool GetItem(long long index, CPageArea& area) override { return m_areas.GetItem(index, area); }
    bool GetAliases(long long index, CAreaAliases& aliases) override {
        return m_areas.GetAliases(index, aliases);
    }

private:
    CMemoryAreaCollection& m_areas;
};

class CCatalogueView : public ICatalogue {
public:
    explicit CCatalogueView(ICatalogue& catalogue) : m_catalogue(catalogue) {}
    EOpenResult CountFiles(long long& count) override { return m_catalogue.CountFiles(count); }
    EOpenResult OpenFileList(long long key, int sort,
                             std::unique_ptr<IFileListSource>& list) override {
        return m_catalogue.OpenFileList(key, sort, list);
    }
    EOpenResult OpenDetails(std::unique_ptr<IFileDetailSource>& details) override {
        return m_catalogue.OpenDetails(details);
    }
    IDownloadSource& GetDownloads() override { return m_catalogue.GetDownloads(); }

private:
    ICatalogue& m_catalogue;
};

class CMemoryEnvironment : public IGenerationEnvironment {
public:
    CMemoryGroupCollection groups;
    CMemoryAreaCollection areas;
    CMemoryCatalogue catalogue;
    bool failInitialize = false;
    bool failGroups = false;
    bool failAreas = false;
    bool failCatalogue = false;
    int initialized = 0;
    int uninitialized = 0;

    bool InitializeThread() override {
        if (failInitialize) {
            return false;
        }
        ++initialized;
        return true;
    }
    void UninitializeThread() override { ++uninitialized; }
    std::unique_ptr<IPageGroupCollection> CreateGroupCollection() override {
        return failGroups ? nullptr : std::make_unique<CGroupsView>(groups);
    }
    std::unique_ptr<IPageAreaCollection> CreateAreaCollection() override {
        return failAreas ? nullptr : std::make_unique<CAreasView>(areas);
    }
    std::unique_ptr<ICatalogue> OpenCatalogue(const std::string&, std::string& error) override {
        if (failCatalogue) {
            error = "[driver] no such data source";
            return nullptr;
        }
        return std::make_unique<CCatalogueView>(catalogue);
    }
};

} // namespace runtest
