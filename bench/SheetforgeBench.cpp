// sheetforge_bench [files...]: for each catalogue size (default 10000 and 100000), seeds a
// catalogue with dorvale-seed, times `sheetforge --console` on it and measures its peak
// memory, then times a plain loop of ours writing the same number of files of the same
// sizes into a fresh directory, and prints the ratio. On SQLite, and on PostgreSQL when the
// test server is running (DORVALE_TEST_PG_CONNECTION).

#include "OdbcTestSupport.h"
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
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct CChild {
    int exitCode = -1;
    double seconds = 0;
    long peakKiB = 0;
};

// Runs a program with extra environment entries, its output discarded, and reports its
// exit code, time and peak resident memory.
CChild Run(const std::vector<std::string>& argv, const std::vector<std::string>& extra) {
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
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
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
    return child;
}

// Page templates of about the size of the site's own.
std::map<std::string, std::string> PageTemplates() {
    const std::string head = "<html><head><title>Dorvale file library</title>\n"
                             "<link rel=\"stylesheet\" href=\"/dorvale/site.css\"></head>\n<body>\n"
                             "<!--#include virtual=\"/dorvale/header.inc\" -->\n" +
                             std::string(600, ' ') + "\n";
    const std::string foot = "<!--#include virtual=\"/dorvale/footer.inc\" -->\n</body></html>\n";
    return {
        {"grouplist.tmpl", head +
                               "<ul>@loop@<li><a href=\"areas/@urlgroup@.asp\">@group@</a>"
                               "@endloop@</ul>\n" +
                               foot},
        {"arealist.tmpl", head +
                              "<h1>@group@</h1><ul>@loop@<li><a href=\"/dorvale/files/"
                              "@urlgroup@/@areaid@/page1-title.asp\">@area@</a>@endloop@"
                              "</ul>\n" +
                              foot},
        {"areaheader.tmpl", "<table><tr>@loop@@if areaid=currentarea@<td><b>@area@</b></td>"
                            "@else@<td>@area@</td>@endif@@endloop@</tr></table>\n"},
        {"filepage.tmpl", head +
                              "<p>@displayrange@ of @totalrecords@ sorted by @titlesort@ "
                              "@downloadsort@ @datesort@</p>\n<!--#include virtual=\"/"
                              "dorvale/files/body/@areaid@/page@page@-@sort@.asp\" -->\n"
                              "<p>@navbar@</p>\n" +
                              foot},
        {"filedetail.tmpl", head +
                                "<h1>@title@</h1><table><tr><td>Size</td><td>@filesize@"
                                "</td></tr><tr><td>Downloads</td><td>@downloads@</td></tr>"
                                "<tr><td>Date</td><td>@filedate@</td></tr><tr><td>Version"
                                "</td><td>@version@</td></tr></table><p>@shortdesc@</p>"
                                "<p>@longdesc@</p><p>Uploaded by <a href=\"mailto:"
                                "@urlupldemail@\">@upldname@</a></p><a href=\"@httpserver@"
                                "/dorvale/download/@fileid@.asp\">Download</a>\n" +
                                foot},
        {"filedownload.tmpl", head +
                                  "<h1>@title@ (@filesize@)</h1><table>@loop@<tr "
                                  "@coloreven@><td><a href=\"@httpurl@\">@sitename@</a>"
                                  "</td><td><a href=\"@ftpurl@\">FTP</a></td></tr>@endloop@"
                                  "</table>\n" +
                                  foot},
        {"filelist.tmpl", "<table>@loop@<tr @coloreven@><td><a href=\"/dorvale/details/"
                          "@fileid@.asp\">@title@</a></td><td>@filedate@</td><td>@downloads@"
                          "</td><td>@shortdesc@</td></tr>@endloop@</table>\n"},
    };
}

double PlainWriteLoop(const std::filesystem::path& tree, const std::filesystem::path& fresh,
                      long& files) {
    std::vector<std::pair<std::string, std::uintmax_t>> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tree)) {
        if (entry.is_regular_file()) {
            entries.emplace_back(entry.path().lexically_relative(tree).string(), entry.file_size());
        }
    }
    files = static_cast<long>(entries.size());
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

bool Measure(testsupport::EEngine engine, long files) {
    runtest::CSite site(engine);
    if (!site.IsAvailable()) {
        std::printf("%s: skipped (%s)\n", testsupport::EngineName(engine), site.why.c_str());
        return true;
    }
    runtest::WriteTemplates(site.InstallPath(), PageTemplates());
    // The site's directory holds the store (db) and the pages (site) as dorvale-seed lays
    // them out.
    const auto seeded = Run({testsupport::BuiltProgram("dorvale-seed"), "--dir",
                             site.Dir().string(), "--files", std::to_string(files), "--quiet"},
                            site.ChildEnvironment());
    if (seeded.exitCode != 0) {
        std::printf("%s %ld files: seeding failed (%d)\n", testsupport::EngineName(engine), files,
                    seeded.exitCode);
        return false;
    }
    std::vector<std::string> command = {testsupport::BuiltProgram("sheetforge"), "--console"};
    // SHEETFORGE_BENCH_PERF=<file> records a profile of the generator with perf.
    if (const char* profile = std::getenv("SHEETFORGE_BENCH_PERF")) {
        command.insert(command.begin(), {"/usr/bin/perf", "record", "-g", "-o", profile, "--"});
    }
    const auto generated = Run(command, site.ChildEnvironment());
    if (generated.exitCode != 0) {
        std::printf("%s %ld files: generation failed (%d)\n%s", testsupport::EngineName(engine),
                    files, generated.exitCode, site.Log().c_str());
        return false;
    }
    long pages = 0;
    const double plain = PlainWriteLoop(site.SitePath(), site.Dir() / "plain", pages);
    const double rate = pages / generated.seconds;
    const double plainRate = pages / plain;
    std::printf("%-10s %7ld files: seeded in %.1f s; sheetforge wrote %ld pages in %.2f s = %.0f "
                "pages/s, peak memory %.1f MiB; plain write loop %.2f s = %.0f files/s; "
                "ratio %.2f (target >= 0.50)\n",
                testsupport::EngineName(engine), files, seeded.seconds, pages, generated.seconds,
                rate, generated.peakKiB / 1024.0, plain, plainRate, rate / plainRate);
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<long> sizes;
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(std::atol(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {10000, 100000};
    }
    bool ok = true;
    for (const auto engine : {testsupport::EEngine::SQLite, testsupport::EEngine::PostgreSQL}) {
        for (long files : sizes) {
            ok = Measure(engine, files) && ok;
        }
    }
    return ok ? 0 : 1;
}
