// dorvale-service: starts and stops the services an installation made, where they are
// processes of Dorvale's own rather than systemd units. A service's key names this program
// as its control command, so "start", "stop" and "status" arrive with the service's name.
#include "InstalledServices.h"
#include "Services.h"
#include "Tool.h"

#include <cstdio>
#include <string>

namespace {

const char USAGE[] =
    "Usage: dorvale-service start|stop|status NAME\n"
    "\n"
    "Controls a service that dorvale-install made (its key is\n"
    "HKLM\\System\\CurrentControlSet\\Services\\NAME in the registry). Where systemd runs and\n"
    "the installation ran as root the service is a systemd unit and systemctl controls it;\n"
    "otherwise this program starts the service's program in a session of its own, its output\n"
    "in NAME.log and its pid in NAME.pid in the run directory, and stops it with SIGTERM.\n"
    "\n"
    "Commands:\n"
    "  start    start the service unless it runs\n"
    "  stop     ask it to stop\n"
    "  status   say whether it runs (exit 0 when it does, 1 when not)\n"
    "\n"
    "Options:\n"
    "  --help   show this text\n"
    "\n"
    "Exit status: 0 done, 1 failed (status: it does not run), 2 wrong usage.\n";

} // namespace

int main(int argc, char** argv) {
    tool::CTool tool("dorvale-service", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    std::vector<std::string> words;
    while (args.Next()) {
        if (!args.IsPositional()) {
            return tool.UsageError(args.Unexpected());
        }
        words.push_back(args.Current());
    }
    if (words.size() != 2) {
        return tool.UsageError("give a command and a service name");
    }
    const std::string& command = words[0];
    const std::string& name = words[1];
    std::string error;
    if (command == "start") {
        return services::StartOwnService(name, error) ? tool::EXIT_DONE : tool.Fail(error);
    }
    if (command == "stop") {
        return services::StopService(name, error) ? tool::EXIT_DONE : tool.Fail(error);
    }
    if (command == "status") {
        const bool running = services::IsServiceRunning(name);
        std::printf("%s %s\n", name.c_str(), running ? "runs" : "does not run");
        return running ? tool::EXIT_DONE : tool::EXIT_FAILED;
    }
    return tool.UsageError("unknown command \"" + command + "\"");
}
