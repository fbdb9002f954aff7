#pragma once
// What dorvale-serve does with the settings: reads them, copies the templates and assets into
// place, and starts and stops nginx. Plain types here; the registry and the area store are
// read in ServeSettings.cpp.

#include "NginxConfig.h"
#include "Settings.h"

#include <cstddef>
#include <limits>
#include <string>
#include <sys/types.h>
#include <vector>

struct CServeSettings {
    std::string httpPath;   // HttpPath, without a trailing '/'
    std::string installDir; // InstallDir, without a trailing '/'
    std::vector<CServedAlias> aliases;
    std::vector<std::string> warnings; // areas that cannot be published, and why
    unsigned uploadLimitMiB = settings::UPLOAD_LIMIT_DEFAULT_MIB; // the largest HTTP upload
};

// Reads HttpPath, InstallDir and the locally hosted areas with an HTTP alias from the
// settings and the file-area store of DatabasePath (which is not created when absent). A store
// held by the setup program gives no areas and a warning.
[[nodiscard]] bool ReadServeSettings(CServeSettings& settings, std::string& error);

// Copies every *.tmpl of `templatesDir` into InstallDir/templates and everything in its
// assets/ directory into HttpPath/assets. `copied` counts the files.
[[nodiscard]] bool InstallSiteFiles(const std::string& templatesDir, const CServeSettings& settings,
                                    int& copied, std::string& error);

// ---- nginx ----

// The nginx program: `preferred` when given, else "nginx" on PATH, else /usr/sbin/nginx.
std::string FindNginx(const std::string& preferred);

// The pid of the nginx master serving from `runDir`, or 0 when none runs.
long RunningNginx(const std::string& runDir);

// Creates runDir (and its temp/) and writes runDir/nginx.conf.
[[nodiscard]] bool WriteNginxConfig(const CNginxSite& site, std::string& error);

// The address and port in runDir/nginx.conf ("127.0.0.1:8080"); empty when there is none.
std::string ServedAddress(const std::string& runDir);

// Writes runDir/nginx.conf, has nginx check it, starts nginx and waits until it accepts
// connections on the address and port. A copy already serving from runDir is stopped first.
[[nodiscard]] bool StartNginx(const std::string& nginx, const CNginxSite& site, std::string& error);

// Stops the nginx serving from runDir and waits for it to go; true also when none ran.
[[nodiscard]] bool StopNginx(const std::string& runDir, std::string& error);

// Whether something accepts TCP connections at the IPv4 address and port.
bool AcceptsConnections(const std::string& address, int port);

// ---- the visitors' service (dorvale-web) ----

// The dorvale-web program: `preferred` when given, else the one beside this program, else
// "dorvale-web" on PATH; empty when there is none.
std::string FindVisitorService(const std::string& preferred);

// The pid of the dorvale-web serving from `runDir`, or 0 when none runs.
long RunningVisitorService(const std::string& runDir);

// Starts dorvale-web in the background on runDir/dorvale-web.sock (a copy already running
// from runDir is stopped first, writing its counts) and waits until it listens. Its output
// goes to runDir/dorvale-web.log.
bool StartVisitorService(const std::string& program, const std::string& runDir, int threads,
                         std::string& error);

// Stops the dorvale-web serving from runDir and waits until it has written its download
// counts and gone; true also when none ran.
bool StopVisitorService(const std::string& runDir, std::string& error);

// The service's socket in runDir.
std::string VisitorServiceSocket(const std::string& runDir);

// ---- daemons started from runDir ----

// Starts argv[0] (a path) with standard input from /dev/null and its output and errors into
// `outputFile` (appended to or replaced), in a session of its own when asked, so that it
// outlives this program and a terminal's hang-up. The child's pid, or -1.
pid_t SpawnWithOutput(const std::vector<std::string>& argv, const std::string& outputFile,
                      bool append, bool newSession);

// Sends SIGTERM and waits up to `seconds` for the process to go.
bool StopProgram(long pid, const std::string& name, int seconds, std::string& error);
// What a server said at its start, read whole into an error message.
inline constexpr std::size_t WHOLE_FILE = std::numeric_limits<std::size_t>::max();
