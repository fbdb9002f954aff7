// dorvale-serve run as a program with a real nginx: the pages with their includes, the
// areas' files, the templates put in place, and nginx started, restarted and stopped.

#include "FileAreaStore.h"
#include "ServeTestSupport.h"
#include "GroupFiles.h"
#include "Settings.h"
#include "TestSupport.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;
using namespace servetest;

namespace {

class Serve : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_dir / "registry");
        // The workers, not root, pass through on their way to the site and the areas.
        fs::permissions(m_dir.Path(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        setenv("DORVALE_REGISTRY", (m_dir / "registry").c_str(), 1);
        m_env = {"DORVALE_REGISTRY=" + (m_dir / "registry")};
        m_port = FreePort();
    }
    void TearDown() override {
        Run({"stop", "--dir", m_dir / "run"});
        unsetenv("DORVALE_REGISTRY");
    }

    testsupport::CProgramResult Run(std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::BuiltProgram("dorvale-serve"));
        return testsupport::RunProgram(args, m_env);
    }

    void SetSetting(const char* name, const std::string& value) {
        ASSERT_TRUE(
            WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value.c_str()));
    }

    void AddArea(const std::string& name, const std::string& path, const std::string& alias,
                 std::uint32_t flags) {
        CFileAreaStore store;
        ASSERT_TRUE(store.OpenForWriting(m_dir / "db"));
        AreaRecord area;
        area.Name = name;
        area.Path = path;
        area.HttpAlias = alias;
        area.Flags = flags;
        ASSERT_TRUE(store.AddArea(area));
    }

    // A site, its settings and areas: two published, one not hosted locally, three whose
    // aliases cannot be published.
    void MakeInstallation() {
        fs::create_directories(m_dir / "db");
        SetSetting(settings::HttpPath, m_dir / "site/");
        SetSetting(settings::InstallDir, m_dir / "install");
        SetSetting(settings::DatabasePath, m_dir / "db");
        Put(m_dir / "site/index.asp",
            "<p>start</p>\n<!--#include virtual=\"/dorvale/files/header/My "
            "Group/area1.asp\" -->\n<p>end</p>\n");
        Put(m_dir / "site/files/header/My Group/area1.asp", "HEADER-1\n");
        Put(m_dir / "site/assets/x.css", "body{}");
        Put(m_dir / "secret.txt", "secret");
        m_archive = std::string("PK\x03\x04\0\xff binary \r\n", 17) + std::string(3000, 'z');
        Put(m_dir / "files/one/a b&c.zip", m_archive);
        Put(m_dir / "files/two/sub/x.txt", "two");
        const std::uint32_t local = AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY;
        AddArea("One", m_dir / "files/one", "/downloads/one", local);
        AddArea("Two", m_dir / "files/two/", "\\dl\\two\\", local);
        AddArea("Remote", m_dir / "files/remote", "/remote", AREA_DOWNLOADABLE);
        AddArea("Inside", m_dir / "files/one", "/dorvale/inside", local);
        AddArea("Climber", m_dir / "files/one", "/x/../..", local);
        AddArea("Again", m_dir / "files/two", "/downloads/one/", local);
    }

    testsupport::CTempDir m_dir;
    std::vector<std::string> m_env;
    int m_port = 0;
    std::string m_archive;
};

TEST_F(Serve, HelpAndWrongUsage) {
    const auto help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("dorvale-serve install"));
    EXPECT_THAT(help.out, HasSubstr("--port N"));
    for (const std::vector<std::string>& wrong :
         std::vector<std::vector<std::string>>{{},
                                               {"serve"},
                                               {"start", "--port", "0"},
                                               {"start", "--port", "65536"},
                                               {"start", "--port", "http"},
                                               {"start", "--address", "localhost"},
                                               {"start", "--address", "1.2.3"},
                                               {"start", "--dir"},
                                               {"stop", "--port", "80"},
                                               {"install", "--dir", "x"},
                                               {"start", "--templates", "x"}}) {
        const auto result = Run(wrong);
        EXPECT_EQ(result.exitCode, 2) << (wrong.empty() ? "" : wrong[0]);
        EXPECT_THAT(result.err, HasSubstr("dorvale-serve: "));
    }
}

