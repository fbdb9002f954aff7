#include "Pages.h"

void CSourcePage::SetEscaped(int slot, std::string_view text) {
    std::string& value = EditSlot(slot);
    value.clear();
    AppendHtmlEscaped(value, text);
}

// --- group list ---

CGroupListPage::CGroupListPage()
    : m_slotGroup(GetSlot("group")), m_slotUrlGroup(GetSlot("urlgroup")) {}

void CGroupListPage::LoopStart() {
    m_index = 1;
}

bool CGroupListPage::LoopNext() {
    if (!m_groups) {
        return false;
    }
    long long count = 0;
    if (!m_groups->GetCount(count)) {
        Fail();
        return false;
    }
    while (m_index <= count) {
        const std::unique_ptr<IPageFileGroup> group = m_groups->GetItem(m_index++);
        long long areas = 0;
        if (!group || !group->GetCount(areas)) {
            Fail();
            return false;
        }
        bool downloadable = false;
        for (long long i = 1; i <= areas && !downloadable; ++i) {
            if (!group->GetItem(i, m_area)) {
                Fail();
                return false;
            }
            downloadable = m_area.downloadable;
        }
        if (!downloadable) {
            continue;
        }
        if (!group->GetName(m_name)) {
            Fail();
            return false;
        }
        SetEscaped(m_slotGroup, m_name);
        std::string& url = EditSlot(m_slotUrlGroup);
        url.clear();
        AppendUrlEscaped(url, m_name);
        return true;
    }
    return false;
}

// --- area list and area header ---

CGroupAreasPage::CGroupAreasPage(bool downloadableOnly)
    : m_downloadableOnly(downloadableOnly), m_slotGroup(GetSlot("group")),
      m_slotUrlGroup(GetSlot("urlgroup")), m_slotAreaId(GetSlot("areaid")),
      m_slotArea(GetSlot("area")) {}

bool CGroupAreasPage::SetGroup(IPageFileGroup* group) {
    m_group = group;
    std::string name;
    if (!group || !group->GetName(name)) {
        return false;
    }
    SetEscaped(m_slotGroup, name);
    SetSlot(m_slotUrlGroup, UrlEscape(name));
    return true;
}

void CGroupAreasPage::LoopStart() {
    m_index = 1;
}

bool CGroupAreasPage::LoopNext() {
    if (!m_group) {
        return false;
    }
    long long count = 0;
    if (!m_group->GetCount(count)) {
        Fail();
        return false;
    }
    while (m_index <= count) {
        if (!m_group->GetItem(m_index++, m_area)) {
            Fail();
            return false;
        }
        if (m_downloadableOnly && !m_area.downloadable) {
            continue;
        }
        SetSlot(m_slotAreaId, m_area.id);
        SetEscaped(m_slotArea, m_area.name);
        return true;
    }
    return false;
}

// --- file page ---

CFilePage::CFilePage() = default;

void CFilePage::SetArea(long long areaId) {
    m_area = std::to_string(areaId);
}

void CFilePage::PrepareRender() {
    SetVariable("group", HtmlEscape(m_group));
    SetVariable("area", HtmlEscape(m_areaName));
    // The escaped name cannot name the group's header page in an include; the URL form can.
    SetVariable("urlgroup", UrlEscape(m_group));
    SetVariable("areaid", m_area);
    SetVariable("totalrecords", m_total);
    SetVariable("sort", SortName(m_sort));
    SetVariable("page", m_page);
    SetVariable("displayrange", FormatDisplayRange(m_total, m_page));
    static constexpr std::string_view URL_NAMES[SORT_COUNT] = {"titlesorturl", "downloadssorturl",
                                                               "datesorturl"};
    static constexpr std::string_view LINK_NAMES[SORT_COUNT] = {"titlesort", "downloadsort",
                                                                "datesort"};
    for (int sort = 0; sort < SORT_COUNT; ++sort) {
        const std::string url = FormatPageUrl(m_group, m_area, m_page, sort);
        SetVariable(URL_NAMES[sort], url);
        SetVariable(LINK_NAMES[sort], FormatSortLink(sort, m_sort, url));
    }
    SetVariable("navbar", FormatNavBar(m_group, m_area, PageCount(m_total), m_page, m_sort));
}

// --- body pages ---

CFileListPage::CFileListPage()
    : m_slotColorEven(GetSlot("coloreven")), m_slotFileId(GetSlot("fileid")),
      m_slotTitle(GetSlot("title")), m_slotFileDate(GetSlot("filedate")),
      m_slotShortDesc(GetSlot("shortdesc")), m_slotDownloads(GetSlot("downloads")) {}

void CFileListPage::Bind(IFileListSource* source) {
    m_source = source;
    m_end = source == nullptr;
    m_listTotal = 0;
    m_rowCount = 0;
}

void CFileListPage::LoopStart() {
    m_rowCount = 0;
}

