#pragma once
// The program's pictures: the tree's and the list's images, the toolbar's buttons and the
// program's own icon. Folders, files and the common commands come from the style; the rest is
// drawn here, so the program carries no image files of its own.

#include "CommandState.h"

#include <QIcon>

namespace icons {

// Tree and list images: a closed or open folder (root, groups, areas), the search results,
// and a catalogue file.
QIcon Folder(bool open);
QIcon SearchResults(bool open);
QIcon File();
// The toolbar's picture of a command; null for commands the toolbar does not show.
QIcon ForCommand(ECommand command);
// The program's icon (the same drawing as dorvale-explorer.svg).
QIcon Application();

} // namespace icons
