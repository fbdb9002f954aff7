// explorer_bench [--runs N]: the desktop program's main window (offscreen, details view) opening
// an area of 10 000 and one of 100 000 files: the time from selecting the area in the tree to
// the first screen of rows painted (wall and CPU time), and to the list knowing all its rows,
// with the heap grown by each; and the window's list source alone reading the texts of the
// first 50 rows. Both against the plain ODBC query that reads the same first 50 rows (by id,
// with the same six columns) in the same run. SQLite always; PostgreSQL when
// DORVALE_TEST_PG_CONNECTION names the test server.

#include "DorvaleDatabaseManager.h"
#include "ExplorerApp.h"
#include "FileAreaStore.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "GroupFiles.h"
#include "MainFrame.h"
#include "OdbcTestSupport.h"
#include "TestSettings.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr long SMALL_AREA = 10000;
constexpr long LARGE_AREA = 100000;
constexpr int PEER_ROWS = 50;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// CPU time of this thread: on a busy machine the wall time of a window's work counts the time
// it waited for a processor too.
double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Bytes the heap holds in use.
double HeapKiB() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / 1024.0;
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "explorer_bench: %s\n", what.c_str());
    std::exit(1);
}

// Area 1 holds files 1..SMALL_AREA, area 2 the next LARGE_AREA, written in one statement each.
void FillCatalogue(CDatabase& db, testsupport::EEngine engine) {
    const long total = SMALL_AREA + LARGE_AREA;
    const std::string columns =
        "FILE_ID, TITLE, SIZE, SHORT_DESC, LONG_DESC, TYPE_ID, DOWNLOADS, FILE_DATE, LAST_DWNLD";
    const std::string values = "i, 'File ' || i, i * 10, 'A file for the benchmark', '" +
                               std::string(400, 'd') +
                               "', 0, 0, '2024-01-02 03:04:05', '2024-02-03 04:05:06'";
    if (engine == testsupport::EEngine::SQLite) {
        const std::string series = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                   "WHERE i < " +
                                   std::to_string(total) + ") ";
        db.ExecuteSQL("INSERT INTO files (" + columns + ") " + series + "SELECT " + values +
                      " FROM n");
        db.ExecuteSQL("INSERT INTO areafile (AREA_ID, FILE_ID) " + series +
                      "SELECT CASE WHEN i <= " + std::to_string(SMALL_AREA) +
                      " THEN 1 ELSE 2 END, i FROM n");
    } else {
        const std::string series = " FROM generate_series(1, " + std::to_string(total) + ") i";
        db.ExecuteSQL("INSERT INTO files (" + columns + ") SELECT " + values + series);
        db.ExecuteSQL("INSERT INTO areafile (AREA_ID, FILE_ID) SELECT CASE WHEN i <= " +
                      std::to_string(SMALL_AREA) + " THEN 1 ELSE 2 END, i" + series);
    }
}

// The peer: the first 50 rows of the area, by id, six columns bound, read forward.
double PlainFirstRows(CDatabase& db, int area) {
    const auto start = Clock::now();
    CSqlHandle statement = db.AllocStatement();
    SQLHANDLE s = statement.Get();
    std::string sql = "select f.FILE_ID, f.TITLE, f.SIZE, f.SHORT_DESC, f.FILE_DATE, f.LAST_DWNLD "
                      "from files f, areafile a where a.file_id = f.file_id and a.area_id = " +
                      std::to_string(area) + " order by a.file_id limit " +
                      std::to_string(PEER_ROWS);
    if (!SQL_SUCCEEDED(SQLExecDirect(s, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS))) {
        Fail("the plain query failed");
    }
    double id = 0, size = 0;
    char title[256], brief[256];
    SQL_TIMESTAMP_STRUCT dates[2];
    SQLLEN indicators[6];
    SQLBindCol(s, 1, SQL_C_DOUBLE, &id, 0, &indicators[0]);
    SQLBindCol(s, 2, SQL_C_CHAR, title, sizeof title, &indicators[1]);
    SQLBindCol(s, 3, SQL_C_DOUBLE, &size, 0, &indicators[2]);
    SQLBindCol(s, 4, SQL_C_CHAR, brief, sizeof brief, &indicators[3]);
    SQLBindCol(s, 5, SQL_C_TYPE_TIMESTAMP, &dates[0], 0, &indicators[4]);
    SQLBindCol(s, 6, SQL_C_TYPE_TIMESTAMP, &dates[1], 0, &indicators[5]);
    int rows = 0;
    while (rows < PEER_ROWS && SQL_SUCCEEDED(SQLFetch(s))) {
        ++rows;
    }
    if (rows != PEER_ROWS) {
        Fail("the plain query read " + std::to_string(rows) + " rows");
    }
    return Milliseconds(Clock::now() - start);
}

