#include "MainFrame.h"

#include "AboutDlg.h"
#include "AddFileWizard.h"
#include "AddFilesWizard.h"
#include "AdminSettings.h"
#include "AreaTreeModel.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FileOperations.h"
#include "FilePropertySheet.h"
#include "FileSearchDlg.h"
#include "Help.h"
#include "Icons.h"
#include "NodeProperties.h"
#include "ReviewDialogs.h"
#include "Uploads.h"
#include "UploadsDlg.h"
#include "VirusCheck.h"
#include "Widgets.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

using prompt::EIcon;

namespace {

// The command table: menu text (with its accelerator after a tab), shortcuts, and the
// status-bar prompt with the tooltip after "\n".
struct CCommandText {
    ECommand command;
    const char* name;
    const char* text;
    const char* prompt;
    QKeySequence shortcuts[2];
};

const CCommandText COMMANDS[] = {
    {ECommand::Open,
     "open",
     "&Open\tEnter",
     "",
     {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}},
    {ECommand::OpenAsHtml,
     "openAsHtml",
     "Open as &HTML\tShift+Enter",
     "Open item in Web Browser",
     {QKeySequence(Qt::SHIFT | Qt::Key_Return), QKeySequence(Qt::SHIFT | Qt::Key_Enter)}},
    {ECommand::ScanForNewFiles,
     "scanFiles",
     "&Scan for new files\tCtrl+S",
     "Scan the upload paths for new files",
     {QKeySequence(Qt::CTRL | Qt::Key_S)}},
    {ECommand::ScanForNewReviews,
     "scanReviews",
     "Scan for new R&eviews...",
     "Scan for new user submitted reviews",
     {}},
    {ECommand::VirusCheck,
     "virusCheck",
     "&Virus Check\tCtrl+V",
     "Scans the item for viruses",
     {QKeySequence(Qt::CTRL | Qt::Key_V)}},
    {ECommand::Properties,
     "properties",
     "P&roperties\tCtrl+Enter",
     "Show the properties of an item\nProperties.",
     {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}},
    {ECommand::Close, "close", "&Close\tAlt+F4", "", {QKeySequence(Qt::ALT | Qt::Key_F4)}},
    {ECommand::New,
     "new",
     "&New...\tCtrl+N",
     "Add a new file to the Dorvale\nAdd new file.",
     {QKeySequence(Qt::CTRL | Qt::Key_N)}},
    {ECommand::AddMultiple,
     "addMultiple",
     "&Add multiple...\tCtrl+A",
     "Add multiple files to the Dorvale\nAdd new files.",
     {QKeySequence(Qt::CTRL | Qt::Key_A)}},
    {ECommand::DeleteFile,
     "deleteFile",
     "&Delete File\tDel",
     "Delete a file from the Dorvale\nDelete.",
     {QKeySequence(Qt::Key_Delete)}},
    {ECommand::RemoveFromArea,
     "removeFromArea",
     "Remo&ve from Area\tCtrl+R",
     "Remove a file from the displayed area",
     {QKeySequence(Qt::CTRL | Qt::Key_R)}},
    {ECommand::FindFiles,
     "findFiles",
     "&Find files...\tCtrl+F",
     "Search for files containing text\nSearch.",
     {QKeySequence(Qt::CTRL | Qt::Key_F), QKeySequence(Qt::Key_F3)}},
    {ECommand::Toolbar, "toolbar", "&Toolbar", "", {}},
    {ECommand::StatusBar, "statusBar", "Status &Bar", "", {}},
    {ECommand::LargeIcons,
     "largeIcons",
     "Lar&ge Icons",
     "Displays items using large icons\nLarge Icons.",
     {}},
    {ECommand::SmallIcons,
     "smallIcons",
     "S&mall Icons",
     "Displays items using small icons\nSmall Icons.",
     {}},
    {ECommand::List, "list", "&List", "Displays items in a list.\nList.", {}},
    {ECommand::Details,
     "details",
     "&Details",
     "Displays information about each item in the window.\nDetails.",
     {}},
    {ECommand::Refresh,
     "refresh",
     "&Refresh\tF5",
     "Refresh item information.",
     {QKeySequence(Qt::Key_F5)}},
    {ECommand::Sheetforge,
     "sheetforge",
     "&Sheetforge...\tCtrl+G",
     "Runs the Dorvale Web Generation program\nRun Sheetforge",
     {QKeySequence(Qt::CTRL | Qt::Key_G)}},
    {ECommand::HelpTopics, "helpTopics", "&Help Topics", "Displays Help\nHelp.", {}},
    {ECommand::Guide, "guide", "Dorvale Administrator's &Guide", "", {}},
    {ECommand::About,
     "about",
     "&About Dorvale Explorer",
     "Displays program information, version number, and copyright.",
     {}},
    {ECommand::Up,
     "up",
     "Up",
     "Move to the previous folder\nUp",
     {QKeySequence(Qt::Key_Backspace)}},
    {ECommand::TreeProperties, "treeProperties", "P&roperties", "", {}},
};

const ECommand VIEW_COMMANDS[] = {ECommand::LargeIcons, ECommand::SmallIcons, ECommand::List,
                                  ECommand::Details};

EListViewMode ModeOf(ECommand command) {
    switch (command) {
    case ECommand::SmallIcons:
        return EListViewMode::SmallIcons;
    case ECommand::List:
        return EListViewMode::List;
    case ECommand::Details:
        return EListViewMode::Details;
    default:
        return EListViewMode::LargeIcons;
    }
}

} // namespace

