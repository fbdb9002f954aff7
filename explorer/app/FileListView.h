#pragma once
// The main window's list in four view modes over one model and one selection: large icons,
// small icons and list (a list view) and details (a table with the six columns). It accepts
// dropped files and ignores them, and moves the focus to the tree on Tab.

#include "WindowLayout.h"

#include <QListView>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableView>

#include <cstddef>
#include <vector>

class QAbstractItemModel;

// Every entry of the icon views is as large as the first (the views measure only it): in large
// icons, room for the icon and two lines of text, whatever the first entry's text.
class CEntryDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // An empty size: the entry's own.
    void SetEntrySize(QSize size) { m_size = size; }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QSize m_size;
};

// Views whose paint tells the window that rows are on screen.
class CIconsView : public QListView {
    Q_OBJECT
public:
    using QListView::QListView;
signals:
    void Painted();

protected:
    void paintEvent(QPaintEvent* event) override;
};

class CDetailsView : public QTableView {
    Q_OBJECT
public:
    using QTableView::QTableView;
signals:
    void Painted();

protected:
    void paintEvent(QPaintEvent* event) override;
};

class CFileListView : public QStackedWidget {
    Q_OBJECT
public:
    explicit CFileListView(QWidget* parent = nullptr);

    void SetModel(QAbstractItemModel* model);
    void SetViewMode(EListViewMode mode);
    EListViewMode ViewMode() const { return m_mode; }
    // The view of the current mode.
    QAbstractItemView* CurrentView() const;
    CIconsView* IconsView() const { return m_icons; }
    CDetailsView* DetailsView() const { return m_details; }

    std::vector<std::size_t> SelectedRows() const;
    // The first selected row, or -1.
    int FirstSelectedRow() const;
    void SelectRows(const std::vector<int>& rows);
    bool HasFocus() const;
    void FocusList();

    int ColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);

signals:
    void Painted();
    void Activated(int row);
    void ContextMenuAt(const QPoint& globalPosition);
    void SelectionChanged();
    void TabPressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    template <class TView> void SetUp(TView* view);

    CIconsView* m_icons;
    CDetailsView* m_details;
    CEntryDelegate* m_delegate;
    EListViewMode m_mode = EListViewMode::LargeIcons;
};
