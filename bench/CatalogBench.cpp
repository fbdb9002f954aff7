// Catalogue writes and reads through libDorvaleDb against plain prepared ODBC statements on
// the same driver, in one run:
//   - adding files, each with one area link and one download location
//     (CFileRecord::Add + AddToFileArea + AddDownloadURL against three prepared INSERTs);
//   - walking an area of many files (GetAllFilesInArea + MoveNext against a bound fetch loop).
// SQLite always; PostgreSQL when DORVALE_TEST_PG_CONNECTION names the test server.
//
//   catalog_bench [--files N] [--walk N] [--engine sqlite|postgresql|all]

#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"
#include "OdbcTestSupport.h"
#include "PlainCatalogueInsert.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

const std::string LONG_DESCRIPTION(400, 'd');

void Fill(CFileRecord& file, int i) {
    file.m_TITLE = "File " + std::to_string(i);
    file.m_SIZE = 1000.0 + i;
    file.m_SHORT_DESC = "A file for the benchmark";
    file.m_LONG_DESC = LONG_DESCRIPTION;
    file.m_UPLD_NAME = "Bench";
    file.m_UPLD_EMAIL = "bench@example.org";
    file.m_UPLD_HOME = "http://example.org/";
    file.m_VERSION = "1.0";
}

struct CAddTimes {
    double total = 0;
    double first1000 = 0;
    double last1000 = 0;
};

CAddTimes AddThroughLibrary(CDorvaleDatabaseManager& manager, int files) {
    CAddTimes times;
    Clock::time_point start = Clock::now();
    Clock::time_point chunk = start;
    for (int i = 0; i < files; ++i) {
        CFileRecord file(&manager);
        Fill(file, i);
        if (!file.Add() || !file.AddToFileArea(1 + i % 10) ||
            !file.AddDownloadURL("http://example.org/files/" + std::to_string(i) + ".zip")) {
            std::fprintf(stderr, "catalog_bench: adding file %d failed\n", i);
            std::exit(1);
        }
        if ((i + 1) % 1000 == 0) {
            Clock::time_point now = Clock::now();
            if (i + 1 == 1000) {
                times.first1000 = Seconds(now - chunk);
            }
            if (i + 1 == files) {
                times.last1000 = Seconds(now - chunk);
            }
            chunk = now;
        }
    }
    times.total = Seconds(Clock::now() - start);
    return times;
}

// The same rows through the plain prepared INSERTs.
double AddThroughPlainOdbc(CDatabase& db, int files, int areaBase, bool inOneTransaction) {
    const CPlainColumns columns{"A file for the benchmark", LONG_DESCRIPTION,      "Bench",
                                "bench@example.org",        "http://example.org/", "1.0"};
    return AddThroughPlainOdbc(
        db, files, columns,
        [areaBase](int i, CPlainRow& row) {
            row.title = "File " + std::to_string(i);
            row.url = "http://example.org/files/" + std::to_string(i) + ".zip";
            row.size = 1000.0 + i;
            row.area = areaBase + i % 10;
        },
        inOneTransaction);
}

double WalkThroughLibrary(CDorvaleDatabaseManager& manager, double area, long& rows) {
    Clock::time_point start = Clock::now();
    CFileRecord walker(&manager);
    rows = 0;
    if (walker.GetAllFilesInArea(area)) {
        while (!walker.IsEOF()) {
            ++rows;
            walker.MoveNext();
        }
    }
    return Seconds(Clock::now() - start);
}

// The same statement read with the same sixteen columns bound, forward only.
double WalkThroughPlainOdbc(CDatabase& db, double area, long& rows) {
    Clock::time_point start = Clock::now();
    CSqlHandle statement = db.AllocStatement();
    SQLHANDLE s = statement.Get();
    std::string sql = "select * from files f, areafile a where a.file_id = f.file_id and "
                      "a.area_id = " +
                      std::to_string(static_cast<long>(area));
    CheckOdbc(SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), s,
              "SQLExecDirect");
    double numbers[8];
    std::vector<std::vector<char>> texts(7, std::vector<char>(256));
    std::vector<char> longText(65536);
    SQL_TIMESTAMP_STRUCT dates[2];
    unsigned char flag = 0;
    SQLLEN indicators[16];
    const SQLSMALLINT textColumns[] = {2, 4, 6, 7, 8, 15};
    const SQLSMALLINT numberColumns[] = {1, 3, 9, 10, 11, 14};
    for (int i = 0; i < 6; ++i) {
        CheckOdbc(SQLBindCol(s, numberColumns[i], SQL_C_DOUBLE, &numbers[i], 0,
                             &indicators[numberColumns[i] - 1]),
                  s, "SQLBindCol");
        CheckOdbc(SQLBindCol(s, textColumns[i], SQL_C_CHAR, texts[i].data(), 256,
                             &indicators[textColumns[i] - 1]),
                  s, "SQLBindCol");
    }
    CheckOdbc(SQLBindCol(s, 5, SQL_C_CHAR, longText.data(), 65536, &indicators[4]), s,
              "SQLBindCol");
    CheckOdbc(SQLBindCol(s, 12, SQL_C_TYPE_TIMESTAMP, &dates[0], 0, &indicators[11]), s,
              "SQLBindCol");
    CheckOdbc(SQLBindCol(s, 13, SQL_C_TYPE_TIMESTAMP, &dates[1], 0, &indicators[12]), s,
              "SQLBindCol");
    CheckOdbc(SQLBindCol(s, 16, SQL_C_BIT, &flag, 0, &indicators[15]), s, "SQLBindCol");
    rows = 0;
    while (SQL_SUCCEEDED(SQLFetch(s))) {
        ++rows;
    }
    return Seconds(Clock::now() - start);
}

