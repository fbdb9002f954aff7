#include "WindowLayout.h"

#include "Settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

int NumberAt(const std::string& text, std::size_t offset) {
    return offset < text.size() ? std::atoi(text.c_str() + offset) : 0;
}

// A number kept within its four characters: a longer one would shift every field after it, so
// that the next start read the rectangle and flags from the wrong offsets. A window beyond
// -999 (on a screen left of or above the first) is kept at -999.
int FieldValue(int value) {
    return std::clamp(value, -999, 9999);
}

} // namespace

bool ParseWindowPosition(const std::string& text, CWindowPosition& position) {
    if (text.empty()) {
        return false;
    }
    position.left = NumberAt(text, 0);
    position.top = NumberAt(text, 5);
    position.right = NumberAt(text, 10);
    position.bottom = NumberAt(text, 15);
    position.minimized = NumberAt(text, 20) != 0;
    position.maximized = NumberAt(text, 25) != 0;
    position.hasBars = text.size() > 30;
    if (position.hasBars) {
        position.toolbar = NumberAt(text, 30) != 0;
        position.statusBar = NumberAt(text, 35) != 0;
    }
    return true;
}

std::string FormatWindowPosition(const CWindowPosition& position) {
    char text[128];
    std::snprintf(text, sizeof text, "%04d %04d %04d %04d %04d %04d %04d %04d",
                  FieldValue(position.left), FieldValue(position.top), FieldValue(position.right),
                  FieldValue(position.bottom), position.minimized ? 1 : 0,
                  position.maximized ? 1 : 0, position.toolbar ? 1 : 0, position.statusBar ? 1 : 0);
    return text;
}

int TreePaneWidth(int stored, bool hasStored, int clientWidth) {
    const int width = hasStored ? stored : clientWidth / 4;
    return width < 50 ? 50 : width;
}

CExplorerLayout ReadExplorerLayout() {
    CExplorerLayout layout;
    std::string text;
    ReadRegistryText(settings::ExplorerKeyHKCU, settings::WindowPosition, text);
    layout.hasPosition = ParseWindowPosition(text, layout.position);
    DWORD number = 0;
    if (ReadRegistryNumber(settings::ExplorerKeyHKCU, settings::VPosition, number)) {
        layout.hasTreeWidth = true;
        layout.treeWidth = static_cast<int>(number);
    }
    // A mode the list does not know is ignored, as the list's own check would.
    if (ReadRegistryNumber(settings::ExplorerKeyHKCU, settings::WindowStyle, number) &&
        number <= 3) {
        layout.hasViewMode = true;
        layout.viewMode = static_cast<EListViewMode>(number);
    }
    for (int i = 0; i < settings::ColumnCount; ++i) {
        if (ReadRegistryNumber(settings::ExplorerKeyHKCU, settings::Columns[i], number)) {
            layout.hasColumn[i] = true;
            layout.columns[i] = static_cast<int>(number);
        }
    }
    return layout;
}

void WriteExplorerLayout(const CWindowPosition& position, int treeWidth, EListViewMode viewMode,
                         const int* columns) {
    const char* key = settings::ExplorerKeyHKCU;
    WriteRegistryText(key, settings::WindowPosition, FormatWindowPosition(position).c_str());
    // Spelled so in this write; names are compared without regard to case.
    WriteRegistryNumber(key, "Vposition", static_cast<DWORD>(treeWidth));
    WriteRegistryNumber(key, settings::WindowStyle, static_cast<DWORD>(viewMode));
    if (viewMode == EListViewMode::Details && columns != nullptr) {
        for (int i = 0; i < settings::ColumnCount; ++i) {
            WriteRegistryNumber(key, settings::Columns[i], static_cast<DWORD>(columns[i]));
        }
    }
}
