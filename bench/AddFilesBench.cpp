// add_files_bench [--files N...] [--engine sqlite|postgresql|all]
//
// `dorvale add-files DIR --area 1` on a directory of N files inside a locally hosted area (the
// command as an administrator runs it, a process of its own), against the catalogue
// benchmark's plain prepared-INSERT loop writing the same rows (the file, its area link and its
// local:// location, each statement committed). Prints both times, their ratio, and the
// command's peak memory for each N (default 2000 and 20000), so that flat memory shows.
// SQLite always; PostgreSQL when DORVALE_TEST_PG_CONNECTION names the test server.

#include "DorvaleDatabaseManager.h"
#include "FileAreaStore.h"
#include "OdbcTestSupport.h"
#include "PlainCatalogueInsert.h"
#include "Process.h"
#include "Recordset.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

void WriteBenchSettings(const std::string& databasePath);

namespace {

namespace fs = std::filesystem;

class CCountSet : public CRecordset {
public:
    explicit CCountSet(CDatabase* database) : CRecordset(database) { m_nFields = 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Long(pFX, "n", m_count); }
    long m_count = -1;
};

long CountRows(CDatabase& db, const char* table) {
    CCountSet count(&db);
    count.Open(CRecordset::forwardOnly, (std::string("select count(*) from ") + table).c_str(),
               CRecordset::readOnly);
    return count.m_count;
}

std::string FileName(int i) {
    char name[32];
    std::snprintf(name, sizeof name, "file%05d.zip", i);
    return name;
}

void Fail(const std::string& message) {
    std::fprintf(stderr, "add_files_bench: %s\n", message.c_str());
    std::exit(1);
}

void RunOne(testsupport::EEngine engine, const fs::path& dir, int files) {
    const char* engineName = testsupport::EngineName(engine);
    fs::create_directories(dir / "registry");
    fs::create_directories(dir / "db");
    const fs::path areaDir = dir / "area";
    fs::create_directories(areaDir / "incoming");
    setenv("DORVALE_REGISTRY", (dir / "registry").c_str(), 1);
    WriteBenchSettings((dir / "db").string());
    {
        CFileAreaStore store;
        if (!store.OpenForWriting((dir / "db").string())) {
            Fail("cannot write the file-area store");
        }
        AreaRecord area;
        area.Name = "Bench";
        area.Path = areaDir.string();
        area.Flags = AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY;
        store.AddArea(area);
    }
    const std::string content(100, 'z');
    for (int i = 0; i < files; ++i) {
        std::ofstream(areaDir / "incoming" / FileName(i), std::ios::binary) << content;
    }

    testsupport::CTestDataSource source(engine, dir);
    if (!source.IsAvailable()) {
        std::printf("%s: skipped (%s)\n", engineName, testsupport::NO_POSTGRES);
        return;
    }
    CDorvaleDatabaseManager manager(false);
    manager.SetDataSourceName(source.Name());
    if (!manager.Open(nullptr, nullptr) || !manager.CreateAllTables()) {
        Fail(std::string("cannot create the tables on ") + engineName);
    }
    process::CSpawnOptions options;
    options.streams = process::EStreams::Discard;
    options.environment = {"DORVALE_REGISTRY=" + (dir / "registry").string()};
    for (const auto& [name, value] : source.Environment()) {
        options.environment.push_back(name + "=" + value);
    }
    const auto start = std::chrono::steady_clock::now();
    process::CExitStatus status;
    std::string error;
    if (!process::RunAndWait(std::string(DORVALE_BINARY_DIR) + "/bin/dorvale",
                             {"add-files", (areaDir / "incoming").string(), "--area", "1",
                              "--data-source", source.Name()},
                             options, status, error) ||
        !status.exited || status.code != 0) {
        Fail("dorvale add-files failed " + error);
    }
    const double ours =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CDatabase plain;
    plain.OpenEx("DSN=" + source.Name(), CDatabase::noOdbcDialog);
    if (CountRows(plain, "files") != files || CountRows(plain, "download") != files) {
        Fail("dorvale add-files did not add every file");
    }
    manager.DropAllTables();
    manager.CreateAllTables();
    const double peer = AddThroughPlainOdbc(
        plain, files, CPlainColumns{},
        [](int i, CPlainRow& row) {
            const std::string name = FileName(i);
            row.title = name.substr(0, name.size() - 4);
            row.url = "local://1/incoming/" + name;
            row.size = 100;
            row.area = 1;
        },
        false);
    std::printf("%s: add-files of %d files into one area\n", engineName, files);
    std::printf("  dorvale add-files      %8.3f s  %7.1f us/file  peak %ld KiB\n", ours,
                ours * 1e6 / files, status.peakKiB);
    std::printf("  plain prepared INSERTs %8.3f s  %7.1f us/file\n", peer, peer * 1e6 / files);
    std::printf("  ratio                  %8.2f\n", ours / peer);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes;
    std::string engines = "all";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files" && i + 1 < argc) {
            sizes.push_back(std::max(1, std::atoi(argv[++i])));
        } else if (arg == "--engine" && i + 1 < argc) {
            engines = argv[++i];
        } else {
            std::printf("usage: add_files_bench [--files N...] [--engine sqlite|postgresql|all]\n");
            return arg == "--help" ? 0 : 2;
        }
    }
    if (sizes.empty()) {
        sizes = {2000, 20000};
    }
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/dorvale-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("add_files_bench: mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    int run = 0;
    for (const auto engine : {testsupport::EEngine::SQLite, testsupport::EEngine::PostgreSQL}) {
        const std::string name = engine == testsupport::EEngine::SQLite ? "sqlite" : "postgresql";
        if (engines != "all" && engines != name) {
            continue;
        }
        for (int files : sizes) {
            RunOne(engine, dir / std::to_string(run++), files);
        }
    }
    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return 0;
}
