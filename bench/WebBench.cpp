// The visitors' service under load, in one run on one nginx (started by dorvale-serve):
//   - counted download redirects through nginx and dorvale-web (/dorvale/do/download) against
//     nginx answering a redirect itself (its "location = /" return 302), with wrk;
//   - review posts through nginx and dorvale-web, each appended to the submissions file.
// The catalogue is SQLite through ODBC. At the end the service is stopped, and the download
// count in the catalogue must equal the redirects wrk saw.
//
// The two redirect loads alternate in rounds, so that other work on the machine weighs on
// both alike; the figures are the sums over the rounds.
//
//   web_bench [--seconds N] [--rounds N] [--connections N]

#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"
#include "HttpClient.h"
#include "OdbcTestSupport.h"
#include "Reviews.h"
#include "TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "web_bench: %s\n", message.c_str());
    std::exit(1);
}

struct CLoad {
    double perSecond = 0;
    long long requests = 0;
    long long notOk = 0; // answers other than 2xx and 3xx
};

CLoad Wrk(const std::string& url, int seconds, int connections, const std::string& script = {}) {
    std::vector<std::string> args = {"/usr/bin/wrk", "-t2", "-c" + std::to_string(connections),
                                     "-d" + std::to_string(seconds) + "s"};
    if (!script.empty()) {
        args.push_back("-s");
        args.push_back(script);
    }
    args.push_back(url);
    const auto run = testsupport::RunProgram(args);
    if (run.exitCode != 0) {
        Die("wrk failed (install the Debian package wrk): " + run.err);
    }
    CLoad load;
    std::smatch match;
    if (std::regex_search(run.out, match, std::regex(R"(Requests/sec:\s+([0-9.]+))"))) {
        load.perSecond = std::stod(match[1]);
    }
    if (std::regex_search(run.out, match, std::regex(R"(([0-9]+) requests in)"))) {
        load.requests = std::stoll(match[1]);
    }
    if (std::regex_search(run.out, match, std::regex(R"(Non-2xx or 3xx responses:\s+([0-9]+))"))) {
        load.notOk = std::stoll(match[1]);
    }
    if (load.perSecond <= 0) {
        Die("cannot read wrk's figures:\n" + run.out);
    }
    return load;
}

} // namespace

