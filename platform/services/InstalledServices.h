#pragma once
// Services that an installation adds: a program of its own run as a service. Each has the key
// every service has (see Services.h) and, beside the control values, what was asked of it:
//
//   Program          the service's command line (the program and its arguments)
//   DisplayName, Type, Start, ErrorControl, Group, DependOnService, ObjectName (the account)
//   InstalledBy      who made it (the installation's removal record), so a removal touches
//                    only services it made
//
// Where systemd runs and the caller is root, the service is a systemd unit
// ("dorvale-<name>.service" in /etc/systemd/system, or $DORVALE_SYSTEMD_DIR) enabled when it
// starts automatically. Otherwise it is a process of our own: "dorvale-service start NAME"
// starts the program in a session of its own, its output in a log file, and tracks it by its
// pid file in ServiceRunDirectory(); stopping sends it SIGTERM.
//
// Commands are argument vectors throughout; nothing passes through a shell.

#include <string>
#include <vector>

namespace services {

// Start types, as the service control manager numbers them.
constexpr unsigned SERVICE_START_AUTO = 2;
constexpr unsigned SERVICE_START_DEMAND = 3;
constexpr unsigned SERVICE_START_DISABLED = 4;

struct CServiceDefinition {
    std::string displayName;
    std::string commandLine; // the program and its arguments, quoted as a shell would
    std::string account;     // empty: the system's own (root)
    unsigned serviceType = 0x10;
    unsigned startType = SERVICE_START_DEMAND;
    unsigned errorControl = 1;
    std::string group;
    std::vector<std::string> dependencies;
    std::string installedBy;
};

// Whether services become systemd units here: root, systemd running, systemctl found.
bool UsesSystemd();

// Where pid and log files of our own services are kept: <registry directory>/run when
// $DORVALE_REGISTRY is set, else /run/dorvale as root, else $XDG_RUNTIME_DIR/dorvale.
std::string ServiceRunDirectory();

// The program that starts our own services (dorvale-service beside the running program, else
// on PATH).
std::string ServiceHostProgram();

// Makes the service, replacing one of that name (stopped and deleted first). False with the
// reason; nothing is left behind then.
bool CreateService(const std::string& name, const CServiceDefinition& definition,
                   std::string& error);
// Reads what CreateService stored; false when the service is not one of these.
bool ReadServiceDefinition(const std::string& name, CServiceDefinition& definition);

// Stops the service when it runs, waits at most `timeoutMs` for it to end, then removes its
// unit or files and its key. False with the reason (a service that would not stop is kept).
bool DeleteService(const std::string& name, std::string& error, int timeoutMs = 20000);

// What "dorvale-service start NAME" does for a service that is not a unit: starts its
// program (as its account when root) and writes the pid file. False with the reason, among
// others when the program ended at once.
bool StartOwnService(const std::string& name, std::string& error);

} // namespace services