CMainFrame::CMainFrame(CAdminContext& context, QWidget* parent)
    : QMainWindow(parent), m_context(context), m_layout(ReadExplorerLayout()),
      m_treeView(new QTreeView), m_treeModel(new CAreaTreeModel(m_tree, true, this)),
      m_list(new CFileListView), m_listModel(new CFileListModel(context.Catalogue(), this)),
      m_splitter(new QSplitter(Qt::Horizontal)) {
    setObjectName("mainFrame");
    setWindowTitle(EXPLORER_TITLE);
    setWindowIcon(icons::Application());
    CreateActions();
    CreateToolBar();
    CreateMenus();

    m_treeView->setObjectName("tree");
    m_treeView->setModel(m_treeModel);
    m_treeView->setHeaderHidden(true);
    m_treeView->setRootIsDecorated(true);
    m_treeView->setContextMenuPolicy(Qt::CustomContextMenu);
    m_treeView->setMinimumWidth(50);
    m_list->SetModel(m_listModel);
    m_list->setMinimumWidth(50);
    m_splitter->addWidget(m_treeView);
    m_splitter->addWidget(m_list);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(1, 1);
    setCentralWidget(m_splitter);
    statusBar()->setObjectName("status");

    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CMainFrame::OnTreeSelection);
    connect(m_treeView, &QWidget::customContextMenuRequested, this, &CMainFrame::OnTreeContextMenu);
    m_treeView->installEventFilter(this);
    connect(m_list, &CFileListView::TabPressed, m_treeView,
            [this] { m_treeView->setFocus(Qt::TabFocusReason); });
    connect(m_list, &CFileListView::Activated, this, [this] { Run(ECommand::Open); });
    connect(m_list, &CFileListView::ContextMenuAt, this, &CMainFrame::OnListContextMenu);
    connect(m_list, &CFileListView::SelectionChanged, this, &CMainFrame::UpdateCommands);
    connect(m_list, &CFileListView::Painted, this, &CMainFrame::OnListPainted);
    connect(qApp, &QApplication::focusChanged, this, &CMainFrame::UpdateCommands);

    ApplyKeptPosition();
    // The tree is loaded once the window is up.
    QTimer::singleShot(0, this, &CMainFrame::LoadTree);
}

CMainFrame::~CMainFrame() = default;

