#include "CatalogueTree.h"

#include "GroupFiles.h"

#include <algorithm>
#include <mutex>

std::string SearchResultsName(const std::string& text) {
    return std::string(SEARCH_RESULTS_NAME) + " (\"" + text + "\")";
}

std::size_t CTreeItem::GetRow() const {
    if (m_parent == nullptr) {
        return 0;
    }
    const auto& siblings = m_parent->m_children;
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i].get() == this) {
            return i;
        }
    }
    return 0;
}

CItemRegistry::CItemRegistry() : m_top(std::make_unique<CTreeItem>("", TREEITEM_TOP)) {}

CTreeItem* CItemRegistry::Register(CTreeItem* parent, std::unique_ptr<CTreeItem> item) {
    std::unique_lock guard(m_lock);
    CTreeItem* raw = item.get();
    raw->m_key = m_nextKey++;
    raw->m_parent = parent;
    parent->m_children.push_back(std::move(item));
    m_items[raw->m_key] = raw;
    return raw;
}

void CItemRegistry::Unregister(CTreeItem* item) {
    for (auto& child : item->m_children) {
        Unregister(child.get());
    }
    m_items.erase(item->m_key);
}

void CItemRegistry::Remove(CTreeItem* item) {
    std::unique_lock guard(m_lock);
    Unregister(item);
    if (CTreeItem* parent = item->m_parent) {
        auto& siblings = parent->m_children;
        siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                      [item](const auto& child) { return child.get() == item; }),
                       siblings.end());
    }
}

CTreeItem* CItemRegistry::Find(std::uint32_t key) const {
    std::shared_lock guard(m_lock);
    auto it = m_items.find(key);
    return it == m_items.end() ? nullptr : it->second;
}

void CItemRegistry::Clear() {
    std::unique_lock guard(m_lock);
    m_top->m_children.clear();
    m_items.clear();
}

void CCatalogueTree::Load(const std::string& databasePath, const std::vector<AreaRecord>& areas) {
    m_registry.Clear();
    m_root = m_registry.Register(
        &m_registry.Top(), std::make_unique<CFolderTreeItem>(TREE_ROOT_NAME, TREEITEM_ROOT, 0, 0));
    m_search = m_registry.Register(
        m_root, std::make_unique<CFolderTreeItem>(SEARCH_RESULTS_NAME, TREEITEM_SEARCH, 0, 2));
    for (const std::string& group : EnumerateGroups(databasePath)) {
        CTreeItem* node = m_registry.Register(
            m_root, std::make_unique<CFolderTreeItem>(group, TREEITEM_GROUP, 0, 0));
        std::vector<std::uint32_t> ids;
        if (!ReadGroup(databasePath, group, ids)) {
            continue; // a group without children
        }
        for (std::uint32_t id : ids) {
            auto area = std::find_if(areas.begin(), areas.end(),
                                     [id](const AreaRecord& a) { return a.Id == id; });
            if (area != areas.end()) {
                m_registry.Register(node, std::make_unique<CFolderTreeItem>(
                                              area->Name, TREEITEM_AREA, area->Id, 0));
            }
        }
    }
}

void CCatalogueTree::SetSearchText(const std::string& text) {
    if (m_search != nullptr) {
        m_search->SetName(SearchResultsName(text));
    }
}

std::vector<CNodeRow> ListChildren(const CTreeItem& node) {
    std::vector<CNodeRow> rows;
    if (node.GetKind() != TREEITEM_ROOT && node.GetKind() != TREEITEM_GROUP) {
        return rows;
    }
    const char* type = node.GetKind() == TREEITEM_ROOT ? "File Group" : "File Area";
    for (const auto& child : node.GetChildren()) {
        rows.push_back({child->GetName(), type, child.get()});
    }
    return rows;
}

CTreeItem* UpFrom(const CTreeItem& node) {
    switch (node.GetKind()) {
    case TREEITEM_GROUP:
    case TREEITEM_AREA:
    case TREEITEM_SEARCH:
        return node.GetParent();
    default:
        return nullptr;
    }
}

std::vector<CGroupMember> GroupProperties(const std::string& databasePath, const std::string& group,
                                          const std::vector<AreaRecord>& areas) {
    std::vector<std::uint32_t> ids;
    ReadGroup(databasePath, group, ids);
    std::vector<CGroupMember> members;
    for (const AreaRecord& area : areas) {
        members.push_back({area, std::find(ids.begin(), ids.end(), area.Id) != ids.end()});
    }
    return members;
}
