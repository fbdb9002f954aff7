// sheetforge_bench [--dir DIR] [--jobs N] [--repeat N] [--no-hugo] [files...]: for each
// catalogue size (default 10000 and 100000), seeds a catalogue with dorvale-seed (10 groups,
// 50 areas), times `sheetforge --console` on it with the site's own templates (the fastest of
// --repeat runs, each into an empty site, so a machine shared with other work blurs the
// figures less) and measures its peak memory,
// then times a plain loop of ours writing the same number of files of the same sizes into a
// fresh directory (also the fastest of --repeat runs). When Debian's hugo is installed it also builds an equivalent site with it
// (a detail and a download page per file, area lists of 10) from the same catalogue. Prints
// pages per second, peak memory and the ratios against the targets. On SQLite, and on
// PostgreSQL when the test server is running (DORVALE_TEST_PG_CONNECTION). The sites go to
// tmpfs (/dev/shm) unless --dir names another directory, so a disk's write-back does not blur
// the figures.

#include "Formatting.h"
#include "OdbcCatalogue.h"
#include "OdbcTestSupport.h"
#include "Recordset.h"
#include "RunTestSupport.h"
#include "SiteFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct CChild {
    int exitCode = -1;
    double seconds = 0;
    double cpuSeconds = 0; // user and system, of every thread
    long peakKiB = 0;
};

