#pragma once
// The web and FTP services as the system controls them. Each service has a key under
// HKLM\System\CurrentControlSet\Services\<name> of the registry, written by whoever runs it:
//
//   ImagePath    the command line that controls it; the control word (start, stop, reload)
//                is put after its first word: "/usr/bin/dorvale-serve --service web ..."
//   PidFile      the pid file of its main process while it runs, and ProcessName, that
//                process's name (a pid file left behind by a process that has gone, or whose
//                number was given to another program, does not count as running)
//   SystemdUnit  instead of both: a systemd unit, asked and driven through systemctl
//
// A service runs while that process lives (or the unit is active). Stopping sends SIGTERM to
// it (systemctl stop for a unit); starting and reloading run the command line and wait for it.

#include <string>

namespace services {

struct CServiceConfig {
    std::string imagePath;
    std::string pidFile;
    std::string processName;
    std::string systemdUnit;
};

// The key of a service, below HKEY_LOCAL_MACHINE.
std::string ServiceKey(const std::string& name);

// Writes the service's key; false with the reason.
bool RegisterService(const std::string& name, const CServiceConfig& config, std::string& error);
// False when the service has no key or neither a pid file nor a unit.
bool ReadServiceConfig(const std::string& name, CServiceConfig& config);

// Whether the service runs now; false in `known` when it is not configured or cannot be
// asked.
bool IsServiceRunning(const std::string& name, bool* known = nullptr);
// The pid of its main process, 0 when none runs (always 0 for a unit).
long ServicePid(const std::string& name);

// Starts it: runs "<ImagePath> start" (or "systemctl start UNIT") and waits for its end, at
// most `timeoutMs`. False with what the program said.
bool StartService(const std::string& name, std::string& error, int timeoutMs = 60000);
// Sends the stop request; true when it was accepted (the service then stops on its own).
bool StopService(const std::string& name, std::string& error);
// Has a running service take its configuration again: runs "<ImagePath> reload" (or
// "systemctl reload UNIT"). False with what the program said when it refused the new
// configuration; the running one then keeps serving.
bool ReloadService(const std::string& name, std::string& error, int timeoutMs = 60000);
// Stops the service when it runs and the request is accepted, asks for its state every
// 100 milliseconds until it has stopped (or the query fails), then starts it: the start's
// result. False when it did not run.
bool RestartService(const std::string& name, std::string& error);

} // namespace services
