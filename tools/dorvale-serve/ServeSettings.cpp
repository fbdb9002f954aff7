#include "FileAreaStore.h"
#include "ServeSite.h"
#include "Settings.h"

#include <filesystem>
#include <system_error>

bool ReadServeSettings(CServeSettings& result, std::string& error) {
    result = CServeSettings();
    result.httpPath = DirectoryWithoutSlash(ReadSettingText(settings::HttpPath));
    result.installDir = DirectoryWithoutSlash(ReadSettingText(settings::InstallDir));
    const std::string databasePath = DirectoryWithoutSlash(ReadSettingText(settings::DatabasePath));
    if (const DWORD limitMiB = ReadSettingNumber(settings::UploadLimit); limitMiB > 0) {
        result.uploadLimitMiB = limitMiB;
    }
    if (result.httpPath.empty()) {
        // A hive that cannot be parsed reads as if nothing were set.
        error = GetRegistryProblem();
        if (error.empty()) {
            error = "the setting HttpPath (where the site is generated) is not set";
        }
        return false;
    }

    std::error_code ec;
    if (databasePath.empty() || !std::filesystem::exists(GetFileAreaStorePath(databasePath), ec)) {
        return true; // no areas: only the pages are served
    }
    CFileAreaStore store;
    if (!store.OpenForReading(databasePath)) {
        // A damaged store is an error, named as the store names it.
        if (!store.GetProblem().empty()) {
            error = store.GetProblem();
            return false;
        }
        // The setup program holds the store while it runs, and it is the setup program that
        // has the servers reload: the virtual roots are served all the same.
        result.warnings.push_back("cannot read " + GetFileAreaStorePath(databasePath) +
                                  " (is the setup program changing the areas?): only the "
                                  "virtual roots are published, not areas that have none");
        return true;
    }
    for (const AreaRecord& area : store.EnumerateAreas()) {
        if (!(area.Flags & AREA_HOSTED_LOCALLY) || area.HttpAlias.empty()) {
            continue;
        }
        const std::string name = "area " + std::to_string(area.Id) + " (" + area.Name + ")";
        CServedAlias served;
        std::string why;
        if (!NormaliseAlias(area.HttpAlias, served.alias, why)) {
            result.warnings.push_back(name + ": HTTP alias \"" + area.HttpAlias +
                                      "\" not published: " + why);
            continue;
        }
        if (area.Path.empty() || area.Path.front() != '/' || !IsQuotable(area.Path)) {
            result.warnings.push_back(name + ": directory \"" + area.Path +
                                      "\" not published: it must be an absolute path without "
                                      "\" \\ $ or control characters");
            continue;
        }
        bool taken = false;
        for (const CServedAlias& other : result.aliases) {
            taken = taken || other.alias == served.alias;
        }
        if (taken) {
            result.warnings.push_back(name + ": HTTP alias " + served.alias +
                                      " is published for an earlier area already");
            continue;
        }
        served.path = DirectoryWithoutSlash(area.Path);
        served.area = area.Name;
        result.aliases.push_back(served);
    }
    return true;
}

bool InstallSiteFiles(const std::string& templatesDir, const CServeSettings& settings, int& copied,
                      std::string& error) {
    namespace fs = std::filesystem;
    copied = 0;
    if (settings.installDir.empty()) {
        error = "the setting InstallDir (where the templates go) is not set";
        return false;
    }
    std::error_code ec;
    if (!fs::is_directory(templatesDir, ec)) {
        error = "no templates directory " + templatesDir;
        return false;
    }
    const fs::path templatesTarget = fs::path(settings.installDir) / "templates";
    const fs::path assetsTarget = fs::path(settings.httpPath) / "assets";
    auto copy = [&](const fs::path& from, const fs::path& to) {
        fs::create_directories(to.parent_path(), ec);
        if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec)) {
            error = "cannot copy " + from.string() + " to " + to.string() + ": " + ec.message();
            return false;
        }
        ++copied;
        return true;
    };
    // The iterators advance with increment(ec): a directory that cannot be read further is an
    // error, not an exception.
    auto unreadable = [&](const fs::path& dir) {
        error = "cannot read " + dir.string() + ": " + ec.message();
        return false;
    };
    int templates = 0;
    for (fs::directory_iterator it(templatesDir, ec), end; it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && it->path().extension() == ".tmpl") {
            if (!copy(it->path(), templatesTarget / it->path().filename())) {
                return false;
            }
            ++templates;
        }
    }
    if (ec) {
        return unreadable(templatesDir);
    }
    if (templates == 0) {
        error = "no *.tmpl files in " + templatesDir;
        return false;
    }
    const fs::path assets = fs::path(templatesDir) / "assets";
    if (fs::is_directory(assets, ec)) {
        for (fs::recursive_directory_iterator it(assets, ec), end; it != end; it.increment(ec)) {
            if (it->is_regular_file(ec) &&
                !copy(it->path(), assetsTarget / it->path().lexically_relative(assets))) {
                return false;
            }
        }
        if (ec) {
            return unreadable(assets);
        }
    }
    return true;
}