QAction* CMainFrame::Action(ECommand command) const {
    auto it = m_actions.find(command);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateActions() {
    for (const CCommandText& entry : COMMANDS) {
        auto* action = new QAction(entry.text, this);
        action->setObjectName(entry.name);
        const QString prompt = entry.prompt;
        const int newline = prompt.indexOf('\n');
        action->setStatusTip(newline < 0 ? prompt : prompt.left(newline));
        if (newline >= 0) {
            action->setToolTip(prompt.mid(newline + 1));
        }
        QList<QKeySequence> shortcuts;
        for (const QKeySequence& shortcut : entry.shortcuts) {
            if (!shortcut.isEmpty()) {
                shortcuts << shortcut;
            }
        }
        action->setShortcuts(shortcuts);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setIcon(icons::ForCommand(entry.command));
        action->setIconVisibleInMenu(false);
        m_actions[entry.command] = action;
        addAction(action);
    }
    const std::pair<ECommand, void (CMainFrame::*)()> handlers[] = {
        {ECommand::Open, &CMainFrame::OnOpen},
        {ECommand::OpenAsHtml, &CMainFrame::OnOpenAsHtml},
        {ECommand::ScanForNewFiles, &CMainFrame::OnScanForNewFiles},
        {ECommand::ScanForNewReviews, &CMainFrame::OnScanForNewReviews},
        {ECommand::VirusCheck, &CMainFrame::OnVirusCheck},
        {ECommand::Properties, &CMainFrame::OnProperties},
        {ECommand::New, &CMainFrame::OnNew},
        {ECommand::AddMultiple, &CMainFrame::OnAddMultiple},
        {ECommand::DeleteFile, &CMainFrame::OnDeleteFile},
        {ECommand::RemoveFromArea, &CMainFrame::OnRemoveFromArea},
        {ECommand::FindFiles, &CMainFrame::OnFindFiles},
        {ECommand::Refresh, &CMainFrame::Refresh},
        {ECommand::Sheetforge, &CMainFrame::OnSheetforge},
        {ECommand::About, &CMainFrame::OnAbout},
        {ECommand::Up, &CMainFrame::OnUp},
        {ECommand::TreeProperties, &CMainFrame::OnTreeProperties},
    };
    for (const auto& [command, handler] : handlers) {
        connect(m_actions[command], &QAction::triggered, this, handler);
    }
    connect(m_actions[ECommand::Close], &QAction::triggered, this, &QWidget::close);
    connect(m_actions[ECommand::HelpTopics], &QAction::triggered, this, [] { OpenHelpTopics(); });
    connect(m_actions[ECommand::Guide], &QAction::triggered, this, [] { OpenGuide(); });
    auto* modes = new QActionGroup(this);
    for (ECommand command : VIEW_COMMANDS) {
        QAction* action = m_actions[command];
        action->setCheckable(true);
        modes->addAction(action);
        connect(action, &QAction::triggered, this,
                [this, command] { SetViewMode(ModeOf(command)); });
    }
    m_actions[ECommand::LargeIcons]->setChecked(true);
    for (ECommand command : {ECommand::Toolbar, ECommand::StatusBar}) {
        m_actions[command]->setCheckable(true);
        m_actions[command]->setChecked(true);
    }
    connect(m_actions[ECommand::StatusBar], &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });
}

void CMainFrame::CreateToolBar() {
    m_toolBar = addToolBar(tr("Toolbar"));
    m_toolBar->setObjectName("toolBar");
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(24, 24));
    const ECommand buttons[] = {
        ECommand::Up,         ECommand::Open,       ECommand::New,       ECommand::Open,
        ECommand::DeleteFile, ECommand::Properties, ECommand::FindFiles, ECommand::Open,
        ECommand::LargeIcons, ECommand::SmallIcons, ECommand::List,      ECommand::Details,
        ECommand::Open,       ECommand::Sheetforge, ECommand::Open,      ECommand::HelpTopics};
    // ECommand::Open stands for a separator here: Open has no button.
    for (ECommand command : buttons) {
        if (command == ECommand::Open) {
            m_toolBar->addSeparator();
        } else {
            m_toolBar->addAction(m_actions[command]);
        }
    }
    connect(m_actions[ECommand::Toolbar], &QAction::toggled, m_toolBar, &QWidget::setVisible);
}

