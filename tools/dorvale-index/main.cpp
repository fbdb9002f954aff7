// dorvale-index: the index server behind the site's search and its administration pages.
#include "IndexDaemon.h"
#include "Settings.h"
#include "Tool.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const char USAGE[] =
    "Usage: dorvale-index run|start [--dir DIR] [--port N] [--address ADDR] [--rescan SECONDS]\n"
    "       dorvale-index stop|status|reindex [--dir DIR]\n"
    "\n"
    "The index server of the site's search: a Xapian index of the files of the web virtual\n"
    "roots to be indexed, and a small HTTP service that nginx passes /dorvaleindex/ to:\n"
    "  /dorvaleindex/listvirtualroots.idq  the virtual roots it knows (vroot= and path= lines)\n"
    "  /dorvaleindex/admin.ida             Dorvale Setup's update: the roots to index (a form\n"
    "                                      of PROOT_root=path and INDEX_root= fields)\n"
    "  /dorvaleindex/QueryHit.idq?q=WORDS  the search page, within the scope of the query\n"
    "                                      file InstallDir/Web/QueryHit.idq (CiScope=)\n"
    "A root is indexed when the metabase marks it content-indexed or the last update asked\n"
    "for it, and only where the web server publishes it for reading. Files are found by the\n"
    "words of their names and of their text; dotfiles, *.desc files and symbolic links are\n"
    "left out as the web server leaves them out. The roots are indexed again every --rescan\n"
    "seconds, and at once when an update or the metabase changes them.\n"
    "\n"
    "Commands:\n"
    "  run      serve in the foreground until interrupted\n"
    "  start    serve in the background (log in DIR/dorvale-index.log) and record the service\n"
    "           DorvaleIndex, whose address dorvale-serve gives nginx: start this first, or\n"
    "           run dorvale-serve reload after it\n"
    "  stop     stop the service serving from DIR\n"
    "  status   tell whether it serves from DIR\n"
    "  reindex  index the roots now, in this process (the service must not be running)\n"
    "\n"
    "Options:\n"
    "  --dir DIR         the index's directory (default: InstallDir/index)\n"
    "  --port N          the port to answer on (default 8090)\n"
    "  --address ADDR    the IPv4 address to answer on (default 127.0.0.1)\n"
    "  --rescan SECONDS  how often the roots are indexed again (default 300)\n"
    "  --help            show this text\n"
    "\n"
    "Settings come from the registry ($DORVALE_REGISTRY when set).\n"
    "Exit status: 0 done (status: it serves), 1 failed (status: it does not), 2 wrong usage.\n";

constexpr long DEFAULT_PORT = 8090;

std::string SelfPath() {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return length > 0 ? std::string(self, static_cast<std::size_t>(length)) : "dorvale-index";
}

} // namespace

int main(int argc, char** argv) {
    const tool::CTool tool("dorvale-index", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    std::string command;
    CIndexServiceOptions options;
    long long number = 0;
    bool portGiven = false;
    while (args.Next()) {
        if (args.IsPositional() && command.empty()) {
            command = args.Current();
        } else if (args.Is("--dir")) {
            if (!args.TakeValue(options.indexDir)) {
                return tool.UsageError("--dir needs a directory");
            }
        } else if (args.Is("--port")) {
            if (!args.TakeNumber(number, 1, 65535)) {
                return tool.UsageError("--port needs a number from 1 to 65535");
            }
            options.port = static_cast<int>(number);
            portGiven = true;
        } else if (args.Is("--address")) {
            if (!args.TakeValue(options.address)) {
                return tool.UsageError("--address needs an IPv4 address such as 127.0.0.1");
            }
        } else if (args.Is("--rescan")) {
            if (!args.TakeNumber(number, 1, 86400)) {
                return tool.UsageError("--rescan needs a number of seconds from 1 to 86400");
            }
            options.rescanSeconds = static_cast<int>(number);
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    if (command.empty()) {
        return tool.UsageError("no command given");
    }
    if (command != "run" && command != "start" && command != "stop" && command != "status" &&
        command != "reindex") {
        return tool.UsageError("unknown command \"" + command + "\"");
    }
    if (!portGiven) {
        options.port = static_cast<int>(DEFAULT_PORT);
    }
    if (options.indexDir.empty()) {
        std::string installDir;
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::InstallDir,
                         installDir);
        if (installDir.empty()) {
            return tool.UsageError("give --dir DIR (InstallDir, whose index/ directory is the "
                                   "default, is not set)");
        }
        options.indexDir = installDir + "/index";
    }
    options.indexDir = std::filesystem::absolute(options.indexDir).lexically_normal().string();
    while (options.indexDir.size() > 1 && options.indexDir.back() == '/') {
        options.indexDir.pop_back();
    }

    std::string error;
    if (command == "run") {
        return RunIndexService(options, error) ? tool::EXIT_DONE : tool.Fail(error);
    }
    if (command == "start") {
        if (!StartIndexService(SelfPath(), options, error)) {
            return tool.Fail(error);
        }
        std::printf("The index server answers at http://%s:%d/dorvaleindex/ (pid %ld, index in "
                    "%s)\n",
                    options.address.c_str(), options.port, RunningIndexService(options.indexDir),
                    options.indexDir.c_str());
        return tool::EXIT_DONE;
    }
    if (command == "stop") {
        const long pid = RunningIndexService(options.indexDir);
        if (!StopIndexService(options.indexDir, error)) {
            return tool.Fail(error);
        }
        if (pid != 0) {
            std::printf("Stopped the index server %ld\n", pid);
        } else {
            std::printf("The index server was not serving from %s\n", options.indexDir.c_str());
        }
        return tool::EXIT_DONE;
    }
    if (command == "status") {
        const long pid = RunningIndexService(options.indexDir);
        if (pid == 0) {
            std::printf("The index server does not serve from %s\n", options.indexDir.c_str());
            return tool::EXIT_FAILED;
        }
        std::printf("The index server %ld serves from %s\n", pid, options.indexDir.c_str());
        return tool::EXIT_DONE;
    }
    if (RunningIndexService(options.indexDir) != 0) {
        return tool.Fail("the index server runs from " + options.indexDir +
                         "; it indexes by itself (or post an update)");
    }
    CIndexService service(options);
    if (!service.Reindex(error)) {
        return tool.Fail(error);
    }
    std::printf("%s\n", error.c_str());
    return tool::EXIT_DONE;
}
