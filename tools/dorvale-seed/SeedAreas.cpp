#include "FileAreaStore.h"
#include "GroupFiles.h"
#include "Seed.h"

#include <cstdio>
#include <filesystem>

bool SeedAreas(const CSeedOptions& options, std::string& error) {
    const std::string& directory = options.databasePath;
    std::error_code code;
    std::filesystem::create_directories(directory.empty() ? "." : directory, code);
    const std::string storePath = GetFileAreaStorePath(directory);
    {
        CFileAreaStore existing;
        if (existing.OpenForReading(directory) && existing.GetAreaCount() > 0 && !options.replace) {
            error = "the file-area store " + storePath +
                    " already has areas (use --replace to start afresh)";
            return false;
        }
    }
    if (options.replace) {
        std::filesystem::remove(storePath, code);
        for (const std::string& group : EnumerateGroups(directory)) {
            DeleteGroup(directory, group);
        }
    }
    CFileAreaStore store;
    if (!store.OpenForWriting(directory)) {
        error = "cannot write the file-area store " + storePath;
        return false;
    }
    const std::string local = options.localPath.empty() ? directory : options.localPath;
    for (int i = 1; i <= options.areas; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "area%02d", i);
        AreaRecord area;
        area.Name = "Area " + std::to_string(i);
        area.Path = JoinPath(local, name);
        area.HttpAlias = std::string("/") + name;
        area.FtpAlias = std::string("/pub/") + name;
        area.Flags = AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY | (i % 5 == 0 ? AREA_UPLOADABLE : 0);
        if (!store.AddArea(area)) {
            error = "cannot add " + area.Name;
            return false;
        }
    }
    store.Close();
    const int perGroup =
        options.groups > 0 ? (options.areas + options.groups - 1) / options.groups : 0;
    for (int g = 0; g < options.groups; ++g) {
        std::vector<std::uint32_t> ids;
        for (int i = g * perGroup + 1; i <= (g + 1) * perGroup && i <= options.areas; ++i) {
            ids.push_back(static_cast<std::uint32_t>(i));
        }
        if (!WriteGroup(directory, "Group " + std::to_string(g + 1), ids)) {
            error = "cannot write group " + std::to_string(g + 1);
            return false;
        }
    }
    return true;
}
