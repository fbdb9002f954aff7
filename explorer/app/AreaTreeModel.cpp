#include "AreaTreeModel.h"

#include "Icons.h"
#include "Widgets.h"

CAreaTreeModel::CAreaTreeModel(CCatalogueTree& tree, bool withSearch, QObject* parent)
    : QAbstractItemModel(parent), m_tree(tree), m_withSearch(withSearch) {}

void CAreaTreeModel::SetMarks(std::function<bool(std::uint32_t)> marked) {
    beginResetModel();
    m_marked = std::move(marked);
    endResetModel();
}

std::uint32_t CAreaTreeModel::AreaId(const CTreeItem* node) {
    if (node == nullptr || node->GetKind() != TREEITEM_AREA) {
        return 0;
    }
    return static_cast<const CFolderTreeItem*>(node)->GetIdentifier();
}

void CAreaTreeModel::UpdateArea(std::uint32_t areaId) {
    const CTreeItem* root = m_tree.Root();
    if (root == nullptr) {
        return;
    }
    for (const auto& group : root->GetChildren()) {
        for (const auto& area : group->GetChildren()) {
            if (AreaId(area.get()) == areaId) {
                const QModelIndex index = IndexOf(area.get());
                emit dataChanged(index, index);
            }
        }
    }
}

void CAreaTreeModel::SetSelected(const CTreeItem* node) {
    const CTreeItem* old = m_selected;
    m_selected = node;
    for (const CTreeItem* changed : {old, node}) {
        const QModelIndex index = IndexOf(changed);
        if (index.isValid()) {
            emit dataChanged(index, index, {Qt::DecorationRole});
        }
    }
}

void CAreaTreeModel::UpdateNode(const CTreeItem* node) {
    const QModelIndex index = IndexOf(node);
    if (index.isValid()) {
        emit dataChanged(index, index);
    }
}

void CAreaTreeModel::Reload() {
    beginResetModel();
    m_selected = nullptr;
    endResetModel();
}

std::vector<CTreeItem*> CAreaTreeModel::Children(const CTreeItem* node) const {
    std::vector<CTreeItem*> children;
    if (node == nullptr) {
        if (m_tree.Root() != nullptr) {
            children.push_back(m_tree.Root());
        }
        return children;
    }
    for (const auto& child : node->GetChildren()) {
        if (m_withSearch || child->GetKind() != TREEITEM_SEARCH) {
            children.push_back(child.get());
        }
    }
    return children;
}

int CAreaTreeModel::RowOf(const CTreeItem* node) const {
    const CTreeItem* parent = node->GetKind() == TREEITEM_ROOT ? nullptr : node->GetParent();
    const auto siblings = Children(parent);
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i] == node) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

CTreeItem* CAreaTreeModel::Node(const QModelIndex& index) const {
    return index.isValid() ? static_cast<CTreeItem*>(index.internalPointer()) : nullptr;
}

QModelIndex CAreaTreeModel::IndexOf(const CTreeItem* node) const {
    if (node == nullptr || node->GetKind() == TREEITEM_TOP) {
        return {};
    }
    const int row = RowOf(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<CTreeItem*>(node));
}

QModelIndex CAreaTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) {
        return {};
    }
    const auto children = Children(Node(parent));
    if (row >= static_cast<int>(children.size())) {
        return {};
    }
    return createIndex(row, 0, children[static_cast<std::size_t>(row)]);
}

QModelIndex CAreaTreeModel::parent(const QModelIndex& child) const {
    const CTreeItem* node = Node(child);
    if (node == nullptr || node->GetKind() == TREEITEM_ROOT) {
        return {};
    }
    return IndexOf(node->GetParent());
}

int CAreaTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) {
        return 0;
    }
    return static_cast<int>(Children(Node(parent)).size());
}

int CAreaTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant CAreaTreeModel::data(const QModelIndex& index, int role) const {
    const CTreeItem* node = Node(index);
    if (node == nullptr) {
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        return ToQt(node->GetName());
    case Qt::DecorationRole:
        if (node->GetKind() == TREEITEM_SEARCH) {
            return icons::SearchResults(node == m_selected);
        }
        return icons::Folder(node == m_selected);
    case Qt::CheckStateRole:
        if (m_marked && node->GetKind() == TREEITEM_AREA) {
            return m_marked(AreaId(node)) ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    default:
        return {};
    }
}
