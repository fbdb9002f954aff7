// Apart from the store side: the ODBC and registry headers each define the Windows integer
// types their own way.
#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"
#include "Seed.h"

#include <cstdio>
#include <random>

namespace {

constexpr long kFilesPerTransaction = 1000;

} // namespace

bool SeedCatalogue(const CSeedOptions& options, std::string& error,
                   const std::function<void(long)>& progress) {
    CDorvaleDatabaseManager manager;
    manager.SetDataSourceName(options.dataSource);
    if (!manager.Open(nullptr, nullptr)) {
        error = "cannot open the data source " + options.dataSource;
        return false;
    }
    if (options.replace) {
        manager.DropAllTables();
    }
    manager.CreateAllTables(); // fails harmlessly for tables that exist
    {
        CFileRecord first(&manager);
        if (first.Open("select * from files", false, true) && !options.replace) {
            error = "the catalogue already has files (use --replace to start afresh)";
            return false;
        }
    }

    std::mt19937 random(options.seed);
    auto pick = [&random](long low, long high) {
        return std::uniform_int_distribution<long>(low, high)(random);
    };
    const bool transactions = manager.CanTransact();
    for (long n = 1; n <= options.files; ++n) {
        if (transactions && (n - 1) % kFilesPerTransaction == 0) {
            manager.BeginTrans();
        }
        char name[32];
        std::snprintf(name, sizeof name, "file%06ld.zip", n);
        CFileRecord file(&manager);
        file.m_TITLE = "Sample file " + std::to_string(n);
        file.m_SIZE = static_cast<double>(pick(200, 5'000'000));
        file.m_SHORT_DESC = "A sample file for trying the site, number " + std::to_string(n);
        file.m_LONG_DESC = "This file was made by dorvale-seed. " + std::string(pick(40, 400), 'x');
        file.m_UPLD_NAME = "Seed";
        file.m_UPLD_EMAIL = "seed@example.com";
        file.m_DOWNLOADS = static_cast<double>(pick(0, 100000));
        file.m_FILE_DATE =
            CDateTime(static_cast<int>(pick(1995, 2025)), static_cast<int>(pick(1, 12)),
                      static_cast<int>(pick(1, 28)), 12, 0, 0);
        file.m_LAST_DWNLD = file.m_FILE_DATE;
        file.m_VERSION = std::to_string(pick(1, 9)) + "." + std::to_string(pick(0, 20));
        file.m_REQ_FORM = pick(0, 9) == 0;
        if (!file.Add()) {
            error = "cannot add file " + std::to_string(n);
            return false;
        }
        const long first = pick(1, options.areas);
        long second = pick(0, 1) ? pick(1, options.areas) : first;
        if (!file.AddToFileArea(static_cast<double>(first)) ||
            (second != first && !file.AddToFileArea(static_cast<double>(second)))) {
            error = "cannot put file " + std::to_string(n) + " in its areas";
            return false;
        }
        const bool local = pick(0, 1) == 0;
        const bool both = pick(0, 2) == 0;
        if (local || both) {
            file.AddDownloadURL("local://" + std::to_string(first) + "/" + name);
        }
        if (!local || both) {
            file.AddDownloadURL(std::string("http://mirror.example.com/files/") + name);
        }
        if (transactions && (n % kFilesPerTransaction == 0 || n == options.files)) {
            if (!manager.CommitTrans()) {
                error = "cannot commit the files added";
                return false;
            }
        }
        if (progress && (n % 10000 == 0 || n == options.files)) {
            progress(n);
        }
    }
    return true;
}