int main(int argc, char** argv) {
    int seconds = 3;
    int rounds = 3;
    int connections = 32;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--seconds") {
            seconds = std::atoi(argv[i + 1]);
        } else if (std::string(argv[i]) == "--rounds") {
            rounds = std::atoi(argv[i + 1]);
        } else if (std::string(argv[i]) == "--connections") {
            connections = std::atoi(argv[i + 1]);
        }
    }
    testsupport::CTempDir dir;
    fs::create_directories(dir.Path() / "registry");
    // nginx's workers, which do not run as root, pass through to the service's socket.
    fs::permissions(dir.Path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::create_directories(dir.Path() / "site");
    setenv("DORVALE_REGISTRY", (dir.Path() / "registry").c_str(), 1);
    testsupport::CTestDataSource source(testsupport::EEngine::SQLite, dir.Path());
    testsupport::WriteSqliteDataSource("Dorvale", source.DatabaseFile());
    std::vector<std::string> env = {"DORVALE_REGISTRY=" + (dir.Path() / "registry").string()};
    for (const auto& [name, value] : source.Environment()) {
        env.push_back(name + "=" + value);
    }
    CDorvaleDatabaseManager catalogue;
    catalogue.SetDataSourceName(source.Name());
    if (!catalogue.Open(nullptr, nullptr) || !catalogue.CreateAllTables()) {
        Die("cannot create the catalogue");
    }
    CFileRecord file(&catalogue);
    file.m_TITLE = "Bench";
    if (!file.Add() || !file.AddDownloadURL("http://mirror.example.org/bench.zip")) {
        Die("cannot add the file");
    }
    const auto set = testsupport::RunProgram({testsupport::BuiltProgram("dorvale-reg"), "set",
                                              "HKLM\\Software\\Halvren Software\\Quenwick\\Dorvale",
                                              "HttpPath", "REG_SZ", (dir.Path() / "site").string()},
                                             env);
    if (set.exitCode != 0) {
        Die("cannot write the settings: " + set.err);
    }
    const int port = testsupport::FreeLoopbackPort();
    const std::string run = (dir.Path() / "run").string();
    const auto started =
        testsupport::RunProgram({testsupport::BuiltProgram("dorvale-serve"), "start", "--dir", run,
                                 "--port", std::to_string(port)},
                                env);
    if (started.exitCode != 0) {
        Die("dorvale-serve start failed: " + started.err);
    }
    const std::string base = "http://127.0.0.1:" + std::to_string(port);
    const std::string id = std::to_string(static_cast<long long>(file.m_FILE_ID));
    const std::string post = (dir.Path() / "post.lua").string();
    std::ofstream(post)
        << "wrk.method = \"POST\"\n"
           "wrk.headers[\"Content-Type\"] = \"application/x-www-form-urlencoded\"\n"
           "wrk.body = \"file="
        << id << "&name=Bench&email=bench%40example.org&review=A+fine+file.%0D%0AWorks.\"\n";

    std::printf("web_bench: %d rounds of %d s each, %d connections, 2 wrk threads, SQLite "
                "catalogue\n",
                rounds, seconds, connections);
    const std::string countedUrl = base + "/dorvale/do/download?file=" + id +
                                   "&url=http%3A%2F%2Fmirror.example.org%2Fbench.zip";
    CLoad nginx;
    CLoad service;
    for (int round = 1; round <= rounds; ++round) {
        const CLoad own = Wrk(base + "/", seconds, connections);
        const CLoad through = Wrk(countedUrl, seconds, connections);
        std::printf("round %d: nginx %.0f/s, nginx + dorvale-web %.0f/s, ratio %.2f\n", round,
                    own.perSecond, through.perSecond, through.perSecond / own.perSecond);
        for (auto [sum, one] : {std::pair{&nginx, &own}, std::pair{&service, &through}}) {
            sum->perSecond += one->perSecond / rounds;
            sum->requests += one->requests;
            sum->notOk += one->notOk;
        }
    }
    const CLoad reviews = Wrk(base + "/dorvale/do/review", seconds * 2, connections, post);

    testsupport::RunProgram({testsupport::BuiltProgram("dorvale-serve"), "stop", "--dir", run},
                            env);
    CFileRecord counted(&catalogue);
    counted.Get(static_cast<int32_t>(file.m_FILE_ID), false);
    const auto submissions =
        ReadSubmissionsFile(SubmissionsFilePath((dir.Path() / "site/").string()));

    std::printf("%-44s %12.0f requests/s (%lld requests)\n",
                "nginx alone, return 302:", nginx.perSecond, nginx.requests);
    std::printf("%-44s %12.0f requests/s (%lld requests, %lld not 2xx/3xx)\n",
                "nginx + dorvale-web, counted redirect:", service.perSecond, service.requests,
                service.notOk);
    std::printf("%-44s %12.2f (target at least 0.50)\n",
                "ratio dorvale-web / nginx:", service.perSecond / nginx.perSecond);
    std::printf("%-44s %12.0f posts/s (%lld posts, %lld not 2xx/3xx)\n",
                "review posts through nginx + dorvale-web:", reviews.perSecond, reviews.requests,
                reviews.notOk);
    std::printf("%-44s %12.0f (redirects seen %lld)\n",
                "downloads counted in the catalogue:", counted.m_DOWNLOADS,
                service.requests - service.notOk);
    std::printf("%-44s %12zu (posts seen %lld)\n",
                "review records in submissions.txt:", submissions.size(),
                reviews.requests - reviews.notOk);
    // wrk counts only the answers it received whole; a request cut at the end of a run may
    // still have been counted by the service.
    const bool countsAgree =
        counted.m_DOWNLOADS >= static_cast<double>(service.requests - service.notOk) &&
        counted.m_DOWNLOADS <=
            static_cast<double>(service.requests - service.notOk + connections * rounds);
    return countsAgree ? 0 : 1;
}