void CMainFrame::CreateMenus() {
    auto add = [this](QMenu* menu, std::initializer_list<int> entries) {
        for (int entry : entries) {
            if (entry < 0) {
                menu->addSeparator();
            } else {
                menu->addAction(m_actions[static_cast<ECommand>(entry)]);
            }
        }
    };
    auto id = [](ECommand command) { return static_cast<int>(command); };
    constexpr int SEPARATOR = -1;
    QMenu* file = menuBar()->addMenu(tr("&File"));
    add(file, {id(ECommand::Open), id(ECommand::OpenAsHtml), SEPARATOR,
               id(ECommand::ScanForNewFiles), id(ECommand::ScanForNewReviews), SEPARATOR,
               id(ECommand::VirusCheck), id(ECommand::Properties), SEPARATOR, id(ECommand::Close)});
    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    add(edit, {id(ECommand::New), id(ECommand::AddMultiple), SEPARATOR, id(ECommand::DeleteFile),
               id(ECommand::RemoveFromArea), SEPARATOR, id(ECommand::FindFiles)});
    QMenu* view = menuBar()->addMenu(tr("&View"));
    add(view, {id(ECommand::Toolbar), id(ECommand::StatusBar), SEPARATOR, id(ECommand::LargeIcons),
               id(ECommand::SmallIcons), id(ECommand::List), id(ECommand::Details), SEPARATOR,
               id(ECommand::Refresh)});
    QMenu* tools = menuBar()->addMenu(tr("&Tools"));
    add(tools, {id(ECommand::Sheetforge)});
    QMenu* helpMenu = menuBar()->addMenu(tr("&Help"));
    add(helpMenu, {id(ECommand::HelpTopics), id(ECommand::Guide), SEPARATOR, id(ECommand::About)});
    for (QMenu* menu : {file, edit, view, tools, helpMenu}) {
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommands);
    }
}

void CMainFrame::ApplyKeptPosition() {
    resize(800, 560);
    if (!m_layout.hasPosition) {
        return;
    }
    const CWindowPosition& kept = m_layout.position;
    if (kept.right > kept.left && kept.bottom > kept.top) {
        setGeometry(kept.left, kept.top, kept.right - kept.left, kept.bottom - kept.top);
    }
    if (kept.hasBars) {
        m_actions[ECommand::Toolbar]->setChecked(kept.toolbar);
        m_actions[ECommand::StatusBar]->setChecked(kept.statusBar);
        m_toolBar->setVisible(kept.toolbar);
        statusBar()->setVisible(kept.statusBar);
    }
}

void CMainFrame::ShowAsKept() {
    show();
    if (m_layout.hasPosition && m_layout.position.maximized) {
        setWindowState(windowState() | Qt::WindowMaximized);
    } else if (m_layout.hasPosition && m_layout.position.minimized) {
        setWindowState(windowState() | Qt::WindowMinimized);
    }
}

void CMainFrame::LoadTree() {
    if (IsTreeLoaded()) {
        return;
    }
    const int client = m_splitter->width();
    const int treeWidth = TreePaneWidth(m_layout.treeWidth, m_layout.hasTreeWidth, client);
    m_splitter->setSizes({treeWidth, std::max(50, client - treeWidth)});
    for (int column = 0; column < LIST_COLUMN_COUNT; ++column) {
        m_list->SetColumnWidth(column, m_layout.hasColumn[column] ? m_layout.columns[column]
                                                                  : LIST_COLUMN_WIDTHS[column]);
    }
    if (m_layout.hasViewMode && m_layout.viewMode != m_list->ViewMode()) {
        SetViewMode(m_layout.viewMode);
    }
    m_tree.Load(m_context.DatabasePath(), m_context.Areas());
    m_treeModel->Reload();
    const QModelIndex root = m_treeModel->IndexOf(m_tree.Root());
    m_treeView->expand(root);
    m_treeView->setCurrentIndex(root);
    UpdateCommands();
}

void CMainFrame::SetViewMode(EListViewMode mode) {
    m_list->SetViewMode(mode);
    const int index = static_cast<int>(mode);
    // Window Style numbers the modes 0 large, 1 details, 2 small, 3 list.
    const ECommand commands[] = {ECommand::LargeIcons, ECommand::Details, ECommand::SmallIcons,
                                 ECommand::List};
    m_actions[commands[index]]->setChecked(true);
}

CTreeItem* CMainFrame::SelectedNode() const {
    return m_treeModel->Node(m_treeView->currentIndex());
}

void CMainFrame::SelectNode(const CTreeItem* node) {
    const QModelIndex index = m_treeModel->IndexOf(node);
    if (!index.isValid()) {
        return;
    }
    m_treeView->setCurrentIndex(index);
    m_treeView->scrollTo(index);
}

