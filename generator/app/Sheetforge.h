#pragma once
// The sheetforge program: its command line, the choice of window or console, the single
// running copy, and the configuration check.

#include "GenerationWorker.h"

#include <string>
#include <vector>

struct CSheetforgeOptions {
    bool help = false;
    bool autorun = false;
    bool console = false;
    int jobs = 0;      // --jobs N: threads writing file pages; 0 for one per core
    std::string error; // an option not understood
};

// "/autorun" (in any letter case) as the whole command line starts at once; "--console"
// runs in the terminal; "--jobs N" sets the threads that write file pages; "--help" explains. Any other single argument opens the window idle.
CSheetforgeOptions ParseSheetforgeOptions(const std::vector<std::string>& arguments);

// Whether a window can be shown: a display, or a Qt platform chosen explicitly.
bool HasDisplay();

extern const char* const SHEETFORGE_HELP;

class QWidget;
struct CSheetforgeConfig;

// Shows the configuration error box when the settings cannot be used; false then.
bool CheckConfiguration(const CSheetforgeConfig& config, QWidget* parent = nullptr);

// The whole program; returns its exit code.
int SheetforgeMain(int argc, char** argv, EnvironmentFactory factory = CreateSystemEnvironment);
