#pragma once
// The setup program's work on the command line, for headless servers: `dorvale config`,
// `dorvale area` and `dorvale group`. They check and write exactly as the setup program's
// sheet does, through the same core.

#include <string>
#include <vector>

// Each runs "dorvale <command> <args...>" (args after the command's name) and returns the
// exit status.
int ConfigCommand(const std::vector<std::string>& args);
int AreaCommand(const std::vector<std::string>& args);
int GroupCommand(const std::vector<std::string>& args);
