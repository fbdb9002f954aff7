#pragma once
// The dorvale-setup program: its command line, then start-up and the sheet.

#include <string>
#include <vector>

// Runs the program with `args` (without the program's name); returns its exit status.
int RunSetupProgram(int argc, char** argv);
