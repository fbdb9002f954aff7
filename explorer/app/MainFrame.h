#pragma once
// The main window: the catalogue tree on the left, the list on the right, the menus, the
// toolbar and the status bar, and every command of the program. The window only shows and
// asks; the core decides (what is listed, when a command may be chosen, what each command
// does) and the window keeps the user's layout through it.

#include "AdminContext.h"
#include "CatalogueTree.h"
#include "CommandState.h"
#include "FileRecord.h"
#include "WindowLayout.h"

#include <QMainWindow>
#include <QTreeView>

#include <map>
#include <string>
#include <vector>

class CAreaTreeModel;
class CFileListModel;
class CFileListView;
class QAction;
class QMenu;
class QSplitter;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CAdminContext& context, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Shows the window as the kept layout says (normal, maximised or minimised).
    void ShowAsKept();

    CAdminContext& Context() { return m_context; }
    CCatalogueTree& Tree() { return m_tree; }
    QTreeView* TreeView() const { return m_treeView; }
    CAreaTreeModel* TreeModel() const { return m_treeModel; }
    CFileListView* ListView() const { return m_list; }
    CFileListModel* ListModel() const { return m_listModel; }
    QSplitter* Splitter() const { return m_splitter; }
    QAction* Action(ECommand command) const;
    bool IsTreeLoaded() const { return m_tree.Root() != nullptr; }

    CTreeItem* SelectedNode() const;
    void SelectNode(const CTreeItem* node);
    // Runs a command as its menu entry would (nothing when it is disabled).
    void Run(ECommand command);
    // Works out again which commands may be chosen.
    void UpdateCommands();
    // The texts of the list's context menu as it would be shown now.
    QStringList ListMenuTexts();

public slots:
    void LoadTree();
    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void ApplyKeptPosition();
    void SetViewMode(EListViewMode mode);
    void OnTreeSelection();
    void OnListPainted();
    void OnTreeContextMenu(const QPoint& position);
    void OnListContextMenu(const QPoint& globalPosition);
    QMenu* BuildListMenu();
    void PostRefresh();
    // After a wizard: the area's list is refreshed when the catalogue now has more files in it.
    void RefreshIfAreaGrew();
    std::uint32_t SelectedAreaId() const;
    std::vector<CFileRecord> SelectedRecords();

    void OnOpen();
    void OnOpenAsHtml();
    void OnScanForNewFiles();
    void OnScanForNewReviews();
    void OnVirusCheck();
    void OnProperties();
    void OnTreeProperties();
    void OnNew();
    void OnAddMultiple();
    void OnDeleteFile();
    void OnRemoveFromArea();
    void OnFindFiles();
    void OnUp();
    void OnSheetforge();
    void OnAbout();
    void ShowNodeProperties(const CTreeItem* node);
    void ShowFileProperties(int row);

    CAdminContext& m_context;
    CCatalogueTree m_tree;
    CExplorerLayout m_layout;
    std::map<ECommand, QAction*> m_actions;
    QTreeView* m_treeView;
    CAreaTreeModel* m_treeModel;
    CFileListView* m_list;
    CFileListModel* m_listModel;
    QSplitter* m_splitter;
    QToolBar* m_toolBar = nullptr;
    std::string m_searchText;
    unsigned m_searchMask = 0;
    bool m_generatorFound = false;
    bool m_countPending = false;
    bool m_refreshPosted = false;
};
