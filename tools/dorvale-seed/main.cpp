// dorvale-seed: fills an empty library with made-up groups, areas and files.
#include "SampleLibrary.h"
#include "SeedWriters.h"
#include "Tool.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char USAGE[] =
    "Usage: dorvale-seed --dir DIR [options]\n"
    "\n"
    "Fills an empty Dorvale library with a made-up sample: file groups, file areas and\n"
    "files with descriptions, versions, dates, download counts and download locations.\n"
    "Some areas are hosted locally (their files are real small zip archives below\n"
    "DIR/files, reached through local:// locations and an HTTP alias /downloads/<area>);\n"
    "the others list files on web mirrors. The same --seed gives the same library.\n"
    "\n"
    "It writes the areas (filearea.dat) and group files into DIR/db, the catalogue rows\n"
    "through the data source, and the settings DatabasePath (DIR/db) and HttpPath\n"
    "(DIR/site) into the registry ($DORVALE_REGISTRY when set).\n"
    "\n"
    "Options:\n"
    "  --dir DIR            the library's directory (created when missing)\n"
    "  --files N            number of files (default 100000)\n"
    "  --groups G           number of file groups (default 10)\n"
    "  --areas A            number of file areas (default 50)\n"
    "  --local-areas L      how many areas are hosted locally (default one in five)\n"
    "  --empty-areas E      leave the last E areas without files (default 0)\n"
    "  --seed S             the seed of the made-up data (default 1)\n"
    "  --data-source NAME   the catalogue's ODBC data source (default Dorvale); it must\n"
    "                       have the catalogue's tables (dorvale-dsn create ... --tables)\n"
    "  --http-server URL    also set HttpServer (the site's address, may be empty)\n"
    "  --ftp-server URL     also set FtpServer, and give local areas an FTP alias /pub/<area>\n"
    "  --install-dir DIR    also set InstallDir (where the templates are)\n"
    "  --awkward            add files whose texts try the site's escaping: markup, quotes,\n"
    "                       ampersands, non-English text, a very long title, and a group\n"
    "                       named with & ' < >\n"
    "  --if-empty           when the library holds areas, groups or files already, do\n"
    "                       nothing and succeed (otherwise that is an error)\n"
    "  --quiet              print nothing but errors\n"
    "  --help               show this text\n"
    "\n"
    "Exit status: 0 done (or nothing to do with --if-empty), 1 failed, 2 wrong usage.\n";

struct COptions {
    CSampleOptions sample;
    std::string dir;
    std::string dataSource = "Dorvale";
    CSeedSettings settings;
    bool ifEmpty = false;
    bool quiet = false;
};

const tool::CTool TOOL("dorvale-seed", USAGE);

int Usage(const std::string& problem) {
    return TOOL.UsageError(problem);
}

int Fail(const std::string& problem) {
    return TOOL.Fail(problem);
}

// Returns -1 when the options are good, else the exit status.
int Parse(tool::CArgs& args, COptions& options) {
    while (args.Next()) {
        long long n = 0;
        std::string text;
        auto number = [&](long long min, long long max) { return args.TakeNumber(n, min, max); };
        if (args.Is("--dir")) {
            if (!args.TakeValue(options.dir)) {
                return Usage("--dir needs a directory");
            }
        } else if (args.Is("--files")) {
            if (!number(0, 10000000)) {
                return Usage("--files needs a number from 0 to 10000000");
            }
            options.sample.files = n;
        } else if (args.Is("--groups")) {
            if (!number(1, 1000)) {
                return Usage("--groups needs a number from 1 to 1000");
            }
            options.sample.groups = static_cast<int>(n);
        } else if (args.Is("--areas")) {
            if (!number(1, 10000)) {
                return Usage("--areas needs a number from 1 to 10000");
            }
            options.sample.areas = static_cast<int>(n);
        } else if (args.Is("--local-areas")) {
            if (!number(0, 10000)) {
                return Usage("--local-areas needs a number from 0 to 10000");
            }
            options.sample.localAreas = static_cast<int>(n);
        } else if (args.Is("--empty-areas")) {
            if (!number(0, 10000)) {
                return Usage("--empty-areas needs a number from 0 to 10000");
            }
            options.sample.emptyAreas = static_cast<int>(n);
        } else if (args.Is("--seed")) {
            if (!number(0, 999999999999999999LL)) {
                return Usage("--seed needs a whole number");
            }
            options.sample.seed = static_cast<std::uint64_t>(n);
        } else if (args.Is("--data-source")) {
            if (!args.TakeValue(options.dataSource)) {
                return Usage("--data-source needs a data source name");
            }
        } else if (args.Is("--http-server")) {
            if (!args.TakeValue(text, true)) {
                return Usage("--http-server needs an address (it may be empty)");
            }
            options.settings.httpServer = text;
        } else if (args.Is("--ftp-server")) {
            if (!args.TakeValue(text, true)) {
                return Usage("--ftp-server needs an address");
            }
            options.settings.ftpServer = text;
            options.sample.ftpAliases = !text.empty();
        } else if (args.Is("--install-dir")) {
            std::error_code ec;
            if (!args.TakeValue(text)) {
                return Usage("--install-dir needs a directory");
            }
            const std::filesystem::path absolute = std::filesystem::absolute(text, ec);
            if (ec) {
                return Fail("cannot resolve " + text + ": " + ec.message());
            }
            options.settings.installDir = absolute.lexically_normal();
        } else if (args.Is("--awkward") && args.NoValue()) {
            options.sample.awkward = true;
        } else if (args.Is("--if-empty") && args.NoValue()) {
            options.ifEmpty = true;
        } else if (args.Is("--quiet") && args.NoValue()) {
            options.quiet = true;
        } else {
            return Usage(args.Unexpected());
        }
    }
    if (options.dir.empty()) {
        return Usage("--dir DIR is required");
    }
    if (options.sample.emptyAreas >= options.sample.areas) {
        return Usage("--empty-areas must leave at least one area with files");
    }
    if (options.sample.localAreas > options.sample.areas) {
        return Usage("--local-areas cannot be more than --areas");
    }
    return -1;
}