std::uint32_t CMainFrame::SelectedAreaId() const {
    return CAreaTreeModel::AreaId(SelectedNode());
}

void CMainFrame::OnTreeSelection() {
    m_treeModel->SetSelected(SelectedNode());
    PostRefresh();
    UpdateCommands();
}

void CMainFrame::PostRefresh() {
    if (!m_refreshPosted) {
        m_refreshPosted = true;
        QMetaObject::invokeMethod(this, &CMainFrame::Refresh, Qt::QueuedConnection);
    }
}

void CMainFrame::Refresh() {
    m_refreshPosted = false;
    m_countPending = false;
    const CTreeItem* node = SelectedNode();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_list->setUpdatesEnabled(false);
    bool nothingFound = false;
    switch (node != nullptr ? node->GetKind() : TREEITEM_TOP) {
    case TREEITEM_ROOT:
    case TREEITEM_GROUP:
        m_listModel->ShowNodes(*node);
        break;
    case TREEITEM_AREA:
        m_listModel->ShowArea(CAreaTreeModel::AreaId(node));
        // Counted once the first rows are on screen (or at once when the list is not shown).
        m_countPending = !m_listModel->IsCounted();
        if (m_countPending && !m_list->isVisible()) {
            m_countPending = false;
            m_listModel->CountAll();
        }
        break;
    case TREEITEM_SEARCH:
        m_listModel->ShowSearch(m_searchText, m_searchMask);
        nothingFound = m_listModel->rowCount() == 0;
        break;
    default:
        m_listModel->Clear();
        break;
    }
    m_list->setUpdatesEnabled(true);
    QApplication::restoreOverrideCursor();
    UpdateCommands();
    if (nothingFound) {
        m_context.Tell(MSG_NOTHING_FOUND);
    }
}

void CMainFrame::OnListPainted() {
    if (m_countPending) {
        m_countPending = false;
        QTimer::singleShot(0, this, [this] {
            m_listModel->CountAll();
            UpdateCommands();
        });
    }
}

void CMainFrame::UpdateCommands() {
    if (!m_generatorFound) {
        m_generatorFound = !FindGenerator().empty(); // once found, it stays
    }
    CCommandState state;
    const CTreeItem* node = SelectedNode();
    state.node = node != nullptr ? node->GetKind() : TREEITEM_TOP;
    state.selectedEntries = m_list->SelectedRows().size();
    state.listHasFocus = m_list->HasFocus();
    state.httpServerSet = !ReadHttpServerBase().empty();
    state.virusCheckerSet = IsVirusCheckerConfigured();
    state.generatorFound = m_generatorFound;
    for (const auto& [command, action] : m_actions) {
        action->setEnabled(IsCommandEnabled(command, state));
    }
}

void CMainFrame::Run(ECommand command) {
    UpdateCommands();
    QAction* action = Action(command);
    if (action != nullptr && action->isEnabled()) {
        action->trigger();
    }
}

void CMainFrame::OnTreeContextMenu(const QPoint& position) {
    const QModelIndex index = m_treeView->indexAt(position);
    if (index.isValid()) {
        m_treeView->setCurrentIndex(index);
    }
    UpdateCommands();
    QMenu menu(this);
    menu.addAction(m_actions[ECommand::TreeProperties]);
    menu.exec(m_treeView->viewport()->mapToGlobal(position));
}