bool CFileListPage::LoopNext() {
    if (m_end || m_rowCount >= ROWS_PER_PAGE) {
        return false;
    }
    const EFetchResult result = m_source->Fetch(m_row);
    if (result != EFetchResult::Row) {
        if (result == EFetchResult::Error) {
            Fail();
        }
        m_end = true;
        return false;
    }
    // The first row of every body page is highlighted.
    SetSlot(m_slotColorEven, m_rowCount % 2 == 0 ? ROW_HIGHLIGHT : std::string_view());
    SetSlot(m_slotFileId, m_row.fileId);
    if (m_row.title.empty()) {
        SetSlot(m_slotTitle, EMPTY_CELL);
    } else {
        SetEscaped(m_slotTitle, m_row.title);
    }
    SetSlot(m_slotFileDate, FormatDate(m_row.fileDate, EDateStyle::Short));
    if (m_row.shortDesc.empty()) {
        SetSlot(m_slotShortDesc, EMPTY_CELL);
    } else {
        SetEscaped(m_slotShortDesc, m_row.shortDesc);
    }
    std::string& downloads = EditSlot(m_slotDownloads);
    downloads.clear();
    AppendGroupedDigits(downloads, m_row.downloads);
    ++m_rowCount;
    ++m_listTotal;
    return true;
}

// --- detail page ---

void CFileDetailPage::SetHttpServer(std::string_view server) {
    if (!server.empty() && server.back() == '/') {
        server.remove_suffix(1);
    }
    SetVariable("httpserver", HtmlEscape(server));
}

void CFileDetailPage::SetFile(const CFileDetail& file) {
    SetVariable("fileid", file.fileId);
    SetVariable("title", HtmlEscape(file.title));
    SetVariable("urltitle", UrlEscape(file.title));
    SetVariable("filesize", FormatSize(file.size));
    SetVariable("shortdesc", HtmlEscape(file.shortDesc));
    SetVariable("longdesc", HtmlEscape(file.longDesc));
    SetVariable("upldname", HtmlEscape(file.upldName));
    // The address becomes a mailto: link: text that is not one is left out.
    std::string_view email = file.upldEmail;
    if (!IsMailAddress(email)) {
        email = {};
    }
    SetVariable("upldemail", HtmlEscape(email));
    SetVariable("urlupldemail", UrlEscape(email));
    SetVariable("downloads", GroupDigits(file.downloads));
    SetVariable("filedate", file.fileDate, EDateStyle::Long);
    SetVariable("version", HtmlEscape(file.version));
    SetVariable("reqform", file.reqForm ? "yes" : "");
}

// --- download page ---

CFileDownloadPage::CFileDownloadPage()
    : m_slotColorEven(GetSlot("coloreven")), m_slotUrl(GetSlot("url")),
      m_slotUrlUrl(GetSlot("urlurl")), m_slotSiteName(GetSlot("sitename")),
      m_slotHttpUrl(GetSlot("httpurl")), m_slotFtpUrl(GetSlot("ftpurl")) {}

void CFileDownloadPage::SetPublishing(std::string_view httpServer, std::string_view ftpServer,
                                      const IAreaAliasSource* aliases) {
    m_httpServer.assign(httpServer);
    m_ftpServer.assign(ftpServer);
    m_aliases = aliases;
}

void CFileDownloadPage::SetFile(long long fileId, std::string_view title, long long size,
                                std::string_view shortDesc) {
    m_fileId = fileId;
    SetVariable("title", HtmlEscape(title));
    SetVariable("shortdesc", HtmlEscape(shortDesc));
    SetVariable("fileid", fileId);
    SetVariable("filesize", FormatSize(size));
}

void CFileDownloadPage::LoopStart() {
    m_rowCount = 0;
    if (m_state == EState::Open) {
        m_source->Close();
    }
    m_state = EState::Idle;
}

bool CFileDownloadPage::LoopNext() {
    if (!m_source || m_state == EState::Done) {
        return false;
    }
    if (m_state == EState::Idle) {
        if (!m_source->Open(m_fileId)) {
            Fail();
            m_state = EState::Done;
            return false;
        }
        m_state = EState::Open;
    }
    const EFetchResult result = m_source->Fetch(m_url);
    if (result != EFetchResult::Row) {
        // A failure ends the list; the page is still written with the rows it has.
        if (result == EFetchResult::Error) {
            Fail();
        }
        m_source->Close();
        m_state = EState::Done;
        return false;
    }
    // Here the second, fourth, ... location is highlighted.
    SetSlot(m_slotColorEven, m_rowCount % 2 == 1 ? ROW_HIGHLIGHT : std::string_view());
    SetEscaped(m_slotUrl, m_url);
    std::string& urlUrl = EditSlot(m_slotUrlUrl);
    urlUrl.clear();
    AppendUrlEscaped(urlUrl, m_url);
    SetEscaped(m_slotSiteName, GetSiteName(m_url));
    long long areaId = 0;
    std::string_view name;
    if (!SplitLocalLocation(m_url, areaId, name)) {
        const std::string_view link = IsLinkableLocation(m_url) ? m_url : std::string_view();
        SetEscaped(m_slotHttpUrl, link);
        SetEscaped(m_slotFtpUrl, link);
    } else if (m_aliases && m_aliases->FindAliases(areaId, m_areaAliases)) {
        SetEscaped(m_slotHttpUrl, FormatAliasUrl(m_httpServer, m_areaAliases.httpAlias, name));
        SetEscaped(m_slotFtpUrl, FormatAliasUrl(m_ftpServer, m_areaAliases.ftpAlias, name));
    } else {
        SetSlot(m_slotHttpUrl, std::string_view());
        SetSlot(m_slotFtpUrl, std::string_view());
    }
    ++m_rowCount;
    return true;
}