void RunEngine(testsupport::EEngine engine, const std::filesystem::path& dir, int files,
               int walkRows) {
    const char* name = testsupport::EngineName(engine);
    testsupport::CTestDataSource source(engine, dir);
    if (!source.IsAvailable()) {
        std::printf("%s: skipped (%s)\n", name, testsupport::NO_POSTGRES);
        return;
    }
    CDorvaleDatabaseManager manager(false);
    manager.SetDataSourceName(source.Name());
    manager.SetLogFilename((dir / "bench.log").string());
    if (!manager.Open(nullptr, nullptr) || !manager.CreateAllTables()) {
        std::fprintf(stderr, "catalog_bench: cannot set up %s (see %s)\n", name,
                     (dir / "bench.log").c_str());
        std::exit(1);
    }
    CDatabase plain;
    plain.OpenEx("DSN=" + source.Name(), CDatabase::noOdbcDialog);

    CAddTimes ours = AddThroughLibrary(manager, files);
    manager.DropAllTables();
    manager.CreateAllTables();
    double peer = AddThroughPlainOdbc(plain, files, 1, false);
    std::printf("%s: add %d files (file + area link + location, each statement committed)\n", name,
                files);
    std::printf("  libDorvaleDb        %8.3f s  %7.1f us/file\n", ours.total,
                ours.total * 1e6 / files);
    std::printf("  plain prepared ODBC %8.3f s  %7.1f us/file\n", peer, peer * 1e6 / files);
    std::printf("  ratio               %8.2f\n", ours.total / peer);
    std::printf("  first 1000 files    %8.3f s, last 1000 files %.3f s (ratio %.2f)\n",
                ours.first1000, ours.last1000, ours.last1000 / ours.first1000);

    // A large area: its rows added at once, then walked both ways.
    manager.DropAllTables();
    manager.CreateAllTables();
    AddThroughPlainOdbc(plain, walkRows, 100, true);
    long ourRows = 0, peerRows = 0;
    // Area 100 holds every tenth file: walk an area of walkRows rows by linking them all.
    plain.ExecuteSQL("insert into areafile (AREA_ID, FILE_ID) select 7, FILE_ID from files");
    double walkOurs = WalkThroughLibrary(manager, 7, ourRows);
    double walkPeer = WalkThroughPlainOdbc(plain, 7, peerRows);
    std::printf("%s: walk an area of %ld files\n", name, ourRows);
    std::printf("  GetAllFilesInArea + MoveNext %8.3f s\n", walkOurs);
    std::printf("  plain bound fetch loop       %8.3f s (%ld rows)\n", walkPeer, peerRows);
    std::printf("  ratio                        %8.2f\n", walkOurs / walkPeer);
}

} // namespace

int main(int argc, char** argv) {
    int files = 20000;
    int walkRows = 100000;
    std::string engines = "all";
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if ((arg == "--files" || arg == "--walk" || arg == "--engine") && i + 1 < argc) {
            std::string value = argv[++i];
            if (arg == "--engine") {
                engines = value;
            } else {
                (arg == "--files" ? files : walkRows) = std::max(1000, std::atoi(value.c_str()));
            }
        } else {
            std::printf("usage: catalog_bench [--files N] [--walk N] [--engine "
                        "sqlite|postgresql|all]\n");
            return arg == "--help" ? 0 : 2;
        }
    }
    files -= files % 1000;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/dorvale-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("catalog_bench: mkdtemp");
        return 1;
    }
    std::filesystem::path dir = pattern;
    if (engines == "all" || engines == "sqlite") {
        RunEngine(testsupport::EEngine::SQLite, dir / "sqlite", files, walkRows);
    }
    if (engines == "all" || engines == "postgresql") {
        RunEngine(testsupport::EEngine::PostgreSQL, dir / "postgresql", files, walkRows);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
