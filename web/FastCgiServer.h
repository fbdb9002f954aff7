#pragma once
// dorvale-web's FastCGI front end: worker threads take requests from nginx over a socket,
// hand them to the service and send its answers; a flusher thread writes download counts.
// SIGTERM or SIGINT stops taking requests, lets those under way finish (for a few seconds),
// writes the last counts and returns.

#include "VisitorService.h"

#include <chrono>
#include <string>

struct CFastCgiOptions {
    std::string socket; // a Unix socket path, or ":PORT" / "HOST:PORT"
    int threads = 8;
    std::chrono::milliseconds flushInterval{2000};
    std::string pidFile; // written once serving, removed at the end
};

// Serves until a stop signal; false with the reason when it could not start.
bool RunFastCgiServer(CVisitorService& service, const CFastCgiOptions& options, std::string& error);