TEST_F(Serve, PagesIncludesAndAreaFilesThroughNginx) {
    MakeInstallation();
    // The longest group name a group file can have, in letters of two bytes, URL-escaped
    // in the include as the pages write it.
    std::string group;
    std::string escaped;
    for (std::size_t i = 0; i + 2 <= GROUP_NAME_MAX_BYTES; i += 2) {
        group += "Ж";
        escaped += "%D0%96";
    }
    Put(m_dir / "site/long.asp",
        "[<!--#include virtual=\"/dorvale/files/header/" + escaped + "/area1.asp\" -->]");
    Put(m_dir / ("site/files/header/" + group + "/area1.asp"), "LONG HEADER");
    const std::string run = m_dir / "run";
    const auto started = Run({"start", "--dir", run, "--port", std::to_string(m_port)});
    ASSERT_EQ(started.exitCode, 0) << started.err;
    EXPECT_THAT(started.out, HasSubstr("Dorvale is served at http://127.0.0.1:" +
                                       std::to_string(m_port) + "/dorvale/index.asp"));
    // Areas whose aliases cannot be published are named; the remote one is not an error.
    EXPECT_THAT(started.err, HasSubstr("area 4 (Inside): HTTP alias \"/dorvale/inside\" not "
                                       "published"));
    EXPECT_THAT(started.err, HasSubstr("area 5 (Climber)"));
    EXPECT_THAT(started.err, HasSubstr("area 6 (Again): HTTP alias /downloads/one is published "
                                       "for an earlier area already"));
    EXPECT_THAT(started.err, Not(HasSubstr("Remote")));
    // nginx took the configuration without a complaint.
    EXPECT_THAT(testsupport::ReadFile(run + "/error.log"), Not(HasSubstr("[warn]")));

    const auto index = Get(m_port, "/dorvale/index.asp");
    EXPECT_EQ(index.status, 200);
    EXPECT_EQ(index.headers.at("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(index.body, "<p>start</p>\nHEADER-1\n\n<p>end</p>\n");
    EXPECT_THAT(index.headers.at("content-security-policy"), HasSubstr("script-src 'none'"));
    EXPECT_EQ(Get(m_port, "/dorvale/").body, index.body);
    EXPECT_EQ(Get(m_port, "/dorvale/long.asp").body, "[LONG HEADER]");
    const auto root = Get(m_port, "/");
    EXPECT_EQ(root.status, 302);
    EXPECT_THAT(root.headers.at("location"), testing::EndsWith("/dorvale/index.asp"));
    EXPECT_EQ(Get(m_port, "/dorvale/assets/x.css").headers.at("content-type"),
              "text/css; charset=utf-8");

    const auto archive = Get(m_port, "/downloads/one/a%20b%26c.zip");
    EXPECT_EQ(archive.status, 200);
    EXPECT_EQ(archive.headers.at("content-type"), "application/zip");
    EXPECT_EQ(archive.body, m_archive);
    EXPECT_EQ(Get(m_port, "/dl/two/sub/x.txt").body, "two");
    EXPECT_EQ(Get(m_port, "/remote/x").status, 404);
    EXPECT_EQ(Get(m_port, "/dorvale/inside/a%20b%26c.zip").status, 404);
    EXPECT_EQ(Get(m_port, "/downloads/one/missing.zip").status, 404);
    const auto climb = Get(m_port, "/downloads/one/../../secret.txt");
    EXPECT_NE(climb.status, 200);
    EXPECT_THAT(climb.body, Not(HasSubstr("secret")));
    const auto climbEncoded = Get(m_port, "/downloads/one/%2e%2e/%2e%2e/secret.txt");
    EXPECT_THAT(climbEncoded.body, Not(HasSubstr("secret")));

    // Running, restarted by a second start (which also publishes areas added meanwhile), stopped.
    const auto status = Run({"status", "--dir", run});
    EXPECT_EQ(status.exitCode, 0);
    EXPECT_THAT(status.out, HasSubstr("at http://127.0.0.1:" + std::to_string(m_port)));
    const std::string webPid = testsupport::ReadFile(run + "/dorvale-web.pid");
    EXPECT_THAT(status.out, HasSubstr("dorvale-web " + webPid.substr(0, webPid.find('\n')) +
                                      " serves /dorvale/do/ from " + run + "/dorvale-web.sock"));
    // The visitors' service gone while nginx goes on: said, and not a site that runs.
    const pid_t web = static_cast<pid_t>(std::stol(webPid));
    ASSERT_EQ(kill(web, SIGTERM), 0);
    for (int i = 0; i < 500 && kill(web, 0) == 0; ++i) {
        usleep(20000);
    }
    const auto webGone = Run({"status", "--dir", run});
    EXPECT_EQ(webGone.exitCode, 1);
    EXPECT_THAT(webGone.out, HasSubstr("nginx "));
    EXPECT_THAT(webGone.out, HasSubstr("dorvale-web does not serve from " + run));
    const std::string firstPid = testsupport::ReadFile(run + "/nginx.pid");
    Put(m_dir / "files/three/t.txt", "three");
    AddArea("Three", m_dir / "files/three", "/three", AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY);
    const auto again = Run({"start", "--dir", run, "--port", std::to_string(m_port)});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_NE(testsupport::ReadFile(run + "/nginx.pid"), firstPid);
    EXPECT_EQ(Get(m_port, "/three/t.txt").body, "three");

    const auto stopped = Run({"stop", "--dir", run});
    EXPECT_EQ(stopped.exitCode, 0) << stopped.err;
    EXPECT_THAT(stopped.out, HasSubstr("Stopped nginx"));
    EXPECT_EQ(Get(m_port, "/dorvale/index.asp").status, 0);
    EXPECT_FALSE(fs::exists(run + "/nginx.pid"));
    EXPECT_EQ(Run({"status", "--dir", run}).exitCode, 1);
    const auto stopAgain = Run({"stop", "--dir", run});
    EXPECT_EQ(stopAgain.exitCode, 0);
    EXPECT_THAT(stopAgain.out, HasSubstr("was not serving"));
}

TEST_F(Serve, NothingButTheAreasFilesIsPublishedAndNeverByRoot) {
    MakeInstallation();
    Put(m_dir / "files/one/.htpasswd", "admin:secret");
    Put(m_dir / "files/one/.git/config", "[core]");
    Put(m_dir / "files/one/up.zip", "upload");
    Put(m_dir / "files/one/up.zip.desc", "Email=uploader@example.org");
    Put(m_dir / "files/one/UP.DESC", "Email=uploader@example.org");
    fs::create_symlink("/etc/passwd", m_dir / "files/one/passwd.zip");
    fs::create_symlink(m_dir / "secret.txt", m_dir / "files/one/secret.zip");
    fs::create_directories(m_dir / "files/one/in");
    fs::create_directory_symlink("/etc", m_dir / "files/one/in/etc");
    const std::uint32_t local = AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY;
    AddArea("Everything", "/", "/everything", local);
    AddArea("Climbing", m_dir / "files/one/../../../../../../../etc", "/climbing", local);
    AddArea("Database", m_dir / "db", "/database", local);
    AddArea("Parent", m_dir.Path(), "/parent", local);
    AddArea("System", "/var/lib/dorvale/x", "/system", local);

    const std::string run = m_dir / "run";
    const auto started = Run({"start", "--dir", run, "--port", std::to_string(m_port)});
    ASSERT_EQ(started.exitCode, 0) << started.err;
    for (const char* refused : {"Everything", "Climbing", "Database", "Parent", "System"}) {
        EXPECT_THAT(started.err, HasSubstr(std::string("area ") + refused + ": "));
    }
    EXPECT_THAT(started.err, HasSubstr("not published: it is the root of the file system"));
    EXPECT_THAT(started.err, HasSubstr("not published: it is the system directory /etc"));
    EXPECT_THAT(started.err, HasSubstr("holds Dorvale's own " + (m_dir / "db")));
    for (const char* target :
         {"/everything/etc/passwd", "/climbing/passwd", "/database/filearea.dat",
          "/parent/registry/HKLM.reg", "/parent/secret.txt"}) {
        EXPECT_EQ(Get(m_port, target).status, 404) << target;
    }

    EXPECT_EQ(Get(m_port, "/downloads/one/up.zip").body, "upload");
    for (const char* hidden :
         {"/downloads/one/up.zip.desc", "/downloads/one/UP.DESC", "/downloads/one/.htpasswd",
          "/downloads/one/.git/config", "/downloads/one/%2ehtpasswd"}) {
        EXPECT_EQ(Get(m_port, hidden).status, 404) << hidden;
    }
    for (const char* link : {"/downloads/one/passwd.zip", "/downloads/one/secret.zip",
                             "/downloads/one/in/etc/passwd"}) {
        const auto answer = Get(m_port, link);
        EXPECT_NE(answer.status, 200) << link;
        EXPECT_THAT(answer.body, Not(HasSubstr("root:"))) << link;
        EXPECT_THAT(answer.body, Not(HasSubstr("secret"))) << link;
    }

    // Started as root, the workers run as an unprivileged account.
    const long master = std::stol(testsupport::ReadFile(run + "/nginx.pid"));
    const std::vector<long> workers = ChildUids(master);
    ASSERT_FALSE(workers.empty());
    for (long uid : workers) {
        EXPECT_NE(uid, 0);
    }
    if (geteuid() == 0) {
        EXPECT_THAT(testsupport::ReadFile(run + "/nginx.conf"),
                    testing::AnyOf(HasSubstr("user www-data "), HasSubstr("user nobody ")));
    }
}

TEST_F(Serve, FailuresAreExplained) {
    // No settings at all.
    const auto noPath = Run({"start", "--dir", m_dir / "run", "--port", std::to_string(m_port)});
    EXPECT_EQ(noPath.exitCode, 1);
    EXPECT_THAT(noPath.err, HasSubstr("HttpPath"));

    MakeInstallation();
    // The port is taken by someone else.
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(static_cast<uint16_t>(m_port));
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(listen(fd, 1), 0);
    const auto busy = Run({"start", "--dir", m_dir / "run", "--port", std::to_string(m_port)});
    close(fd);
    EXPECT_EQ(busy.exitCode, 1);
    EXPECT_THAT(busy.err, HasSubstr("nginx did not start"));
    EXPECT_THAT(busy.err, HasSubstr("Address already in use"));
    EXPECT_EQ(Run({"status", "--dir", m_dir / "run"}).exitCode, 1);

    const auto noNginx = Run({"start", "--dir", m_dir / "run", "--port", std::to_string(m_port),
                              "--nginx", m_dir / "no-nginx"});
    EXPECT_EQ(noNginx.exitCode, 1);
    EXPECT_THAT(noNginx.err, HasSubstr("cannot run"));

    // A directory that cannot be made: one line saying so (after the areas' warnings), no
    // exception.
    for (const char* dir : {"/proc/x", "/dev/null/x"}) {
        const auto unmade = Run({"config", "--dir", dir});
        EXPECT_EQ(unmade.exitCode, 1) << dir;
        const std::size_t last = unmade.err.rfind('\n', unmade.err.size() - 2);
        const std::string lastLine = unmade.err.substr(last == std::string::npos ? 0 : last + 1);
        EXPECT_THAT(lastLine, testing::StartsWith("dorvale-serve: cannot create the directory " +
                                                  std::string(dir)));
        for (std::size_t at = 0; at < unmade.err.size(); at = unmade.err.find('\n', at) + 1) {
            EXPECT_EQ(unmade.err.compare(at, 15, "dorvale-serve: "), 0) << unmade.err;
        }
    }

    // A path nginx cannot be given safely.
    SetSetting(settings::HttpPath, m_dir / "si$te");
    const auto dollar = Run({"config", "--dir", m_dir / "run"});
    EXPECT_EQ(dollar.exitCode, 1);
    EXPECT_THAT(dollar.err, HasSubstr("must not hold"));
    SetSetting(settings::HttpPath, m_dir / "site/");

    // A store whose ids are out of order would lose areas from every search by id.
    const fs::path store = m_dir / "db/filearea.dat";
    const std::string whole = testsupport::ReadFile(store);
    std::string swapped = whole;
    std::swap_ranges(swapped.begin() + AREA_RECORD_SIZE, swapped.begin() + 2 * AREA_RECORD_SIZE,
                     swapped.begin() + 2 * AREA_RECORD_SIZE);
    testsupport::WriteFile(store, swapped);
    const auto damaged = Run({"config", "--dir", m_dir / "run"});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_THAT(damaged.err, HasSubstr(store.string() + " is damaged: its area ids are not in "
                                                        "ascending order"));
    testsupport::WriteFile(store, whole);

    // A hive that cannot be parsed is not a missing setting.
    const std::string hive = RegGetHivePath(HKEY_LOCAL_MACHINE);
    const std::string text = testsupport::ReadFile(hive);
    testsupport::WriteFile(hive, text + "\n[HKEY_LOCAL_MACHINE\\Broken\n");
    const auto unreadable = Run({"config", "--dir", m_dir / "run"});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_THAT(unreadable.err, HasSubstr("the registry cannot be read: " + hive + ":"));
    EXPECT_THAT(unreadable.err, HasSubstr("a key line must end with ]"));
    EXPECT_THAT(unreadable.err, Not(HasSubstr("HttpPath")));
    testsupport::WriteFile(hive, text);
}

TEST_F(Serve, InstallPutsTemplatesAndAssetsWhereThePagesFindThem) {
    MakeInstallation();
    const auto installed = Run({"install"});
    ASSERT_EQ(installed.exitCode, 0) << installed.err;
    const fs::path source = fs::path(DORVALE_SOURCE_DIR) / "templates";
    int templates = 0;
    for (const auto& entry : fs::directory_iterator(source)) {
        if (entry.path().extension() == ".tmpl") {
            ++templates;
            EXPECT_EQ(testsupport::ReadFile(
                          m_dir / ("install/templates/" + entry.path().filename().string())),
                      testsupport::ReadFile(entry.path()));
        }
    }
    EXPECT_EQ(templates, 9); // the seven pages, the upload page and the search's query file
    EXPECT_EQ(testsupport::ReadFile(m_dir / "site/assets/dorvale.css"),
              testsupport::ReadFile(source / "assets/dorvale.css"));
    EXPECT_THAT(installed.out, HasSubstr("templates into " + (m_dir / "install/templates")));

    // Another set, replacing what is there.
    Put(m_dir / "mine/grouplist.tmpl", "mine");
    Put(m_dir / "mine/assets/img/logo.svg", "<svg/>");
    const auto mine = Run({"install", "--templates", m_dir / "mine"});
    ASSERT_EQ(mine.exitCode, 0) << mine.err;
    EXPECT_THAT(mine.out, HasSubstr("Copied 2 files"));
    EXPECT_EQ(testsupport::ReadFile(m_dir / "install/templates/grouplist.tmpl"), "mine");
    EXPECT_EQ(testsupport::ReadFile(m_dir / "site/assets/img/logo.svg"), "<svg/>");

    Put(m_dir / "empty/readme.txt", "no templates");
    const auto empty = Run({"install", "--templates", m_dir / "empty"});
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_THAT(empty.err, HasSubstr("no *.tmpl files"));
    SetSetting(settings::InstallDir, "");
    const auto noInstallDir = Run({"install"});
    EXPECT_EQ(noInstallDir.exitCode, 1);
    EXPECT_THAT(noInstallDir.err, HasSubstr("InstallDir"));
}

} // namespace
