#pragma once
// Running the index service in the background: started from its own program in a session of
// its own, known by its pid file in the index directory, recorded as the service DorvaleIndex
// (ImagePath, PidFile, ProcessName, and Listen, where dorvale-serve has nginx pass
// /dorvaleindex/ to).

#include "IndexService.h"

#include <string>

inline constexpr char INDEX_PID_FILE[] = "dorvale-index.pid";
inline constexpr char INDEX_LOG_FILE[] = "dorvale-index.log";
inline constexpr char INDEX_PROCESS_NAME[] = "dorvale-index";

// The pid of the service running from `indexDir`, or 0.
long RunningIndexService(const std::string& indexDir);

// Runs the service in this process until SIGTERM or SIGINT: writes the pid file, indexes,
// answers. False with the reason when it cannot listen.
bool RunIndexService(const CIndexServiceOptions& options, std::string& error);

// Starts `program` ("run" with the options) in the background, waits until it answers and
// records the service. A copy already running from the directory is stopped first.
bool StartIndexService(const std::string& program, const CIndexServiceOptions& options,
                       std::string& error);
// Stops the copy running from `indexDir` and waits for it to end; true also when none ran.
bool StopIndexService(const std::string& indexDir, std::string& error);
