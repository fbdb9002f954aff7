#include "FileListView.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>

#include <algorithm>

QSize CEntryDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    return m_size.isEmpty() ? QStyledItemDelegate::sizeHint(option, index) : m_size;
}

void CIconsView::paintEvent(QPaintEvent* event) {
    QListView::paintEvent(event);
    emit Painted();
}

void CDetailsView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    emit Painted();
}

CFileListView::CFileListView(QWidget* parent)
    : QStackedWidget(parent), m_icons(new CIconsView(this)), m_details(new CDetailsView(this)),
      m_delegate(new CEntryDelegate(this)) {
    m_icons->setItemDelegate(m_delegate);
    m_icons->setObjectName("listIcons");
    m_details->setObjectName("listDetails");
    // Every row is as high and wide as the first: nothing is measured row by row, so a list of
    // a hundred thousand files lays out at once.
    m_icons->setUniformItemSizes(true);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setWordWrap(true);
    m_details->setShowGrid(false);
    m_details->setWordWrap(false);
    m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_details->verticalHeader()->hide();
    m_details->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_details->verticalHeader()->setDefaultSectionSize(m_details->fontMetrics().height() + 6);
    m_details->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_details->horizontalHeader()->setSectionsClickable(false);
    m_details->horizontalHeader()->setHighlightSections(false);
    m_details->horizontalHeader()->setStretchLastSection(false);
    m_details->setSortingEnabled(false);
    SetUp(m_icons);
    SetUp(m_details);
    addWidget(m_icons);
    addWidget(m_details);
    setAcceptDrops(true);
    SetViewMode(EListViewMode::LargeIcons);
}

template <class TView> void CFileListView::SetUp(TView* view) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setDragEnabled(false);
    connect(view, &TView::Painted, this, &CFileListView::Painted);
    view->installEventFilter(this);
    connect(view, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit Activated(index.row()); });
    connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint& point) {
        emit ContextMenuAt(view->viewport()->mapToGlobal(point));
    });
}

void CFileListView::SetModel(QAbstractItemModel* model) {
    m_icons->setModel(model);
    m_details->setModel(model);
    // One selection for both views, so a change of mode keeps it.
    m_details->setSelectionModel(m_icons->selectionModel());
    connect(m_icons->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CFileListView::SelectionChanged);
}

void CFileListView::SetViewMode(EListViewMode mode) {
    const bool hadFocus = HasFocus();
    m_mode = mode;
    switch (mode) {
    case EListViewMode::LargeIcons:
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setIconSize(QSize(32, 32));
        m_icons->setGridSize(QSize(96, 32 + 2 * m_icons->fontMetrics().height() + 12));
        m_delegate->SetEntrySize(QSize(90, 32 + 2 * m_icons->fontMetrics().height() + 8));
        m_icons->setMovement(QListView::Static);
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        setCurrentWidget(m_icons);
        break;
    case EListViewMode::SmallIcons:
        m_delegate->SetEntrySize({});
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize(160, m_icons->fontMetrics().height() + 6));
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        setCurrentWidget(m_icons);
        break;
    case EListViewMode::List:
        m_delegate->SetEntrySize({});
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setGridSize(QSize(160, m_icons->fontMetrics().height() + 6));
        m_icons->setFlow(QListView::TopToBottom);
        m_icons->setWrapping(true);
        setCurrentWidget(m_icons);
        break;
    case EListViewMode::Details:
        setCurrentWidget(m_details);
        break;
    }
    if (hadFocus) {
        FocusList();
    }
}

QAbstractItemView* CFileListView::CurrentView() const {
    return m_mode == EListViewMode::Details ? static_cast<QAbstractItemView*>(m_details)
                                            : static_cast<QAbstractItemView*>(m_icons);
}

std::vector<std::size_t> CFileListView::SelectedRows() const {
    std::vector<std::size_t> rows;
    if (m_icons->selectionModel() == nullptr) {
        return rows;
    }
    for (const QModelIndex& index : m_icons->selectionModel()->selectedIndexes()) {
        rows.push_back(static_cast<std::size_t>(index.row()));
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

int CFileListView::FirstSelectedRow() const {
    const auto rows = SelectedRows();
    return rows.empty() ? -1 : static_cast<int>(rows.front());
}

void CFileListView::SelectRows(const std::vector<int>& rows) {
    QItemSelectionModel* selection = m_icons->selectionModel();
    QAbstractItemModel* model = m_icons->model();
    selection->clearSelection();
    for (int row : rows) {
        selection->select(model->index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    if (!rows.empty()) {
        selection->setCurrentIndex(model->index(rows.front(), 0), QItemSelectionModel::NoUpdate);
    }
}

bool CFileListView::HasFocus() const {
    return m_icons->hasFocus() || m_details->hasFocus();
}

void CFileListView::FocusList() {
    CurrentView()->setFocus(Qt::OtherFocusReason);
}

int CFileListView::ColumnWidth(int column) const {
    return m_details->columnWidth(column);
}

void CFileListView::SetColumnWidth(int column, int width) {
    m_details->setColumnWidth(column, width);
}

bool CFileListView::eventFilter(QObject* watched, QEvent* event) {
    // Tab moves to the tree rather than along the rows.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab &&
        (watched == m_icons || watched == m_details)) {
        emit TabPressed();
        return true;
    }
    return QStackedWidget::eventFilter(watched, event);
}

void CFileListView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CFileListView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void CFileListView::dropEvent(QDropEvent* event) {
    // Files may be dropped here; nothing is done with them.
    event->acceptProposedAction();
}