// The window's list source alone, without widgets: the area opened and the six texts of each of
// the first 50 rows asked for, as the view asks for them.
double SourceFirstRows(CDorvaleDatabaseManager& catalogue, double area) {
    const auto start = Clock::now();
    CFileListSource source(catalogue);
    if (!source.OpenArea(area, false)) {
        Fail("the list source did not open the area");
    }
    std::string text;
    for (std::size_t row = 0; row < PEER_ROWS; ++row) {
        for (int column = 0; column < LIST_COLUMN_COUNT; ++column) {
            if (!source.GetText(row, column, text)) {
                Fail("the list source has no row " + std::to_string(row));
            }
        }
    }
    return Milliseconds(Clock::now() - start);
}

struct COpening {
    double firstScreenMs = 0;
    double firstScreenCpuMs = 0;
    double countedMs = 0;
    double firstScreenKiB = 0; // heap grown by the first screen
    double countedKiB = 0;     // ... and once every row is known
};

// Selects the area in the tree and waits for its first screen of rows, then for its count.
COpening OpenArea(CMainFrame& frame, const CTreeItem* root, const CTreeItem* area) {
    // From the root's short list, so each opening starts alike.
    frame.SelectNode(root);
    QApplication::processEvents();
    QApplication::processEvents();
    bool painted = false;
    auto connection = QObject::connect(frame.ListView(), &CFileListView::Painted, [&] {
        painted = frame.ListModel()->ShowsFiles() && frame.ListModel()->rowCount() > 0;
    });
    COpening opening;
    const double heap = HeapKiB();
    const auto start = Clock::now();
    const double cpu = ThreadCpuMs();
    frame.SelectNode(area);
    while (!painted) {
        QApplication::processEvents(QEventLoop::AllEvents);
    }
    opening.firstScreenMs = Milliseconds(Clock::now() - start);
    opening.firstScreenCpuMs = ThreadCpuMs() - cpu;
    opening.firstScreenKiB = HeapKiB() - heap;
    while (!frame.ListModel()->IsCounted()) {
        QApplication::processEvents(QEventLoop::AllEvents);
    }
    opening.countedMs = Milliseconds(Clock::now() - start);
    opening.countedKiB = HeapKiB() - heap;
    QObject::disconnect(connection);
    return opening;
}

