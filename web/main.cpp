// dorvale-web: the visitors' service behind nginx (reviews, uploads, file submissions,
// download counts), spoken to over FastCGI.
#include "FastCgiServer.h"
#include "Tool.h"
#include "VisitorService.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr long long MAX_THREADS = 64;

const char USAGE[] =
    "Usage: dorvale-web --socket PATH|HOST:PORT [--threads N] [--flush-seconds N]\n"
    "                   [--pid-file FILE] [--data-source NAME] [--database-log FILE]\n"
    "\n"
    "The visitors' service of a Dorvale site, which nginx reaches over FastCGI at\n"
    "/dorvale/do/: reviews written on a file's page (appended to\n"
    "HttpPath/reviews/submissions.txt for the administrator), the published reviews the\n"
    "pages include, HTTP uploads into the areas that take them (AllowUploads 1 or 3),\n"
    "the \"Submit a file\" form mailed to AdminEmail, and download links, which are\n"
    "counted and redirected to the file's location.\n"
    "\n"
    "dorvale-serve start runs it beside nginx; run it by hand for a site laid out\n"
    "otherwise. It keeps no state but the download counts not yet written, so several\n"
    "copies may serve one site from one PostgreSQL catalogue.\n"
    "\n"
    "Options:\n"
    "  --socket PATH|HOST:PORT  where nginx connects: a Unix socket, or a TCP address\n"
    "                           (\":9000\" listens on every address)\n"
    "  --threads N              requests served at once (1 to 64, default 8)\n"
    "  --flush-seconds N        download counts are written every N seconds and when\n"
    "                           the service stops (default 2); a crash loses at most\n"
    "                           the counts of that interval\n"
    "  --pid-file FILE          write the process id there while serving\n"
    "  --data-source NAME       the catalogue's ODBC data source (default Dorvale)\n"
    "  --database-log FILE      append the catalogue's errors to FILE\n"
    "  --help                   show this text\n"
    "\n"
    "Settings come from the registry ($DORVALE_REGISTRY when set) when the service\n"
    "starts: HttpPath, HttpServer, AdminEmail, DatabasePath, AllowUploads, BadPath,\n"
    "Overwrite, FreeSpaceThreshold, and UploadLimit (the largest upload in MiB,\n"
    "64 when not set). SIGTERM stops it.\n"
    "Exit status: 0 stopped by a signal, 1 could not start, 2 wrong usage.\n";

} // namespace

int main(int argc, char** argv) {
    tool::CTool tool("dorvale-web", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    CFastCgiOptions options;
    std::string dataSource;
    std::string databaseLog;
    while (args.Next()) {
        long long number = 0;
        if (args.Is("--socket")) {
            if (!args.TakeValue(options.socket)) {
                return tool.UsageError("--socket needs a path or an address");
            }
        } else if (args.Is("--threads")) {
            // libfcgi waits on new connections with select(), which cannot watch a descriptor
            // beyond 1023: each thread holds a few (its connection, the catalogue's, an
            // upload's), so their number stays well below that.
            if (!args.TakeNumber(number, 1, MAX_THREADS)) {
                return tool.UsageError("--threads needs a number from 1 to " +
                                       std::to_string(MAX_THREADS));
            }
            options.threads = static_cast<int>(number);
        } else if (args.Is("--flush-seconds")) {
            if (!args.TakeNumber(number, 1, 3600)) {
                return tool.UsageError("--flush-seconds needs a number from 1 to 3600");
            }
            options.flushInterval = std::chrono::seconds(number);
        } else if (args.Is("--pid-file")) {
            if (!args.TakeValue(options.pidFile)) {
                return tool.UsageError("--pid-file needs a file");
            }
        } else if (args.Is("--data-source")) {
            if (!args.TakeValue(dataSource)) {
                return tool.UsageError("--data-source needs a name");
            }
        } else if (args.Is("--database-log")) {
            if (!args.TakeValue(databaseLog)) {
                return tool.UsageError("--database-log needs a file");
            }
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    if (options.socket.empty()) {
        return tool.UsageError("--socket is required");
    }
    CVisitorSettings settings;
    std::string error;
    if (!ReadVisitorSettings(settings, error)) {
        return tool.Fail(error);
    }
    if (!dataSource.empty()) {
        settings.dataSourceName = dataSource;
    }
    settings.databaseLog = databaseLog;
    CVisitorService service(settings);
    const int removed = RemoveUnfinishedUploads(*service.Areas().Current());
    if (removed > 0) {
        tool.Warn("removed " + std::to_string(removed) + " unfinished uploads");
    }
    if (!RunFastCgiServer(service, options, error)) {
        return tool.Fail(error);
    }
    // Worker threads may still sit on kept-alive connections: leave without tearing down
    // what they use. The counts are written by now.
    std::fflush(nullptr);
    _exit(tool::EXIT_DONE);
}
