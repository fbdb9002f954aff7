#pragma once
// When each command of the main window may be chosen, from what is selected: the tree's node,
// the list's entries and the focus, and what is configured.

#include "CatalogueTree.h"

#include <cstddef>

enum class ECommand {
    Open,
    OpenAsHtml,
    ScanForNewFiles,
    ScanForNewReviews,
    VirusCheck,
    Properties,
    Close,
    New,
    AddMultiple,
    DeleteFile,
    RemoveFromArea,
    FindFiles,
    Toolbar,
    StatusBar,
    LargeIcons,
    SmallIcons,
    List,
    Details,
    Refresh,
    Sheetforge,
    HelpTopics,
    Guide,
    About,
    Up,
    TreeProperties,
};

struct CCommandState {
    // The selected tree node's kind; TREEITEM_TOP when none is selected.
    TreeItemKind node = TREEITEM_TOP;
    std::size_t selectedEntries = 0;
    bool listHasFocus = false;
    bool httpServerSet = false;
    bool virusCheckerSet = false;
    bool generatorFound = false;
};

bool IsCommandEnabled(ECommand command, const CCommandState& state);
