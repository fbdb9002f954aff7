// dorvale-seed: makes a sample catalogue for trying the site and measuring the generator.

#include "Seed.h"
#include "Settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kHelp =
    "Usage: dorvale-seed [options]\n"
    "\n"
    "Makes a sample catalogue: file areas and groups in the file-area store of DatabasePath,\n"
    "and files with their areas and download locations in the data source \"Dorvale\".\n"
    "Each file is in one or two areas and has one or two download locations.\n"
    "\n"
    "  --files N           files to add (default 100000)\n"
    "  --areas N           file areas (default 50)\n"
    "  --groups N          file groups, sharing the areas out (default 10)\n"
    "  --data-source NAME  the catalogue's ODBC data source (default Dorvale)\n"
    "  --database-path DIR the store's directory (default: the DatabasePath setting)\n"
    "  --local-path DIR    below it each area's own directory (default: the store's)\n"
    "  --seed N            the same numbers give the same catalogue (default 1998)\n"
    "  --replace           drop the catalogue tables and the store's areas and groups first\n"
    "  --help              show this text\n"
    "\n"
    "Without --replace an existing catalogue with files, or a store with areas, is left\n"
    "alone and the command fails.\n";

bool ParseNumber(const char* text, long low, long high, long& value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (!text[0] || *end || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    CSeedOptions options;
    bool pathGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        auto needs = [&](bool ok) {
            if (!ok) {
                std::fprintf(stderr, "dorvale-seed: bad or missing value for %s\n", option.c_str());
                std::exit(2);
            }
            ++i;
        };
        if (option == "--help" || option == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (option == "--files") {
            needs(value && ParseNumber(value, 0, 100'000'000, number));
            options.files = number;
        } else if (option == "--areas") {
            needs(value && ParseNumber(value, 1, 10000, number));
            options.areas = static_cast<int>(number);
        } else if (option == "--groups") {
            needs(value && ParseNumber(value, 0, 10000, number));
            options.groups = static_cast<int>(number);
        } else if (option == "--seed") {
            needs(value && ParseNumber(value, 0, 2147483647, number));
            options.seed = static_cast<std::uint32_t>(number);
        } else if (option == "--data-source") {
            needs(value && *value);
            options.dataSource = value;
        } else if (option == "--database-path") {
            needs(value != nullptr);
            options.databasePath = value;
            pathGiven = true;
        } else if (option == "--local-path") {
            needs(value != nullptr);
            options.localPath = value;
        } else if (option == "--replace") {
            options.replace = true;
        } else {
            std::fprintf(stderr, "dorvale-seed: unknown option %s\nTry 'dorvale-seed --help'.\n",
                         option.c_str());
            return 2;
        }
    }
    if (!pathGiven) {
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                         options.databasePath);
    }
    std::string error;
    if (!SeedAreas(options, error)) {
        std::fprintf(stderr, "dorvale-seed: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "%d areas in %d groups written to %s\n", options.areas, options.groups,
                 options.databasePath.empty() ? "." : options.databasePath.c_str());
    if (!SeedCatalogue(options, error, [](long n) { std::fprintf(stderr, "%ld files\n", n); })) {
        std::fprintf(stderr, "dorvale-seed: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