// Runs a program with extra environment entries, its output discarded, and reports its
// exit code, time and peak resident memory.
CChild Run(const std::vector<std::string>& argv, const std::vector<std::string>& extra,
          const std::string& errors = "/dev/null") {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        env.emplace_back(*entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<char*> args, envp;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    for (const auto& e : env) {
        envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Both outputs go to `errors`: some programs say what went wrong on standard output.
    posix_spawn_file_actions_addopen(&actions, 1, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    CChild child;
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return child;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    child.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    child.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    child.peakKiB = usage.ru_maxrss;
    child.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return child;
}

// The site's own templates.
void UseSiteTemplates(const std::filesystem::path& installDir) {
    std::filesystem::create_directories(installDir / "templates");
    for (const auto& entry : std::filesystem::directory_iterator(SHEETFORGE_TEMPLATES)) {
        if (entry.path().extension() == ".tmpl") {
            std::filesystem::copy_file(entry.path(), installDir / "templates" / entry.path().filename(),
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
}

// What the generated tree takes: its files, their bytes, the space they take on the file
// system (whole blocks), and its largest list page (below files/, not a body or header
// include).
struct CTreeSize {
    long files = 0;
    std::uintmax_t bytes = 0;
    std::uintmax_t diskBytes = 0;
    std::uintmax_t largestListPage = 0;
};

// Also gives the size of the tree.
double PlainWriteLoop(const std::filesystem::path& tree, const std::filesystem::path& fresh,
                      CTreeSize& size) {
    std::vector<std::pair<std::string, std::uintmax_t>> entries;
    size = {};
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        if (entry.is_regular_file()) {
            entries.emplace_back(entry.path().lexically_relative(tree).string(), entry.file_size());
            const std::string& path = entries.back().first;
            size.bytes += entry.file_size();
            struct stat status{};
            if (::stat(entry.path().c_str(), &status) == 0) {
                size.diskBytes += static_cast<std::uintmax_t>(status.st_blocks) * 512;
            }
            if (path.starts_with("files/") && !path.starts_with("files/body/") &&
                !path.starts_with("files/header/")) {
                size.largestListPage = std::max(size.largestListPage, entry.file_size());
            }
        }
    }
    size.files = static_cast<long>(entries.size());
    std::string buffer(1 << 20, 'x');
    const auto start = Clock::now();
    for (const auto& [path, size] : entries) {
        const std::filesystem::path target = fresh / path;
        int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            std::filesystem::create_directories(target.parent_path());
            fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (fd < 0) {
            continue;
        }
        std::uintmax_t left = size;
        while (left > 0) {
            const auto chunk = std::min<std::uintmax_t>(left, buffer.size());
            if (::write(fd, buffer.data(), chunk) < 0) {
                break;
            }
            left -= chunk;
        }
        ::close(fd);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The files of the catalogue as hugo's content: a detail and a download page per file, the
// file's areas as a taxonomy whose term pages list 10 files each, and layouts of about the
// size of the site's templates. Only hugo's build is timed.
bool WriteHugoSite(const std::string& dataSource, const std::filesystem::path& dir) {
    std::string error;
    const std::unique_ptr<COdbcCatalogue> catalogue = COdbcCatalogue::Open(dataSource, error);
    if (!catalogue) {
        std::printf("hugo: the catalogue was not opened: %s\n", error.c_str());
        return false;
    }
    class CAreaFileRecordset : public CRecordset {
    public:
        using CRecordset::CRecordset;
        void DoFieldExchange(CFieldExchange* pFX) override {
            RFX_Long(pFX, "file_id", fileId);
            RFX_Long(pFX, "area_id", areaId);
        }
        long fileId = 0;
        long areaId = 0;
    };
    std::map<long, std::vector<long>> areasOfFile;
    {
        CDatabase database;
        database.OpenEx("DSN=" + dataSource + ";", CDatabase::openReadOnly | CDatabase::noOdbcDialog);
        CAreaFileRecordset links(&database);
        links.Open(CRecordset::forwardOnly, "select file_id, area_id from areafile",
                   CRecordset::readOnly);
        for (; !links.IsEOF(); links.MoveNext()) {
            areasOfFile[links.fileId].push_back(links.areaId);
        }
        links.Close();
        database.Close();
    }
    namespace fs = std::filesystem;
    fs::create_directories(dir / "content" / "details");
    fs::create_directories(dir / "content" / "download");
    fs::create_directories(dir / "layouts" / "_default");
    fs::create_directories(dir / "layouts" / "details");
    fs::create_directories(dir / "layouts" / "download");
    testsupport::WriteFile(dir / "config.toml",
                           "baseURL = \"http://www.example.com/dorvale/\"\n"
                           "uglyURLs = true\n"
                           "ignoreErrors = [\"error-disable-taxonomy\"]\n"
                           "paginate = 10\n"
                           "disableKinds = [\"taxonomy\", \"RSS\", \"sitemap\", \"robotsTXT\", "
                           "\"404\", \"home\", \"section\"]\n"
                           "[taxonomies]\n  area = \"areas\"\n");
    const std::string head =
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<meta "
        "name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>{{ .Title }} "
        "· Dorvale File Library</title>\n<link rel=\"stylesheet\" "
        "href=\"/dorvale/assets/dorvale.css\">\n</head>\n<body>\n<header class=\"site\"><div "
        "class=\"wrap\"><a class=\"brand\" href=\"/dorvale/index.asp\">Dorvale <small>File "
        "Library</small></a><nav aria-label=\"Site\"><ul><li><a "
        "href=\"/dorvale/index.asp\">Groups</a></li><li><a href=\"/dorvale/newest.html\">Newest"
        "</a></li><li><a href=\"/dorvale/popular.html\">Most popular</a></li></ul></nav></div>"
        "</header>\n<main id=\"main\" class=\"wrap\">\n";
    const std::string foot = "</main>\n<footer class=\"site\"><div class=\"wrap\"><p>Dorvale "
                             "File Library · pages written by hugo</p></div></footer>\n</body>\n"
                             "</html>\n";
    testsupport::WriteFile(
        dir / "layouts" / "details" / "single.html",
        head + "<article class=\"file\"><h1>{{ .Title }}</h1><p class=\"lead\">{{ "
               ".Params.shortdesc }}</p><dl class=\"facts\"><div><dt>Size</dt><dd>{{ "
               ".Params.size }}</dd></div><div><dt>Date</dt><dd>{{ .Date.Format \"Monday, "
               "January 02, 2006\" }}</dd></div><div><dt>Version</dt><dd>{{ .Params.version }}"
               "</dd></div><div><dt>Downloads</dt><dd>{{ .Params.downloads }}</dd></div></dl>"
               "<section class=\"description\"><h2>About this file</h2><div>{{ .Content }}</div>"
               "</section><p><a class=\"button\" href=\"/dorvale/download/{{ .Params.fileid }}"
               ".html\">Download</a></p></article>\n" +
                   foot);
    testsupport::WriteFile(
        dir / "layouts" / "download" / "single.html",
        head + "<h1>Download {{ .Title }}</h1><p class=\"lead\">{{ .Params.size }}</p><table "
               "class=\"locations\"><tbody>{{ range $i, $url := .Params.locations }}<tr{{ if "
               "modBool $i 2 }}{{ else }} class=\"even\"{{ end }}><td><a href=\"{{ $url }}\">{{ "
               "$url }}</a></td></tr>{{ end }}</tbody></table><p><a "
               "href=\"/dorvale/details/{{ .Params.fileid }}.html\">Back to the file's details"
               "</a></p>\n" +
                   foot);
    testsupport::WriteFile(
        dir / "layouts" / "_default" / "term.html",
        head + "<h1>Area {{ .Title }}</h1><table class=\"files\"><tbody>{{ range "
               ".Paginator.Pages }}<tr><th><a href=\"{{ .RelPermalink }}\">{{ .Title }}</a></th>"
               "<td>{{ .Date.Format \"01/02/06\" }}</td><td>{{ .Params.downloads }}</td><td>{{ "
               ".Params.shortdesc }}</td></tr>{{ end }}</tbody></table><nav class=\"pager\">{{ "
               "if .Paginator.HasPrev }}<a href=\"{{ .Paginator.Prev.URL }}\">[PREVIOUS]</a>{{ "
               "end }} {{ .Paginator.PageNumber }} of {{ .Paginator.TotalPages }} {{ if "
               ".Paginator.HasNext }}<a href=\"{{ .Paginator.Next.URL }}\">[NEXT]</a>{{ end }}"
               "</nav>\n" +
                   foot);
    std::unique_ptr<IFileDetailSource> details;
    if (catalogue->OpenDetails(details) != EOpenResult::Opened) {
        std::printf("hugo: the details were not read: %s\n", catalogue->GetLastError().c_str());
        return false;
    }
    IDownloadSource& downloads = catalogue->GetDownloads();
    CFileDetail file;
    const auto quoted = [](const std::string& text) {
        std::string out = "\"";
        for (const char c : text) {
            out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
        }
        return out + "\"";
    };
    while (details->Fetch(file) == EFetchResult::Row) {
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", file.fileDate.year ? file.fileDate.year : 2000,
                      file.fileDate.month, file.fileDate.day);
        const std::string id = std::to_string(file.fileId);
        std::string areas;
        for (long area : areasOfFile[static_cast<long>(file.fileId)]) {
            areas += (areas.empty() ? "\"" : ", \"") + std::to_string(area) + "\"";
        }
        testsupport::WriteFile(dir / "content" / "details" / (id + ".md"),
                               "---\ntitle: " + quoted(file.title) + "\ndate: " + date +
                                   "\nfileid: " + id + "\nsize: " + FormatSize(file.size) +
                                   "\ndownloads: " + std::to_string(file.downloads) +
                                   "\nversion: " + quoted(file.version) +
                                   "\nshortdesc: " + quoted(file.shortDesc) + "\nareas: [" +
                                   areas + "]\n---\n" + file.longDesc + "\n");
        std::string locations;
        if (downloads.Open(file.fileId)) {
            std::string url;
            while (downloads.Fetch(url) == EFetchResult::Row) {
                locations += "\n  - " + quoted(url);
            }
        }
        testsupport::WriteFile(dir / "content" / "download" / (id + ".md"),
                               "---\ntitle: " + quoted(file.title) + "\ndate: " + date +
                                   "\nfileid: " + id + "\nsize: " + FormatSize(file.size) +
                                   "\nlocations:" + (locations.empty() ? " []" : locations) +
                                   "\n---\n");
    }
    return true;
}

struct CFigures {
    long pages = 0;
    double seconds = 0;
    double cpuSeconds = 0;
    double peakMiB = 0;
    double Rate() const { return seconds > 0 ? pages / seconds : 0; }
};

long CountFiles(const std::filesystem::path& root) {
    long count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        count += entry.is_regular_file();
    }
    return count;
}

// The run of one engine at one size; false on a failure. `generated` is left zero when the
// engine is not available.
bool Measure(testsupport::EEngine engine, long files, const std::string& jobs, int repeat,
             bool withHugo, CFigures& generated, CFigures& plain, CFigures& hugo) {
    runtest::CSite site(engine);
    if (!site.IsAvailable()) {
        std::printf("%s: skipped (%s)\n", testsupport::EngineName(engine), site.why.c_str());
        return true;
    }
    UseSiteTemplates(site.InstallPath());
    // The site's directory holds the store (db) and the pages (site) as dorvale-seed lays
    // them out.
    const auto seeded = Run({testsupport::BuiltProgram("dorvale-seed"), "--dir",
                             site.Dir().string(), "--files", std::to_string(files), "--groups",
                             "10", "--areas", "50", "--quiet"},
                            site.ChildEnvironment());
    if (seeded.exitCode != 0) {
        std::printf("%s %ld files: seeding failed (%d)\n", testsupport::EngineName(engine), files,
                    seeded.exitCode);
        return false;
    }
    std::vector<std::string> command = {testsupport::BuiltProgram("sheetforge"), "--console"};
    if (!jobs.empty()) {
        command.insert(command.end(), {"--jobs", jobs});
    }
    // SHEETFORGE_BENCH_PERF=<file> records a profile of the generator with perf.
    if (const char* profile = std::getenv("SHEETFORGE_BENCH_PERF")) {
        command.insert(command.begin(), {"/usr/bin/perf", "record", "-g", "-o", profile, "--"});
    }
    for (int attempt = 0; attempt < repeat; ++attempt) {
        if (attempt > 0) {
            // Every run writes a new site, as the first did.
            std::filesystem::remove_all(site.SitePath());
        }
        const auto run = Run(command, site.ChildEnvironment());
        if (run.exitCode != 0) {
            std::printf("%s %ld files: generation failed (%d)\n%s",
                        testsupport::EngineName(engine), files, run.exitCode, site.Log().c_str());
            return false;
        }
        if (attempt == 0 || run.seconds < generated.seconds) {
            generated.seconds = run.seconds;
            generated.cpuSeconds = run.cpuSeconds;
        }
        generated.peakMiB = std::max(generated.peakMiB, run.peakKiB / 1024.0);
    }
    CTreeSize size;
    // The loop's time is the fastest of as many runs as the generator's, each into an empty
    // directory, so that a pause of the machine favours neither.
    for (int attempt = 0; attempt < repeat; ++attempt) {
        const double seconds = PlainWriteLoop(site.SitePath(), site.Dir() / "plain", size);
        if (attempt == 0 || seconds < plain.seconds) {
            plain.seconds = seconds;
        }
        std::filesystem::remove_all(site.Dir() / "plain");
    }
    plain.pages = generated.pages = size.files;
    std::printf("%-10s %7ld files: seeded in %.1f s; sheetforge wrote %ld pages (%.1f MiB, %.1f "
                "MiB on disk, largest list page %ju bytes) in %.2f s (CPU %.2f s) = %.0f pages/s, "
                "peak memory %.1f MiB; plain write loop %.2f s = %.0f files/s\n",
                testsupport::EngineName(engine), files, seeded.seconds, generated.pages,
                size.bytes / 1048576.0, size.diskBytes / 1048576.0, size.largestListPage,
                generated.seconds, generated.cpuSeconds, generated.Rate(), generated.peakMiB,
                plain.seconds, plain.Rate());
    std::fflush(stdout);
    if (withHugo) {
        const std::filesystem::path hugoDir = site.Dir() / "hugo";
        if (!WriteHugoSite(site.Settings().dataSource, hugoDir)) {
            return false;
        }
        const auto built = Run({"/usr/bin/hugo", "--source", hugoDir.string(), "--destination",
                                (hugoDir / "public").string()},
                               {}, (site.Dir() / "hugo.err").string());
        if (built.exitCode != 0) {
            std::printf("hugo %ld files: the build failed (%d)\n%s", files, built.exitCode,
                        testsupport::ReadFile(site.Dir() / "hugo.err").c_str());
            return false;
        }
        hugo.seconds = built.seconds;
        hugo.peakMiB = built.peakKiB / 1024.0;
        hugo.pages = CountFiles(hugoDir / "public");
        std::printf("%-10s %7ld files: hugo wrote %ld pages in %.2f s = %.0f pages/s, peak "
                    "memory %.1f MiB\n",
                    "hugo", files, hugo.pages, hugo.seconds, hugo.Rate(), hugo.peakMiB);
        std::filesystem::remove_all(hugoDir);
        std::fflush(stdout);
    }
    return true;
}

void Ratio(const char* what, double value, const char* target, bool met) {
    std::printf("  %-58s %8.2f  (target %s) %s\n", what, value, target, met ? "met" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    std::string dir = "/dev/shm";
    std::string jobs;
    int repeat = 1;
    bool withHugo = ::access("/usr/bin/hugo", X_OK) == 0;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if ((argument == "--dir" || argument == "--jobs") && i + 1 < argc) {
            (argument == "--dir" ? dir : jobs) = argv[++i];
        } else if (argument == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else if (argument == "--no-hugo") {
            withHugo = false;
        } else if (argument == "--help") {
            std::printf("Usage: sheetforge_bench [--dir DIR] [--jobs N] [--repeat N] [--no-hugo] "
                        "[FILES...]\n"
                        "Times sheetforge against a plain write loop and, when installed and not\n"
                        "--no-hugo, hugo, on catalogues of FILES files (10000 and 100000 by\n"
                        "default), in DIR (/dev/shm by default). Sheetforge's time, and the\n"
                        "loop's, is the fastest of N runs (1 by default).\n");
            return 0;
        } else {
            sizes.push_back(std::atol(argv[i]));
        }
    }
    if (sizes.empty()) {
        sizes = {10000, 100000};
    }
    // The sites, stores and SQLite catalogues go below DIR.
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    ::setenv("TMPDIR", dir.c_str(), 1);
    std::printf("sites in %s; hugo %s; sheetforge's and the loop's time the fastest of %d run%s\n",
                dir.c_str(),
                withHugo ? "runs" : "does not run", repeat, repeat == 1 ? "" : "s");
    bool ok = true;
    std::map<std::pair<int, long>, CFigures> generated;
    std::map<long, CFigures> plain, hugo;
    for (const auto engine : {testsupport::EEngine::SQLite, testsupport::EEngine::PostgreSQL}) {
        for (long files : sizes) {
            CFigures figures, loop, peer;
            const bool first = engine == testsupport::EEngine::SQLite;
            ok = Measure(engine, files, jobs, repeat, withHugo && first, figures, loop, peer) && ok;
            generated[{static_cast<int>(engine), files}] = figures;
            if (first) {
                plain[files] = loop;
                hugo[files] = peer;
            }
        }
    }
    const long large = sizes.back();
    const long small = sizes.front();
    const CFigures& sqlite = generated[{static_cast<int>(testsupport::EEngine::SQLite), large}];
    const CFigures& sqliteSmall = generated[{static_cast<int>(testsupport::EEngine::SQLite), small}];
    const CFigures& postgres = generated[{static_cast<int>(testsupport::EEngine::PostgreSQL), large}];
    std::printf("ratios at %ld files (SQLite unless named):\n", large);
    if (sqlite.pages > 0 && hugo[large].pages > 0) {
        const double speed = sqlite.Rate() / hugo[large].Rate();
        const double memory = sqlite.peakMiB / hugo[large].peakMiB;
        Ratio("pages/s, sheetforge / hugo", speed, ">= 5", speed >= 5);
        Ratio("peak memory, sheetforge / hugo", memory, "<= 0.02", memory <= 0.02);
    }
    if (sqlite.pages > 0 && plain[large].seconds > 0) {
        const double loop = sqlite.Rate() / plain[large].Rate();
        Ratio("pages/s, sheetforge / plain write loop", loop, ">= 0.50", loop >= 0.5);
    }
    if (sqlite.pages > 0 && sqliteSmall.pages > 0 && small != large) {
        const double growth = (sqlite.seconds / sqlite.pages) / (sqliteSmall.seconds / sqliteSmall.pages);
        char label[96];
        std::snprintf(label, sizeof label, "time per page, %ld / %ld files", large, small);
        Ratio(label, growth, "<= 1.20", growth <= 1.2);
    }
    if (sqlite.pages > 0 && postgres.pages > 0) {
        const double server = postgres.seconds / sqlite.seconds;
        Ratio("time, PostgreSQL / SQLite", server, "<= 1.50", server <= 1.5);
    }
    return ok ? 0 : 1;
}
