#include "AdminContext.h"

#include "AdminSettings.h"

#include <algorithm>

using prompt::EAnswer;
using prompt::EButtons;
using prompt::EIcon;

CAdminContext::CAdminContext(prompt::IPrompt& prompt) : m_prompt(prompt) {}

bool CAdminContext::Start(const std::string& dataSource) {
    ReadAdminDirectories(m_databasePath, m_httpPath);
    if (!m_store.OpenForReading(m_databasePath)) {
        Tell(MSG_STORE_LOCKED, CAPTION_WARNING, EIcon::Warning);
        return false;
    }
    if (!m_store.HasHeader()) {
        Tell(MSG_NO_AREAS, CAPTION_WARNING, EIcon::Warning);
        return false;
    }
    m_areas = m_store.EnumerateAreas();
    m_catalogue.SetDataSourceName(dataSource);
    m_catalogue.Open(nullptr, nullptr);
    return true;
}

EAnswer CAdminContext::Ask(const std::string& text, const std::string& caption, EButtons buttons,
                           EIcon icon) const {
    return m_prompt.Message(text, caption.empty() ? EXPLORER_TITLE : caption, buttons, icon);
}

void CAdminContext::Tell(const std::string& text, const std::string& caption, EIcon icon) const {
    Ask(text, caption, EButtons::Ok, icon);
}

const AreaRecord* CAdminContext::FindArea(std::uint32_t id) const {
    for (const AreaRecord& area : m_areas) {
        if (area.Id == id) {
            return &area;
        }
    }
    return nullptr;
}

std::vector<AreaRecord> CAdminContext::HostingAreas() const {
    std::vector<AreaRecord> hosting;
    for (const AreaRecord& area : m_areas) {
        if ((area.Flags & AREA_HOSTED_LOCALLY) != 0) {
            hosting.push_back(area);
        }
    }
    std::stable_sort(hosting.begin(), hosting.end(),
                     [](const AreaRecord& a, const AreaRecord& b) { return a.Name < b.Name; });
    return hosting;
}
