#pragma once
// A sample catalogue for demonstrations and benchmarks: file areas and groups in the
// file-area store, files with their areas and download locations in the catalogue.

#include <cstdint>
#include <functional>
#include <string>

struct CSeedOptions {
    long files = 100000;
    int groups = 10;
    int areas = 50;
    std::string dataSource = "Dorvale";
    std::string databasePath;  // the store's directory; from the settings when empty
    std::string localPath;     // below it each area's directory; the store's when empty
    bool replace = false;      // drop what is there first
    std::uint32_t seed = 1998; // the same catalogue for the same seed
};

// The catalogue side (through DorvaleDb). Creates the tables (after dropping them when
// `replace`), refuses a catalogue that already has files unless `replace`, then adds the
// files. `progress` is told the number added now and then. False with `error` on failure.
bool SeedCatalogue(const CSeedOptions& options, std::string& error,
                   const std::function<void(long)>& progress);

// The store side: filearea.dat with the areas and one group file per group (replacing an
// existing store only when `replace`).
bool SeedAreas(const CSeedOptions& options, std::string& error);
