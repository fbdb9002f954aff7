#pragma once
// The main window's list as a Qt model: the child nodes of the root or a group, or the
// catalogue files of an area or a search. Files come from the core's list source, which reads
// a window of rows when a row is first shown; an area opens with its first window only and is
// counted once the view has shown it (CountAll), so a large area shows its first rows at once.

#include "CatalogueTree.h"
#include "FileList.h"

#include <QAbstractTableModel>

#include <vector>

class CFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CFileListModel(CDorvaleDatabaseManager& catalogue, QObject* parent = nullptr);

    // The children of the root or a group.
    void ShowNodes(const CTreeItem& node);
    // An area's files, or a search's. False when the catalogue could not be read.
    bool ShowArea(double areaId);
    bool ShowSearch(const std::string& text, unsigned mask);
    void Clear();

    bool ShowsFiles() const { return m_files; }
    // Counts an area's rows and makes them all rows of the list.
    void CountAll();
    bool IsCounted() const { return !m_files || m_source.IsCounted(); }
    // The rows were edited: read again what is shown.
    void ReloadRows();

    // The node an entry stands for (root and group lists), or null.
    CTreeItem* NodeAt(int row) const;
    CFileListSource& Source() { return m_source; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // Reading rows fills the source's windows: a cache, not the model's state.
    mutable CFileListSource m_source;
    std::vector<CNodeRow> m_nodes;
    bool m_files = false;
};
