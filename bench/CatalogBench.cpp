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

const std::string kLongDescription(400, 'd');

void Check(SQLRETURN rc, SQLHANDLE statement, const char* what) {
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error = CDBException::FromHandle(SQL_HANDLE_STMT, statement, rc, what);
        std::fprintf(stderr, "catalog_bench: %s: %s\n", what, error.m_strError.c_str());
        std::exit(1);
    }
}

void Fill(CFileRecord& file, int i) {
    file.m_TITLE = "File " + std::to_string(i);
    file.m_SIZE = 1000.0 + i;
    file.m_SHORT_DESC = "A file for the benchmark";
    file.m_LONG_DESC = kLongDescription;
    file.m_UPLD_NAME = "Bench";
    file.m_UPLD_EMAIL = "bench@example.org";
    file.m_UPLD_HOME = "http://example.org/";
    file.m_VERSION = "1.0";
}

struct AddTimes {
    double total = 0;
    double first1000 = 0;
    double last1000 = 0;
};

AddTimes AddThroughLibrary(CDorvaleDatabaseManager& manager, int files) {
    AddTimes times;
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

// The same rows with three prepared INSERTs, each executed on its own (automatic commit),
// the ids given by the program. With `inOneTransaction` all rows are committed at once.
double AddThroughPlainOdbc(CDatabase& db, int files, int areaBase, bool inOneTransaction) {
    CSqlHandle fileInsert = db.AllocStatement();
    CSqlHandle linkInsert = db.AllocStatement();
    CSqlHandle locationInsert = db.AllocStatement();
    auto prepare = [](CSqlHandle& statement, const char* sql) {
        Check(SQLPrepare(statement.Get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)),
                         SQL_NTS),
              statement.Get(), "SQLPrepare");
    };
    prepare(fileInsert,
            "INSERT INTO files (FILE_ID,TITLE,SIZE,SHORT_DESC,LONG_DESC,UPLD_NAME,UPLD_EMAIL,"
            "UPLD_HOME,TYPE_ID,RATING,DOWNLOADS,LAST_DWNLD,FILE_DATE,PRICE,VERSION,REQ_FORM) "
            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    prepare(linkInsert, "INSERT INTO areafile (AREA_ID,FILE_ID) VALUES (?,?)");
    prepare(locationInsert, "INSERT INTO download (FILE_ID,URL) VALUES (?,?)");

    double id = 0, size = 0, zero = 0, area = 0;
    unsigned char no = 0;
    char title[64], url[128];
    const char* shortDesc = "A file for the benchmark";
    const char* name = "Bench";
    const char* email = "bench@example.org";
    const char* home = "http://example.org/";
    const char* version = "1.0";
    SQL_TIMESTAMP_STRUCT now{2024, 1, 2, 3, 4, 5, 0};
    SQLLEN titleLength = 0, urlLength = 0, nts = SQL_NTS, fixed = 0,
           longLength = static_cast<SQLLEN>(kLongDescription.size());
    auto bindText = [&](SQLHANDLE statement, SQLUSMALLINT n, const char* text, SQLLEN* length,
                        SQLSMALLINT type = SQL_VARCHAR) {
        Check(SQLBindParameter(statement, n, SQL_PARAM_INPUT, SQL_C_CHAR, type, 255, 0,
                               const_cast<char*>(text), 0, length),
              statement, "SQLBindParameter");
    };
    auto bindNumber = [&](SQLHANDLE statement, SQLUSMALLINT n, double* value) {
        Check(SQLBindParameter(statement, n, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, value,
                               0, &fixed),
              statement, "SQLBindParameter");
    };
    SQLHANDLE f = fileInsert.Get();
    bindNumber(f, 1, &id);
    bindText(f, 2, title, &titleLength);
    bindNumber(f, 3, &size);
    bindText(f, 4, shortDesc, &nts);
    Check(SQLBindParameter(f, 5, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR,
                           kLongDescription.size(), 0, const_cast<char*>(kLongDescription.data()),
                           0, &longLength),
          f, "SQLBindParameter");
    bindText(f, 6, name, &nts);
    bindText(f, 7, email, &nts);
    bindText(f, 8, home, &nts);
    bindNumber(f, 9, &zero);
    bindNumber(f, 10, &zero);
    bindNumber(f, 11, &zero);
    for (SQLUSMALLINT n : {12, 13}) {
        Check(SQLBindParameter(f, n, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19,
                               0, &now, 0, &fixed),
              f, "SQLBindParameter");
    }
    bindNumber(f, 14, &zero);
    bindText(f, 15, version, &nts);
    Check(SQLBindParameter(f, 16, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 0, 0, &no, 0, &fixed), f,
          "SQLBindParameter");
    bindNumber(linkInsert.Get(), 1, &area);
    bindNumber(linkInsert.Get(), 2, &id);
    bindNumber(locationInsert.Get(), 1, &id);
    bindText(locationInsert.Get(), 2, url, &urlLength);

    if (inOneTransaction) {
        db.BeginTrans();
    }
    Clock::time_point start = Clock::now();
    for (int i = 0; i < files; ++i) {
        id = i + 1;
        size = 1000.0 + i;
        area = areaBase + i % 10;
        titleLength = std::snprintf(title, sizeof title, "File %d", i);
        urlLength = std::snprintf(url, sizeof url, "http://example.org/files/%d.zip", i);
        Check(SQLExecute(f), f, "SQLExecute");
        Check(SQLExecute(linkInsert.Get()), linkInsert.Get(), "SQLExecute");
        Check(SQLExecute(locationInsert.Get()), locationInsert.Get(), "SQLExecute");
    }
    if (inOneTransaction) {
        db.CommitTrans();
    }
    return Seconds(Clock::now() - start);
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
    Check(SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), s, "SQLExecDirect");
    double numbers[8];
    std::vector<std::vector<char>> texts(7, std::vector<char>(256));
    std::vector<char> longText(65536);
    SQL_TIMESTAMP_STRUCT dates[2];
    unsigned char flag = 0;
    SQLLEN indicators[16];
    const SQLSMALLINT textColumns[] = {2, 4, 6, 7, 8, 15};
    const SQLSMALLINT numberColumns[] = {1, 3, 9, 10, 11, 14};
    for (int i = 0; i < 6; ++i) {
        Check(SQLBindCol(s, numberColumns[i], SQL_C_DOUBLE, &numbers[i], 0,
                         &indicators[numberColumns[i] - 1]),
              s, "SQLBindCol");
        Check(SQLBindCol(s, textColumns[i], SQL_C_CHAR, texts[i].data(), 256,
                         &indicators[textColumns[i] - 1]),
              s, "SQLBindCol");
    }
    Check(SQLBindCol(s, 5, SQL_C_CHAR, longText.data(), 65536, &indicators[4]), s, "SQLBindCol");
    Check(SQLBindCol(s, 12, SQL_C_TYPE_TIMESTAMP, &dates[0], 0, &indicators[11]), s, "SQLBindCol");
    Check(SQLBindCol(s, 13, SQL_C_TYPE_TIMESTAMP, &dates[1], 0, &indicators[12]), s, "SQLBindCol");
    Check(SQLBindCol(s, 16, SQL_C_BIT, &flag, 0, &indicators[15]), s, "SQLBindCol");
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
        std::printf("%s: skipped (%s)\n", name, testsupport::kNoPostgres);
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

    AddTimes ours = AddThroughLibrary(manager, files);
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
