#include "FileListModel.h"

#include "Icons.h"
#include "Widgets.h"

CFileListModel::CFileListModel(CDorvaleDatabaseManager& catalogue, QObject* parent)
    : QAbstractTableModel(parent), m_source(catalogue) {}

void CFileListModel::ShowNodes(const CTreeItem& node) {
    beginResetModel();
    m_source.Clear();
    m_files = false;
    m_nodes = ListChildren(node);
    endResetModel();
}

bool CFileListModel::ShowArea(double areaId) {
    beginResetModel();
    m_nodes.clear();
    m_files = true;
    const bool opened = m_source.OpenArea(areaId, false);
    endResetModel();
    return opened;
}

bool CFileListModel::ShowSearch(const std::string& text, unsigned mask) {
    beginResetModel();
    m_nodes.clear();
    m_files = true;
    const bool opened = m_source.OpenSearch(text, mask);
    endResetModel();
    return opened;
}

void CFileListModel::Clear() {
    beginResetModel();
    m_nodes.clear();
    m_source.Clear();
    m_files = false;
    endResetModel();
}

void CFileListModel::CountAll() {
    if (IsCounted()) {
        return;
    }
    const int known = rowCount();
    if (!m_source.CountAll() || static_cast<int>(m_source.GetCount()) <= known) {
        return;
    }
    beginInsertRows({}, known, static_cast<int>(m_source.GetCount()) - 1);
    endInsertRows();
}

void CFileListModel::ReloadRows() {
    m_source.ForgetRows();
    if (rowCount() > 0) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    }
}

CTreeItem* CFileListModel::NodeAt(int row) const {
    if (m_files || row < 0 || row >= static_cast<int>(m_nodes.size())) {
        return nullptr;
    }
    return m_nodes[static_cast<std::size_t>(row)].node;
}

int CFileListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(m_files ? m_source.GetCount() : m_nodes.size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : LIST_COLUMN_COUNT;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    const auto row = static_cast<std::size_t>(index.row());
    if (role == Qt::DecorationRole && index.column() == 0) {
        return m_files ? icons::File() : icons::Folder(false);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    if (!m_files) {
        if (row >= m_nodes.size()) {
            return {};
        }
        switch (index.column()) {
        case 0:
            return ToQt(m_nodes[row].name);
        case 2:
            return ToQt(m_nodes[row].type);
        default:
            return QString();
        }
    }
    std::string text;
    if (!m_source.GetText(row, index.column(), text)) {
        return {};
    }
    return ToQt(text);
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= LIST_COLUMN_COUNT) {
        return {};
    }
    if (role == Qt::DisplayRole) {
        return QString(LIST_COLUMN_HEADERS[section]);
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}
