#include "FileAreaStore.h"
#include "GroupFiles.h"
#include "SeedWriters.h"
#include "Settings.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

bool ReadStoreContents(const std::string& databasePath, CStoreContents& contents,
                       std::string& error) {
    contents = CStoreContents();
    std::error_code ec;
    if (!std::filesystem::exists(GetFileAreaStorePath(databasePath), ec)) {
        return true;
    }
    CFileAreaStore store;
    if (!store.OpenForReading(databasePath)) {
        error = "cannot read " + GetFileAreaStorePath(databasePath) +
                " (is another program writing it?)";
        return false;
    }
    contents.areas = store.GetAreaCount();
    AreaStoreHeader header;
    if (store.HasHeader() && store.ReadHeader(header)) {
        contents.fresh = header.NextAreaId <= 1;
    }
    contents.groups = EnumerateGroups(databasePath).size();
    return true;
}

bool WriteAreaStore(const CSampleLibrary& library, const std::string& databasePath,
                    std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(databasePath, ec);
    CFileAreaStore store;
    if (!store.OpenForWriting(databasePath)) {
        error = "cannot write " + GetFileAreaStorePath(databasePath);
        return false;
    }
    for (const CSampleArea& planned : library.GetAreas()) {
        AreaRecord area;
        area.Name = planned.name;
        area.Path = planned.path;
        area.FtpAlias = planned.ftpAlias;
        area.HttpAlias = planned.httpAlias;
        area.Flags = planned.flags;
        if (!store.AddArea(area)) {
            error =
                "cannot add the area " + planned.name + " to " + GetFileAreaStorePath(databasePath);
            return false;
        }
        if (area.Id != planned.id) {
            error = "the area " + planned.name + " got the id " + std::to_string(area.Id) +
                    " instead of " + std::to_string(planned.id);
            return false;
        }
    }
    store.Close();
    for (const CSampleGroup& group : library.GetGroups()) {
        if (!WriteGroup(databasePath, group.name, group.areaIds)) {
            error = "cannot write the group file " + GetGroupFilePath(databasePath, group.name);
            return false;
        }
    }
    return true;
}

void RemoveAreaStore(const CSampleLibrary& library, const std::string& databasePath) {
    for (const CSampleGroup& group : library.GetGroups()) {
        DeleteGroup(databasePath, group.name);
    }
    std::error_code ec;
    std::filesystem::remove(GetFileAreaStorePath(databasePath), ec);
}

bool WriteLocalFile(const CSampleArea& area, const CSampleFile& file, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(area.path, ec);
    const std::string path = JoinPath(area.path, file.localName);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        error = "cannot create " + path;
        return false;
    }
    const bool written =
        std::fwrite(file.archive.data(), 1, file.archive.size(), out) == file.archive.size();
    if (std::fclose(out) != 0 || !written) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

bool WriteSeedSettings(const CSeedSettings& values, std::string& error) {
    struct CValue {
        const char* name;
        const std::string* text;
    };
    const CValue list[] = {
        {settings::DatabasePath, &values.databasePath},
        {settings::HttpPath, &values.httpPath},
        {settings::HttpServer, values.httpServer ? &*values.httpServer : nullptr},
        {settings::FtpServer, values.ftpServer ? &*values.ftpServer : nullptr},
        {settings::InstallDir, values.installDir ? &*values.installDir : nullptr},
    };
    for (const CValue& value : list) {
        if (value.text && !WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, value.name,
                                             value.text->c_str())) {
            error = std::string("cannot write the setting ") + value.name +
                    " (is the registry directory writable?)";
            return false;
        }
    }
    return true;
}