QMenu* CMainFrame::BuildListMenu() {
    UpdateCommands();
    auto* menu = new QMenu(this);
    auto alias = [this](QMenu* into, const char* text, ECommand command) {
        QAction* target = m_actions[command];
        QAction* entry = into->addAction(text);
        entry->setEnabled(target->isEnabled());
        entry->setCheckable(target->isCheckable());
        entry->setChecked(target->isChecked());
        connect(entry, &QAction::triggered, target, &QAction::trigger);
    };
    const CTreeItem* node = SelectedNode();
    const TreeItemKind kind = node != nullptr ? node->GetKind() : TREEITEM_TOP;
    if (!m_list->SelectedRows().empty()) {
        if (kind == TREEITEM_AREA || kind == TREEITEM_SEARCH) {
            alias(menu, "&Open", ECommand::Open);
            alias(menu, "Open as &HTML", ECommand::OpenAsHtml);
            menu->addSeparator();
            alias(menu, "&Delete File", ECommand::DeleteFile);
            alias(menu, "Remo&ve from Area", ECommand::RemoveFromArea);
            menu->addSeparator();
            alias(menu, "&Virus Check", ECommand::VirusCheck);
            menu->addSeparator();
            alias(menu, "P&roperties", ECommand::Properties);
        } else {
            alias(menu, "&Open", ECommand::Open);
            menu->addSeparator();
            alias(menu, "P&roperties", ECommand::Properties);
        }
    } else {
        QMenu* view = menu->addMenu("&View");
        alias(view, "Lar&ge Icons", ECommand::LargeIcons);
        alias(view, "S&mall Icons", ECommand::SmallIcons);
        alias(view, "&List", ECommand::List);
        alias(view, "&Details", ECommand::Details);
        menu->addSeparator();
        alias(menu, "Re&fresh", ECommand::Refresh);
        menu->addSeparator();
        alias(menu, "&New...", ECommand::New);
        alias(menu, "&Add multiple...", ECommand::AddMultiple);
    }
    return menu;
}

QStringList CMainFrame::ListMenuTexts() {
    std::unique_ptr<QMenu> menu(BuildListMenu());
    QStringList texts;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            texts << action->text() + (action->isEnabled() ? "" : " (disabled)");
        }
    }
    return texts;
}

void CMainFrame::OnListContextMenu(const QPoint& globalPosition) {
    std::unique_ptr<QMenu> menu(BuildListMenu());
    menu->exec(globalPosition);
}

std::vector<CFileRecord> CMainFrame::SelectedRecords() {
    std::vector<CFileRecord> records;
    for (std::size_t row : m_list->SelectedRows()) {
        CFileRecord record(&m_context.Catalogue());
        if (m_listModel->Source().GetRecord(row, record)) {
            records.push_back(record);
        }
    }
    return records;
}

void CMainFrame::OnOpen() {
    const CTreeItem* node = SelectedNode();
    const int row = m_list->FirstSelectedRow();
    if (node == nullptr || row < 0) {
        return;
    }
    if (node->GetKind() == TREEITEM_ROOT || node->GetKind() == TREEITEM_GROUP) {
        SelectNode(m_listModel->NodeAt(row));
    } else if (node->GetKind() == TREEITEM_AREA || node->GetKind() == TREEITEM_SEARCH) {
        ShowFileProperties(row);
    }
}

void CMainFrame::OnOpenAsHtml() {
    const int row = m_list->FirstSelectedRow();
    if (row < 0) {
        return;
    }
    const std::string address = FileDetailsAddress(
        ReadHttpServerBase(), m_listModel->Source().GetFileId(static_cast<std::size_t>(row)));
    if (!address.empty()) {
        OpenInBrowser(ToQt(address));
    }
}

void CMainFrame::OnScanForNewFiles() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<CPendingUpload> uploads = ScanUploads(m_context);
    QApplication::restoreOverrideCursor();
    if (uploads.empty()) {
        m_context.Tell(MSG_NO_NEW_FILES, EXPLORER_TITLE);
    } else {
        CUploadsDlg dialog(m_context, m_tree, std::move(uploads), this);
        dialog.exec();
    }
    Refresh();
}

void CMainFrame::OnScanForNewReviews() {
    CSubmissionsDlg dialog(m_context, this);
    dialog.exec();
}

void CMainFrame::OnVirusCheck() {
    const int row = m_list->FirstSelectedRow();
    CFileRecord record(&m_context.Catalogue());
    if (row < 0 || !m_listModel->Source().GetRecord(static_cast<std::size_t>(row), record)) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The window waits for the checker, as the command always did; its message comes after.
    class CRestoreCursor {
    public:
        ~CRestoreCursor() { QApplication::restoreOverrideCursor(); }
    };
    CRestoreCursor restore;
    VirusCheckFile(m_context, record);
}

void CMainFrame::OnProperties() {
    const int row = m_list->FirstSelectedRow();
    if (row < 0) {
        return;
    }
    if (m_listModel->ShowsFiles()) {
        ShowFileProperties(row);
    } else {
        ShowNodeProperties(m_listModel->NodeAt(row));
    }
}

void CMainFrame::OnTreeProperties() {
    ShowNodeProperties(SelectedNode());
}

