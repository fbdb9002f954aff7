#pragma once
// The catalogue tree as a Qt model over the core's nodes: the root, the groups, the areas and
// (in the main window) "Search results". Trees that choose areas (the add-file wizard, a file's
// areas) leave the search node out and show a check mark on each area.

#include "CatalogueTree.h"

#include <QAbstractItemModel>

#include <cstdint>
#include <functional>
#include <vector>

class CAreaTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    CAreaTreeModel(CCatalogueTree& tree, bool withSearch, QObject* parent = nullptr);

    // Areas show a check mark when `marked` says so.
    void SetMarks(std::function<bool(std::uint32_t)> marked);
    // Every entry of the area shows its mark again (an area may be listed under several groups).
    void UpdateArea(std::uint32_t areaId);
    // The node shown selected (its open image).
    void SetSelected(const CTreeItem* node);
    // The node's name changed.
    void UpdateNode(const CTreeItem* node);
    // Rebuilds after the tree was loaded.
    void Reload();

    CTreeItem* Node(const QModelIndex& index) const;
    QModelIndex IndexOf(const CTreeItem* node) const;
    // The area's id for an area node, 0 otherwise.
    static std::uint32_t AreaId(const CTreeItem* node);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<CTreeItem*> Children(const CTreeItem* node) const;
    int RowOf(const CTreeItem* node) const;

    CCatalogueTree& m_tree;
    bool m_withSearch;
    std::function<bool(std::uint32_t)> m_marked;
    const CTreeItem* m_selected = nullptr;
};