void RunEngine(testsupport::EEngine engine, const std::filesystem::path& dir, int runs) {
    const char* name = testsupport::EngineName(engine);
    std::filesystem::create_directories(dir / "registry");
    setenv("DORVALE_REGISTRY", (dir / "registry").c_str(), 1);
    testsupport::CTestDataSource source(engine, dir);
    if (!source.IsAvailable()) {
        std::printf("%s: skipped (%s)\n", name, testsupport::NO_POSTGRES);
        return;
    }
    const auto db = dir / "db";
    std::filesystem::create_directories(db);
    SetSettingText(SETTING_DATABASE_PATH, db.string());
    SetSettingText(SETTING_HTTP_PATH, (dir / "site").string());
    {
        CFileAreaStore store;
        AreaRecord small{0, "Ten thousand", "", "", "", AREA_DOWNLOADABLE};
        AreaRecord large{0, "A hundred thousand", "", "", "", AREA_DOWNLOADABLE};
        if (!store.OpenForWriting(db.string()) || !store.AddArea(small) || !store.AddArea(large) ||
            !WriteGroup(db.string(), "Bench", {1, 2})) {
            Fail("cannot write the file areas");
        }
    }
    CDorvaleDatabaseManager creator(false);
    creator.SetDataSourceName(source.Name());
    if (!creator.Open(nullptr, nullptr) || !creator.CreateAllTables()) {
        Fail(std::string("cannot create the tables on ") + name);
    }
    CDatabase plain;
    plain.OpenEx("DSN=" + source.Name(), CDatabase::noOdbcDialog);
    const auto filled = Clock::now();
    FillCatalogue(plain, engine);
    std::printf("%s: %ld files written in %.1f s\n", name, SMALL_AREA + LARGE_AREA,
                Milliseconds(Clock::now() - filled) / 1000);

    prompt::CScriptedPrompt prompt;
    CExplorerApp app(prompt);
    if (!app.InitInstance(source.Name())) {
        Fail("the program did not start");
    }
    CMainFrame& frame = *app.MainFrame();
    frame.resize(1000, 700);
    while (!frame.IsTreeLoaded()) {
        QApplication::processEvents();
    }
    frame.Run(ECommand::Details);
    const CTreeItem* root = frame.Tree().Root();
    const CTreeItem* group = root->GetChildren()[1].get();
    const CTreeItem* areas[2] = {group->GetChildren()[0].get(), group->GetChildren()[1].get()};
    const int areaIds[2] = {1, 2};
    const long sizes[2] = {SMALL_AREA, LARGE_AREA};

    OpenArea(frame, root, areas[1]); // warm both sides once
    PlainFirstRows(plain, 2);
    for (int a = 0; a < 2; ++a) {
        std::vector<double> first, firstCpu, counted, firstHeap, countedHeap, peer, source;
        for (int run = 0; run < runs; ++run) {
            const COpening opening = OpenArea(frame, root, areas[a]);
            if (frame.ListModel()->rowCount() != sizes[a]) {
                Fail("the list shows " + std::to_string(frame.ListModel()->rowCount()) + " rows");
            }
            first.push_back(opening.firstScreenMs);
            firstCpu.push_back(opening.firstScreenCpuMs);
            counted.push_back(opening.countedMs);
            firstHeap.push_back(opening.firstScreenKiB);
            countedHeap.push_back(opening.countedKiB);
            peer.push_back(PlainFirstRows(plain, areaIds[a]));
            source.push_back(SourceFirstRows(app.Context().Catalogue(), areaIds[a]));
        }
        const double theirs = Median(peer);
        std::printf("%-10s area of %6ld files: window: first screen %6.2f ms (%5.2f ms CPU, heap "
                    "+%6.1f KiB), all rows known %6.2f ms (heap +%6.1f KiB)\n",
                    name, sizes[a], Median(first), Median(firstCpu), Median(firstHeap),
                    Median(counted), Median(countedHeap));
        std::printf("%-10s area of %6ld files: first %d rows: list source %5.2f ms, plain ODBC "
                    "query %5.2f ms: ratio %.2f (target <= 2); the window's first screen against "
                    "the query: ratio %.1f (%.1f in CPU time)\n",
                    name, sizes[a], PEER_ROWS, Median(source), theirs, Median(source) / theirs,
                    Median(first) / theirs, Median(firstCpu) / theirs);
    }
    std::fflush(stdout);
    frame.close();
    unsetenv("DORVALE_REGISTRY");
}

} // namespace

int main(int argc, char** argv) {
    int runs = 7;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::printf("usage: explorer_bench [--runs N]\n");
            return arg == "--help" ? 0 : 2;
        }
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/dorvale-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("explorer_bench: mkdtemp");
        return 1;
    }
    const std::filesystem::path dir = pattern;
    RunEngine(testsupport::EEngine::SQLite, dir / "sqlite", runs);
    RunEngine(testsupport::EEngine::PostgreSQL, dir / "postgresql", runs);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
