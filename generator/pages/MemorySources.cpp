#include "MemorySources.h"

namespace {

bool ItemAt(const std::vector<CPageArea>& areas, long long index, long long failItem,
            CPageArea& area) {
    if (index == failItem || index < 1 || index > static_cast<long long>(areas.size())) {
        return false;
    }
    area = areas[static_cast<std::size_t>(index - 1)];
    return true;
}

// Forwards to a group held by a collection.
class CGroupView : public IPageFileGroup {
public:
    explicit CGroupView(CMemoryFileGroup& group) : m_group(group) {}
    bool GetCount(long long& count) override { return m_group.GetCount(count); }
    bool GetItem(long long index, CPageArea& area) override { return m_group.GetItem(index, area); }
    bool GetName(std::string& name) override { return m_group.GetName(name); }

private:
    CMemoryFileGroup& m_group;
};

} // namespace

bool CMemoryAreaCollection::GetCount(long long& count) {
    count = static_cast<long long>(areas.size());
    return !failCount;
}

bool CMemoryAreaCollection::GetItem(long long index, CPageArea& area) {
    return ItemAt(areas, index, failItem, area);
}

bool CMemoryAreaCollection::GetAliases(long long index, CAreaAliases& result) {
    if (index == failItem || index < 1 || index > static_cast<long long>(areas.size())) {
        return false;
    }
    const auto i = static_cast<std::size_t>(index - 1);
    result = i < aliases.size() ? aliases[i] : CAreaAliases{};
    return true;
}

bool CMemoryAliasSource::FindAliases(long long areaId, CAreaAliases& result) const {
    const auto it = areas.find(areaId);
    if (it == areas.end()) {
        return false;
    }
    result = it->second;
    return true;
}

bool CMemoryFileGroup::GetCount(long long& count) {
    count = static_cast<long long>(areas.size());
    return !failCount;
}

bool CMemoryFileGroup::GetItem(long long index, CPageArea& area) {
    return ItemAt(areas, index, failItem, area);
}

bool CMemoryFileGroup::GetName(std::string& out) {
    out = name;
    return !failName;
}

bool CMemoryGroupCollection::GetCount(long long& count) {
    count = static_cast<long long>(groups.size());
    return !failCount;
}

std::unique_ptr<IPageFileGroup> CMemoryGroupCollection::GetItem(long long index) {
    if (index == failItem || index < 1 || index > static_cast<long long>(groups.size())) {
        return nullptr;
    }
    return std::make_unique<CGroupView>(groups[static_cast<std::size_t>(index - 1)]);
}

EFetchResult CMemoryFileList::Fetch(CFileListRow& row) {
    if (next == failAt) {
        return EFetchResult::Error;
    }
    if (next >= rows.size()) {
        return EFetchResult::End;
    }
    row = rows[next++];
    return EFetchResult::Row;
}

bool CMemoryDownloads::Open(long long fileId) {
    ++opens;
    if (failOpen) {
        return false;
    }
    static const std::vector<std::string> NONE;
    const auto found = locations.find(fileId);
    m_rows = found == locations.end() ? &NONE : &found->second;
    m_next = 0;
    m_open = true;
    return true;
}

EFetchResult CMemoryDownloads::Fetch(std::string& url) {
    if (!m_open) {
        return EFetchResult::Error;
    }
    if (m_next == failAt) {
        return EFetchResult::Error;
    }
    if (m_next >= m_rows->size()) {
        return EFetchResult::End;
    }
    url = (*m_rows)[m_next++];
    return EFetchResult::Row;
}

void CMemoryDownloads::Close() {
    ++closes;
    m_open = false;
    m_rows = nullptr;
}