void CMainFrame::ShowNodeProperties(const CTreeItem* node) {
    if (node == nullptr) {
        return;
    }
    if (node->GetKind() == TREEITEM_AREA) {
        if (const AreaRecord* area = m_context.FindArea(CAreaTreeModel::AreaId(node))) {
            CAreaPropertiesSheet sheet(*area, this);
            sheet.exec();
        }
    } else if (node->GetKind() == TREEITEM_GROUP) {
        CGroupPropertiesSheet sheet(m_context, node->GetName(), this);
        sheet.exec();
    }
}

void CMainFrame::ShowFileProperties(int row) {
    CFileRecord record(&m_context.Catalogue());
    if (!m_listModel->Source().GetRecord(static_cast<std::size_t>(row), record)) {
        return;
    }
    CFilePropertiesModel model(m_context, record);
    CFilePropertySheet sheet(m_context, m_tree, model, true, this);
    if (sheet.exec() == QDialog::Accepted) {
        model.Save();
    }
    m_listModel->ReloadRows();
    const std::uint32_t area = SelectedAreaId();
    if (area != 0) {
        m_listModel->CountAll();
        if (m_context.Catalogue().GetNumberOfFilesInArea(area) != m_listModel->rowCount()) {
            PostRefresh();
        }
    }
}

void CMainFrame::RefreshIfAreaGrew() {
    const std::uint32_t area = SelectedAreaId();
    if (area == 0) {
        return;
    }
    m_listModel->CountAll();
    if (m_context.Catalogue().GetNumberOfFilesInArea(area) > m_listModel->rowCount()) {
        PostRefresh();
    }
}

void CMainFrame::OnNew() {
    CAddFileWizard wizard(m_context, m_tree, this);
    wizard.exec();
    RefreshIfAreaGrew();
}

void CMainFrame::OnAddMultiple() {
    if (m_context.HostingAreas().empty()) {
        m_context.Tell(MSG_NO_HOSTING_AREAS, {}, EIcon::Warning);
        return;
    }
    CAddFilesWizard wizard(m_context, this);
    wizard.exec();
    RefreshIfAreaGrew();
}

void CMainFrame::OnDeleteFile() {
    std::vector<CFileRecord> records = SelectedRecords();
    DeleteFiles(m_context, records);
    PostRefresh();
}

void CMainFrame::OnRemoveFromArea() {
    std::vector<CFileRecord> records = SelectedRecords();
    RemoveFilesFromArea(m_context, records, SelectedAreaId());
    PostRefresh();
}

void CMainFrame::OnFindFiles() {
    CFileSearchDlg dialog(m_searchText, m_searchMask, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    m_searchText = dialog.Text();
    m_searchMask = dialog.Mask();
    m_tree.SetSearchText(m_searchText);
    m_treeModel->UpdateNode(m_tree.SearchResults());
    SelectNode(m_tree.SearchResults());
    PostRefresh();
}

void CMainFrame::OnUp() {
    if (const CTreeItem* node = SelectedNode()) {
        SelectNode(UpFrom(*node));
    }
}

void CMainFrame::OnSheetforge() {
    std::string error;
    if (!LaunchGenerator(error)) {
        m_context.Tell(error, CAPTION_ERROR, EIcon::Error);
    }
}

void CMainFrame::OnAbout() {
    CAboutDlg dialog(this);
    dialog.exec();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // Tab moves from the tree to the list.
    if (watched == m_treeView && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Tab) {
        m_list->FocusList();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    CWindowPosition position;
    const QRect normal = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    position.left = normal.left();
    position.top = normal.top();
    position.right = normal.left() + normal.width();
    position.bottom = normal.top() + normal.height();
    position.minimized = isMinimized();
    position.maximized = isMaximized();
    position.toolbar = m_actions[ECommand::Toolbar]->isChecked();
    position.statusBar = m_actions[ECommand::StatusBar]->isChecked();
    int columns[LIST_COLUMN_COUNT];
    for (int column = 0; column < LIST_COLUMN_COUNT; ++column) {
        columns[column] = m_list->ColumnWidth(column);
    }
    WriteExplorerLayout(position, m_splitter->sizes().value(0), m_list->ViewMode(), columns);
    m_listModel->Clear();
    event->accept();
}
