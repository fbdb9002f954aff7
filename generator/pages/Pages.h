#pragma once
// The seven page kinds: each is a template that knows its variables and the rows of its loop.
// Catalogue and area texts are set HTML-escaped, once, when the variable is set; texts the
// pages build themselves (links, the navigation bar, "&nbsp;") are set as they are.

#include "Formatting.h"
#include "PageSources.h"
#include "Template.h"

#include <string>
#include <string_view>

// A page whose loop reads a source; remembers whether a source call failed in the last render.
class CSourcePage : public CTemplate {
public:
    bool HasFailed() const { return m_failed; }

protected:
    void PrepareRender() override { m_failed = false; }
    void Fail() { m_failed = true; }
    // Sets the variable to the HTML-escaped text.
    void SetEscaped(int slot, std::string_view text);

private:
    bool m_failed = false;
};

// "grouplist.tmpl": per row `group`, `urlgroup`, for every group that holds at least one
// downloadable file area.
class CGroupListPage : public CSourcePage {
public:
    CGroupListPage();
    // The collection is not owned and must outlive the renders.
    void SetGroupCollection(IPageGroupCollection* groups) { m_groups = groups; }

    void LoopStart() override;
    bool LoopNext() override;

private:
    IPageGroupCollection* m_groups = nullptr;
    long long m_index = 1;
    CPageArea m_area;
    std::string m_name;
    int m_slotGroup, m_slotUrlGroup;
};

// The areas of one group, shared by the area list and the area header pages.
class CGroupAreasPage : public CSourcePage {
public:
    // Sets `group` and `urlgroup` from the group's name; false when it cannot be read.
    // The group is not owned and must outlive the renders.
    bool SetGroup(IPageFileGroup* group);

    void LoopStart() override;
    bool LoopNext() override;

protected:
    explicit CGroupAreasPage(bool downloadableOnly);

private:
    const bool m_downloadableOnly;
    IPageFileGroup* m_group = nullptr;
    long long m_index = 1;
    CPageArea m_area;
    int m_slotGroup, m_slotUrlGroup, m_slotAreaId, m_slotArea;
};

// "arealist.tmpl": `group`, `urlgroup`; per row `areaid`, `area` of each downloadable area.
class CAreaListPage : public CGroupAreasPage {
public:
    CAreaListPage() : CGroupAreasPage(true) {}
};

// "areaheader.tmpl": `group`, `urlgroup`, `currentarea`; per row `area`, `areaid` of every
// area of the group.
class CAreaHeaderPage : public CGroupAreasPage {
public:
    CAreaHeaderPage() : CGroupAreasPage(false) {}
    void SetCurrentArea(long long areaId) { SetVariable("currentarea", areaId); }
};

// "filepage.tmpl": one page of a list in one sort order, with its range, sort links and
// navigation bar, and the area's name as `area`; no rows. `urlgroup` is the group's name URL-escaped, for paths.
class CFilePage : public CTemplate {
public:
    CFilePage();
    // The group's name, or "~top" for the newest and most popular lists.
    void SetGroupName(std::string_view group) { m_group.assign(group); }
    // The area identifier, or the list's name ("newest", "popular").
    void SetArea(long long areaId);
    void SetArea(std::string_view area) { m_area.assign(area); }
    // The area's name, for `area` (HTML-escaped); empty for the newest and most popular lists.
    void SetAreaName(std::string_view name) { m_areaName.assign(name); }
    void SetTotalRecords(long long total) { m_total = total; }
    void SetSort(int sort) { m_sort = sort >= 0 && sort < SORT_COUNT ? sort : SORT_TITLE; }
    void SetPage(long long page) { m_page = page; }

protected:
    void PrepareRender() override;

private:
    std::string m_group;
    std::string m_area;
    std::string m_areaName;
    long long m_total = 0;
    int m_sort = SORT_TITLE;
    long long m_page = 1;
};

// "filelist.tmpl": the body pages. Per row `coloreven`, `fileid`, `title`, `filedate`,
// `shortdesc`, `downloads`, at most 10 rows per page.
class CFileListPage : public CSourcePage {
public:
    CFileListPage();
    // Binds the rows of one list; the next render starts at its first row. Not owned.
    void Bind(IFileListSource* source);
    // The rows have been exhausted (or could not be read).
    bool IsEnd() const { return m_end; }
    // Rows given since Bind, and on the page last rendered.
    long long GetListTotal() const { return m_listTotal; }
    int GetRowCount() const { return m_rowCount; }

    void LoopStart() override;
    bool LoopNext() override;

private:
    IFileListSource* m_source = nullptr;
    bool m_end = true;
    long long m_listTotal = 0;
    int m_rowCount = 0;
    CFileListRow m_row;
    int m_slotColorEven, m_slotFileId, m_slotTitle, m_slotFileDate, m_slotShortDesc,
        m_slotDownloads;
};

// "filedetail.tmpl": everything about one file; no rows.
class CFileDetailPage : public CTemplate {
public:
    // The site's address; one trailing '/' is dropped.
    void SetHttpServer(std::string_view server);
    void SetFile(const CFileDetail& file);
};

// "filedownload.tmpl": `title`, `fileid`, `filesize`, `shortdesc`; per row `coloreven`, `url`,
// `sitename` of every download location of the file, `urlurl` (the location URL-escaped, for a
// link that names it), and `httpurl`, `ftpurl`: where a static page can reach a local location
// through the web and FTP servers (the location itself for a URL; empty when the area is
// unknown or has no such alias).
class CFileDownloadPage : public CSourcePage {
public:
    CFileDownloadPage();
    // The locations are read from `source` (not owned) when the loop first asks for a row.
    void SetDownloadSource(IDownloadSource* source) { m_source = source; }
    // The servers' addresses and the areas' aliases (not owned) for `httpurl` and `ftpurl`.
    void SetPublishing(std::string_view httpServer, std::string_view ftpServer,
                       const IAreaAliasSource* aliases);
    void SetFile(long long fileId, std::string_view title, long long size,
                 std::string_view shortDesc = {});
    int GetRowCount() const { return m_rowCount; }

    void LoopStart() override;
    bool LoopNext() override;

private:
    enum class EState { Idle, Open, Done };
    IDownloadSource* m_source = nullptr;
    EState m_state = EState::Idle;
    long long m_fileId = 0;
    int m_rowCount = 0;
    std::string m_url;
    std::string m_httpServer;
    std::string m_ftpServer;
    const IAreaAliasSource* m_aliases = nullptr;
    CAreaAliases m_areaAliases;
    int m_slotColorEven, m_slotUrl, m_slotUrlUrl, m_slotSiteName, m_slotHttpUrl, m_slotFtpUrl;
};
