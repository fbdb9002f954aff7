#pragma once
// The subcommands of dorvale, each a thin driver over the administration core.

#include <string>
#include <vector>

// Runs "dorvale <args...>" (args without the program name); returns the exit status.
int RunDorvale(const std::vector<std::string>& args);
