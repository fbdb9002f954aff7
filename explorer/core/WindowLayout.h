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
