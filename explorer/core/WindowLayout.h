#pragma once
// The main window's layout as kept per user: "Window Position" (eight numbers, "%04d %04d ...")
// and the splitter, view mode and column widths beside it.

#include <string>

struct CWindowPosition {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool minimized = false;
    bool maximized = false;
    // Known only when the text is longer than 30 characters.
    bool hasBars = false;
    bool toolbar = true;
    bool statusBar = true;
};

// Reads the numbers at offsets 0, 5, 10, 15, 20 and 25 and, when the text is longer than 30
// characters, at 30 and 35. False for an empty text.
bool ParseWindowPosition(const std::string& text, CWindowPosition& position);
std::string FormatWindowPosition(const CWindowPosition& position);

// The splitter's position when none is kept: a quarter of the client width; never below 50.
int TreePaneWidth(int stored, bool hasStored, int clientWidth);

// The list's view modes as "Window Style" keeps them.
enum class EListViewMode { LargeIcons = 0, Details = 1, SmallIcons = 2, List = 3 };

// The layout values of the explorer's key (HKCU). A value missing, or stored with another
// type, is not `has...`.
struct CExplorerLayout {
    bool hasPosition = false;
    CWindowPosition position;
    bool hasTreeWidth = false;
    int treeWidth = 0;
    bool hasViewMode = false;
    EListViewMode viewMode = EListViewMode::LargeIcons;
    bool hasColumn[6] = {};
    int columns[6] = {};
};
CExplorerLayout ReadExplorerLayout();
// Closing the window: "Window Position", the splitter ("Vposition"), "Window Style", and the
// column widths when the list is in details mode (`columns` then holds six widths).
void WriteExplorerLayout(const CWindowPosition& position, int treeWidth, EListViewMode viewMode,
                         const int* columns);