int Seed(COptions& options) {
    std::error_code ec;
    std::filesystem::path dir = std::filesystem::absolute(options.dir, ec).lexically_normal();
    if (!ec) {
        std::filesystem::create_directories(dir, ec);
    }
    if (!ec && !std::filesystem::is_directory(dir, ec)) {
        ec = std::make_error_code(std::errc::not_a_directory);
    }
    if (ec) {
        return Fail("cannot create the directory " + dir.string() + ": " + ec.message());
    }
    const std::string databasePath = (dir / "db").string();
    options.sample.directory = dir.string();
    options.settings.databasePath = databasePath;
    options.settings.httpPath = (dir / "site").string();
    std::string error;

    CSeedCatalogue catalogue;
    long long existingFiles = 0;
    if (!catalogue.Open(options.dataSource, (dir / "dorvale-seed.log").string(), error) ||
        !catalogue.CountFiles(existingFiles, error)) {
        return Fail(error);
    }
    CStoreContents store;
    if (!ReadStoreContents(databasePath, store, error)) {
        return Fail(error);
    }
    if (existingFiles > 0 || store.areas > 0 || store.groups > 0 || !store.fresh) {
        std::string what = std::to_string(store.areas) + " areas, " + std::to_string(store.groups) +
                           " groups and " + std::to_string(existingFiles) + " files";
        if (options.ifEmpty) {
            if (!options.quiet) {
                std::printf("The library in %s holds %s already; nothing done.\n", dir.c_str(),
                            what.c_str());
            }
            return 0;
        }
        if (store.areas == 0 && !store.fresh) {
            what += " (and its area store has held areas before)";
        }
        return Fail("the library is not empty: " + what +
                    ". Seed a new directory and an empty catalogue, or use --if-empty.");
    }

    CSampleLibrary library(options.sample);
    if (!WriteAreaStore(library, databasePath, error)) {
        RemoveAreaStore(library, databasePath);
        return Fail(error);
    }
    std::vector<std::string> written;
    auto undo = [&]() {
        catalogue.Rollback();
        RemoveAreaStore(library, databasePath);
        for (const std::string& path : written) {
            std::filesystem::remove(path, ec);
        }
    };
    if (!catalogue.Begin(error)) {
        undo();
        return Fail(error);
    }
    const long long total = library.GetFileCount();
    CSampleFile file;
    long long added = 0;
    long long local = 0;
    while (library.NextFile(file)) {
        if (!file.localName.empty()) {
            const CSampleArea& area = library.GetAreas()[file.areas.front() - 1];
            if (!WriteLocalFile(area, file, error)) {
                undo();
                return Fail(error);
            }
            written.push_back(area.path + "/" + file.localName);
            ++local;
        }
        long long id = 0;
        if (!catalogue.Add(file, id, error)) {
            undo();
            return Fail(error);
        }
        ++added;
        if (!options.quiet && total >= 10000 && added % 10000 == 0) {
            TOOL.Report(std::to_string(added) + " of " + std::to_string(total) + " files");
        }
    }
    if (!catalogue.Commit(error)) {
        undo();
        return Fail(error);
    }
    if (!WriteSeedSettings(options.settings, error)) {
        return Fail(error + "; the library itself was written");
    }
    if (!options.quiet) {
        std::printf("Seeded %lld files (%lld of them local archives) in %zu groups and %zu "
                    "areas (%d hosted locally) into %s\n",
                    added, local, library.GetGroups().size(), library.GetAreas().size(),
                    library.GetLocalAreaCount(), dir.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return TOOL.Help();
    }
    COptions options;
    const int parsed = Parse(args, options);
    if (parsed >= 0) {
        return parsed;
    }
    return Seed(options);
}
