#include "UploadPage.h"

#include "UploadLink.h"

std::string UploadDirectoryOfAlias(std::string_view ftpAlias) {
    while (!ftpAlias.empty() && (ftpAlias.front() == '/' || ftpAlias.front() == '\\')) {
        ftpAlias.remove_prefix(1);
    }
    return std::string(ftpAlias);
}

CUploadPage::CUploadPage()
    : m_slotAreaId(GetSlot("areaid")), m_slotArea(GetSlot("area")),
      m_slotFtpAlias(GetSlot("ftpalias")) {}

void CUploadPage::SetUploads(long long allowUploads, std::string_view ftpServer,
                             std::vector<CUploadPageArea> areas) {
    m_areas = std::move(areas);
    SetVariable("allowuploads", allowUploads);
    SetVariable("controluploads", allowUploads == 2 || allowUploads == 3 ? "1" : "");
    SetVariable("httpuploads", allowUploads == 1 || allowUploads == 3 ? "1" : "");
    std::string escaped;
    AppendHtmlEscaped(escaped, ftpServer);
    SetVariable("ftpserver", escaped);
    // The wizard's area list: name CR directory CR, for each area reachable over FTP.
    std::string areaList;
    long long ftpAreas = 0;
    for (const CUploadPageArea& area : m_areas) {
        const std::string directory = UploadDirectoryOfAlias(area.ftpAlias);
        // A carriage return would end the name or the directory early.
        if (directory.empty() || area.name.empty() || area.name.find('\r') != std::string::npos ||
            directory.find('\r') != std::string::npos) {
            continue;
        }
        areaList += area.name + '\r' + directory + '\r';
        ++ftpAreas;
    }
    escaped.clear();
    AppendHtmlEscaped(escaped, BuildUploadLink(ftpServer, areaList));
    SetVariable("uploadlink", escaped);
    SetVariable("uploadareas", static_cast<long long>(m_areas.size()));
    SetVariable("ftpareas", ftpAreas);
}

bool CUploadPage::LoopNext() {
    if (m_index >= m_areas.size()) {
        return false;
    }
    const CUploadPageArea& area = m_areas[m_index++];
    SetSlot(m_slotAreaId, area.id);
    SetEscaped(m_slotArea, area.name);
    SetEscaped(m_slotFtpAlias, area.ftpAlias);
    return true;
}
