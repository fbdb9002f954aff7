// dorvale-uninstall: removes what dorvale-install recorded, as the uninstall program did.
#include "Installation.h"
#include "Tool.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

const char USAGE[] =
    "Usage: dorvale-uninstall [--prefix DIR] [--purge]\n"
    "       dorvale-uninstall -c FILE [--purge]\n"
    "\n"
    "Removes the Dorvale installed in DIR by dorvale-install, from its record\n"
    "DIR/_UNINST.INI (with -c, the record beside FILE, found the way the uninstall program\n"
    "passed it): the virtual directory and its application, the services it made, the\n"
    "automation classes it registered, the data source \"Dorvale\" it made, the settings,\n"
    "templates and assets, the server instances it made, and DIR itself when nothing else\n"
    "is in it. The catalogue (its SQLite file or its PostgreSQL tables) stays unless\n"
    "--purge is given. Only what the installation made is removed: an entry of the record\n"
    "that names something outside DIR, or a data source or service the installation did\n"
    "not make, is reported and left alone.\n"
    "\n"
    "Options:\n"
    "  --prefix DIR   the installation (default /srv/dorvale)\n"
    "  -c FILE        the installation of the directory FILE is in\n"
    "  --purge        also drop the catalogue's tables and delete its file\n"
    "  --help         show this text\n"
    "\n"
    "Exit status: 0 removed, 1 something was left (said on standard error; the record is\n"
    "kept for another try) or nothing is installed there, 2 wrong usage.\n";

} // namespace

int main(int argc, char** argv) {
    tool::CTool tool("dorvale-uninstall", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    std::string prefix = "/srv/dorvale";
    std::string named;
    bool purge = false;
    while (args.Next()) {
        if (args.Is("--prefix")) {
            if (!args.TakeValue(prefix)) {
                return tool.UsageError("--prefix needs a directory");
            }
        } else if (args.Is("-c")) {
            if (!args.TakeValue(named)) {
                return tool.UsageError("-c needs a file");
            }
        } else if (args.Is("--purge") && args.NoValue()) {
            purge = true;
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    std::error_code ec;
    const std::string record =
        named.empty() ? installation::RecordFileOf(prefix)
                      : installation::RecordFileOf(
                            std::filesystem::absolute(named, ec).parent_path().string());
    std::string error;
    const bool done = installation::Uninstall(
        record, purge, !named.empty(), [&tool](const std::string& line) { tool.Report(line); },
        error);
    if (!done) {
        return tool.Fail(error);
    }
    std::printf("dorvale-uninstall: removed the installation of %s\n",
                std::filesystem::path(record).parent_path().c_str());
    return tool::EXIT_DONE;
}
