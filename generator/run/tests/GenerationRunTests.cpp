#include "MemoryEnvironment.h"
#include "RunTestSupport.h"

#include <clocale>
#include <gtest/gtest.h>
#include <regex>
#include <sys/stat.h>

using namespace runtest;
namespace fs = std::filesystem;

namespace {

CFileDetail File(long long id, std::string title, long long downloads, CDate date) {
    CFileDetail file;
    file.fileId = id;
    file.title = std::move(title);
    file.size = 1000 * id;
    file.shortDesc = "about " + std::to_string(id);
    file.downloads = downloads;
    file.fileDate = date;
    file.version = "1." + std::to_string(id);
    return file;
}

// A site of its own: the output and installation directories, templates, and the sources.
struct CRunSite {
    CRunSite() {
        std::setlocale(LC_ALL, "C");
        settings.httpServer = "http://www.example.com/";
        settings.ftpServer = "ftp://ftp.example.com";
        settings.httpPath = (dir.Path() / "site").string();
        settings.installDir = (dir.Path() / "install").string();
        fs::create_directories(dir.Path() / "site");
        WriteTemplates(dir.Path() / "install");
    }

    // Groups "Fun" {Games, Private} and "Hidden" {Private}; areas Games (1, files 1-12),
    // Private (2, not downloadable, no files) and Tools (5, file 3, in no group).
    void MakeCatalogue() {
        env.areas.areas = {{1, "Games", true}, {2, "Private", false}, {5, "Tools", true}};
        env.areas.aliases = {{"/games", "/pub/games"}, {}, {"/tools", ""}};
        CMemoryFileGroup fun;
        fun.name = "Fun";
        fun.areas = {{1, "Games", true}, {2, "Private", false}};
        CMemoryFileGroup hidden;
        hidden.name = "Hidden";
        hidden.areas = {{2, "Private", false}};
        env.groups.groups = {fun, hidden};
        for (int id = 1; id <= 12; ++id) {
            env.catalogue.files.push_back(File(id,
                                               "File " + std::string(1, char('a' + (id * 5) % 12)),
                                               id * 7 % 13, CDate{2000 + id, 1 + id % 12, 1 + id}));
            env.catalogue.areas[1].push_back(id);
        }
        env.catalogue.areas[5] = {3};
        env.catalogue.downloads.locations[1] = {"local://1/games/a b.zip", "http://x.org/f/1.zip"};
        env.catalogue.downloads.locations[3] = {"local://5/t.zip", "local://7/lost.zip"};
    }

    void Generate() {
        CGenerationRun run(settings, env, window, stop);
        run.Run();
        startStamp = run.GetStartStamp();
        filesProcessed = run.GetFilesProcessed();
        error = run.HasError();
        tree = ReadTree(dir.Path() / "site");
    }

    std::string Log() { return testsupport::ReadFile(settings.installDir + "/Sheetforge.log"); }
    // The log between its start and stop lines.
    std::string LogBody() {
        const std::string log = Log();
        const std::size_t start = log.find('\n') + 1;
        const std::size_t stop = log.rfind("Stop generation on ");
        return log.substr(start, stop - start);
    }

    testsupport::CTempDir dir;
    CGenerationSettings settings;
    CMemoryEnvironment env;
    CRecordingWindow window;
    CManualResetEvent stop;
    std::map<std::string, std::string> tree;
    std::string startStamp;
    std::uint32_t filesProcessed = 0;
    bool error = false;
};

class GenerationRunTest : public ::testing::Test, public CRunSite {};

std::vector<std::string> Pages(const std::string& prefix, int count) {
    std::vector<std::string> pages;
    for (const char* sort : {"date", "downloads", "title"}) {
        for (int page = 1; page <= count; ++page) {
            pages.push_back(prefix + std::to_string(page) + "-" + sort + ".asp");
        }
    }
    return pages;
}

// Every page of MakeCatalogue's site, by path.
std::vector<std::string> ExpectedSitePaths() {
    std::vector<std::string> expected = {"areas/Fun.asp", "areas/Hidden.asp"};
    for (int id = 1; id <= 12; ++id) {
        expected.push_back("details/" + std::to_string(id) + ".asp");
        expected.push_back("download/" + std::to_string(id) + ".asp");
    }
    for (auto list : {Pages("files/Fun/1/page", 2), Pages("files/Fun/2/page", 1),
                      Pages("files/Hidden/2/page", 1), Pages("files/body/1/page", 2),
                      Pages("files/body/5/page", 1), Pages("files/body/newest/page", 2),
                      Pages("files/body/popular/page", 2), Pages("files/~top/newest/page", 1),
                      Pages("files/~top/popular/page", 1)}) {
        expected.insert(expected.end(), list.begin(), list.end());
    }
    for (const char* header : {"files/header/Fun/area1.asp", "files/header/Fun/area2.asp",
                               "files/header/Hidden/area2.asp", "index.asp"}) {
        expected.push_back(header);
    }
    std::sort(expected.begin(), expected.end());
    return expected;
}

} // namespace

TEST_F(GenerationRunTest, WritesEveryPageOfTheSite) {
    MakeCatalogue();
    Generate();
    EXPECT_FALSE(error);
    EXPECT_EQ(filesProcessed, 12u);
    EXPECT_EQ(TreePaths(tree), ExpectedSitePaths());
}

TEST_F(GenerationRunTest, PagesShowTheirGroupsAreasListsAndFiles) {
    MakeCatalogue();
    Generate();
    // Only groups with a downloadable area are in the index; every group has its pages.
    EXPECT_EQ(tree["index.asp"], "index:[Fun|Fun]\n");
    EXPECT_EQ(tree["areas/Fun.asp"], "areas of Fun (Fun):[1 Games]\n");
    EXPECT_EQ(tree["areas/Hidden.asp"], "areas of Hidden (Hidden):\n");
    EXPECT_EQ(tree["files/header/Fun/area2.asp"], "header Fun 2:[1 Games][2 Private]\n");
    EXPECT_EQ(tree["files/header/Hidden/area2.asp"], "header Hidden 2:[2 Private]\n");
    // Twelve files: ten on the first body page, two on the second.
    EXPECT_EQ(tree["files/body/1/page2-title.asp"], "2 File k 1 03/03/02;7 File l 10 08/08/07;\n");
    EXPECT_EQ(tree["files/body/5/page1-downloads.asp"], "3 File d 8 04/04/03;\n");
    // The top lists hold ten files, so their second body page is empty.
    EXPECT_EQ(tree["files/body/newest/page2-date.asp"], "\n");
    EXPECT_EQ(tree["files/body/newest/page1-date.asp"],
              "12 File a 6 01/13/12;11 File h 12 12/12/11;10 File c 5 11/11/10;"
              "9 File j 11 10/10/09;8 File e 4 09/09/08;7 File l 10 08/08/07;"
              "6 File g 3 07/07/06;5 File b 9 06/06/05;4 File i 2 05/05/04;"
              "3 File d 8 04/04/03;\n");
    EXPECT_EQ(tree["files/Fun/1/page2-title.asp"],
              "Fun/1 title page 2 of 12: 11 - 12|title|"
              "<a href=\"/dorvale/files/Fun/1/page1-title.asp\">[PREVIOUS]</a>&nbsp;"
              "<a href=\"/dorvale/files/Fun/1/page1-title.asp\">1</a>&nbsp;"
              "<font color=999999>2</font>&nbsp;<font color=999999>[NEXT]</font>\n");
    EXPECT_EQ(tree["files/Fun/2/page1-date.asp"],
              "Fun/2 date page 1 of 0: 0 - 0|<a href=\"/dorvale/files/Fun/2/page1-title.asp\">"
              "title</a>|\n");
    EXPECT_EQ(tree["files/~top/popular/page1-title.asp"],
              "~top/popular title page 1 of 10: 1 - 10|title|\n");
    EXPECT_EQ(tree["details/3.asp"],
              "detail 3 File d 2.9 KB 8 Friday, April 04, 2003 1.3  http://www.example.com\n");
    EXPECT_EQ(tree["download/1.asp"],
              "download 1 File f:[local://1/games/a b.zip games/a b.zip "
              "http://www.example.com/games/games/a%20b%2Ezip "
              "ftp://ftp.example.com/pub/games/games/a%20b%2Ezip]"
              "[http://x.org/f/1.zip http://x.org http://x.org/f/1.zip http://x.org/f/1.zip]\n");
    // Area 5 is in no group but its aliases are known; area 7 does not exist.
    EXPECT_EQ(tree["download/3.asp"],
              "download 3 File d:[local://5/t.zip t.zip http://www.example.com/tools/t%2Ezip ]"
              "[local://7/lost.zip lost.zip  ]\n");
}

TEST_F(GenerationRunTest, PostsStatusLinesAndEachPercentOnce) {
    MakeCatalogue();
    Generate();
    EXPECT_EQ(window.Lines(STATUS_LINE1),
              (std::vector<std::string>{
                  "Generating group index", "Generating area body pages...",
                  "Generating group pages: Fun", "Generating group pages: Hidden",
                  "Generating newest file pages...", "Generating most popular file pages...\n",
                  "Generating file detail and download pages..."}));
    std::vector<std::string> line2 = {"Area: Most popular files",
                                      "Area: Newest files",
                                      "Area: Games",
                                      "Area: Private",
                                      "Area: Tools",
                                      "Area: Games",
                                      "Area: Private",
                                      "Area: Private"};
    for (const CFileDetail& file : env.catalogue.files) {
        line2.push_back(file.title);
    }
    EXPECT_EQ(window.Lines(STATUS_LINE2), line2);
    // 41 steps in all: each percent is posted once, rising to 100.
    const std::vector<int> percents = window.Percents();
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), 2);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end());
    EXPECT_EQ(percents.size(), 41u);
    EXPECT_EQ(window.Messages().back(), (CMessage{STATUS_FINISHED, "", 0}));
    EXPECT_EQ(env.initialized, 1);
    EXPECT_EQ(env.uninitialized, 1);
}

TEST_F(GenerationRunTest, LogsOnlyTheStartAndStopLinesWhenAllGoesWell) {
    MakeCatalogue();
    Generate();
    const std::string log = Log();
    EXPECT_EQ(log.rfind("Start generation on " + startStamp + "\n", 0), 0u) << log;
    EXPECT_NE(log.find("\nStop generation on "), std::string::npos);
    const std::string stopLine = log.substr(log.find("\nStop generation on ") + 1);
    EXPECT_TRUE(std::regex_match(
        stopLine, std::regex("Stop generation on ../../.. at ..:..:.., processed 12 files\n")))
        << stopLine;
    EXPECT_TRUE(std::regex_match(startStamp, std::regex("../../.. at ..:..:..")));
    EXPECT_EQ(LogBody(), "");
}

TEST_F(GenerationRunTest, PagesAreCreatedUnderTheProcessFileMask) {
    MakeCatalogue();
    // Readable by the web server like any file the process creates.
    const mode_t mask = ::umask(027);
    Generate();
    ::umask(mask);
    EXPECT_EQ(fs::status(dir.Path() / "site" / "details" / "1.asp").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(GenerationRunTest, ASecondRunReplacesPagesInPlaceWithoutLeftovers) {
    MakeCatalogue();
    Generate();
    const std::vector<std::string> expected = ExpectedSitePaths();
    testsupport::WriteFile(dir.Path() / "site" / "index.asp", "old");
    testsupport::WriteFile(dir.Path() / "site" / "stale.asp", "kept");
    env.groups.groups.pop_back();
    Generate();
    EXPECT_EQ(tree["index.asp"], "index:[Fun|Fun]\n");
    EXPECT_EQ(tree["stale.asp"], "kept");
    EXPECT_EQ(tree.size(), expected.size() + 1);
    for (const auto& [path, content] : tree) {
        EXPECT_EQ(path.find("/."), std::string::npos) << path;
        EXPECT_NE(path[0], '.') << path;
    }
}

TEST_F(GenerationRunTest, EmptyCatalogueAndListsOfExactlyTenRows) {
    env.areas.areas = {{4, "Empty", true}};
    CMemoryFileGroup group;
    group.name = "Only & Only";
    group.areas = {{4, "Empty", true}};
    env.groups.groups = {group};
    Generate();
    EXPECT_FALSE(error);
    EXPECT_EQ(filesProcessed, 0u);
    // No body pages anywhere and no top-list pages; the area still gets its pages 1.
    std::vector<std::string> expected = Pages("files/Only & Only/4/page", 1);
    expected.insert(expected.begin(), "areas/Only & Only.asp");
    expected.push_back("files/header/Only & Only/area4.asp");
    expected.push_back("index.asp");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(TreePaths(tree), expected);
    EXPECT_EQ(tree["index.asp"], "index:[Only &amp; Only|Only%20%26%20Only]\n");
    EXPECT_EQ(tree["files/Only & Only/4/page1-title.asp"],
              "Only &amp; Only/4 title page 1 of 0: 0 - 0|title|\n");
    EXPECT_EQ(window.Percents().back(), 100);

    // Ten files: the first body page holds all, the second none.
    for (int id = 1; id <= 10; ++id) {
        env.catalogue.files.push_back(File(id, "T" + std::to_string(id), id, CDate{2001, 1, id}));
        env.catalogue.areas[4].push_back(id);
    }
    Generate();
    EXPECT_EQ(filesProcessed, 10u);
    for (const char* body : {"files/body/4/page1-title.asp", "files/body/4/page2-title.asp",
                             "files/body/4/page2-date.asp", "files/body/newest/page2-title.asp"}) {
        EXPECT_EQ(tree.count(body), 1u) << body;
    }
    EXPECT_EQ(tree["files/body/4/page2-downloads.asp"], "\n");
    EXPECT_EQ(tree.count("files/body/4/page3-title.asp"), 0u);
    EXPECT_EQ(tree.count("files/Only & Only/4/page2-title.asp"), 0u);

    // Emptied again: the first body page the last run wrote goes, on any number of threads.
    env.catalogue.areas[4].clear();
    for (int jobs : {1, 2}) {
        settings.jobs = jobs;
        testsupport::WriteFile(dir.Path() / "site/files/body/4/page1-title.asp", "old");
        Generate();
        EXPECT_FALSE(error) << LogBody();
        EXPECT_EQ(tree.count("files/body/4/page1-title.asp"), 0u) << jobs;
        EXPECT_EQ(tree.count("files/body/newest/page1-title.asp"), 1u) << jobs;
    }
}

TEST_F(GenerationRunTest, AnIncludeReadsThePagesThisRunWroteBeforeIt) {
    MakeCatalogue();
    // Each file page includes its group's area list, written just before it; the include
    // must find that page whole, however many threads write.
    WriteTemplates(dir.Path() / "install", {{"filepage.tmpl", "[@includedef group,areas/none.asp@]"}});
    for (int jobs : {1, 2}) {
        fs::remove_all(dir.Path() / "site");
        settings.jobs = jobs;
        Generate();
        EXPECT_FALSE(error) << LogBody();
        ASSERT_EQ(tree.count("areas/Fun.asp"), 1u);
        EXPECT_EQ(tree["files/Fun/1/page2-date.asp"], "[" + tree["areas/Fun.asp"] + "]") << jobs;
        EXPECT_EQ(tree["files/Hidden/2/page1-title.asp"], "[" + tree["areas/Hidden.asp"] + "]")
            << jobs;
    }
}

TEST_F(GenerationRunTest, EveryFailureIsReportedLoggedAndEndsTheRun) {
    struct CCase {
        const char* name;
        std::function<void(CRunSite&)> arrange;
        std::string logged; // between the start and the stop line
        bool indexWritten;
    };
    const std::vector<CCase> cases = {
        {"group collection", [](auto& t) { t.env.failGroups = true; },
         "Could not create Catalink.GroupCollection\n\n", false},
        {"area collection", [](auto& t) { t.env.failAreas = true; },
         "Could not create Catalink.AreaCollection\n\n", false},
        {"data source", [](auto& t) { t.env.failCatalogue = true; },
         "[driver] no such data source\nCould not open Dorvale database\n\n", false},
        {"missing template",
         [](auto& t) {
             WriteTemplates(t.dir.Path() / "other", {}, {"filedetail.tmpl"});
             t.settings.installDir = (t.dir.Path() / "other").string();
         },
         "Could not load filedetail.tmpl\n\n", false},
        {"compile error",
         [](auto& t) {
             WriteTemplates(t.dir.Path() / "install", {{"areaheader.tmpl", "a\n@if group@\nb\n"}});
         },
         "Compile error on file areaheader.tmpl\n\nError: endif expected, Line: 3", false},
        {"count not opened", [](auto& t) { t.env.catalogue.countResult = EOpenResult::NotOpened; },
         "Could not count records in file database\n\n", false},
        {"count failed", [](auto& t) { t.env.catalogue.countResult = EOpenResult::Error; },
         "Database error counting records\n", false},
        {"list query failed",
         [](auto& t) {
             t.env.catalogue.listResults[std::make_pair(1LL, int(SORT_DATE))] = EOpenResult::Error;
         },
         "Error processing database\n", true},
        {"list row failed",
         [](auto& t) { t.env.catalogue.listFailAt[std::make_pair(AREA_KEY_NEWEST, 0)] = 3; },
         "Error processing database\n", true},
        {"detail query failed",
         [](auto& t) { t.env.catalogue.detailResult = EOpenResult::NotOpened; },
         "Error processing database\n", true},
        {"detail row failed", [](auto& t) { t.env.catalogue.detailFailAt = 2; },
         "Error processing database\n", true},
        {"group item failed", [](auto& t) { t.env.groups.failItem = 2; },
         "Error reading file areas and groups from Catalink\n\n", false},
        {"area item failed", [](auto& t) { t.env.areas.failItem = 3; },
         "Error reading file areas and groups from Catalink\n\n", true},
        {"member failed", [](auto& t) { t.env.groups.groups[0].failItem = 2; },
         "Error reading file areas and groups from Catalink\n\n", true},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        CRunSite t;
        t.MakeCatalogue();
        c.arrange(t);
        t.Generate();
        EXPECT_TRUE(t.error);
        EXPECT_EQ(t.LogBody(), c.logged);
        EXPECT_EQ(t.tree.count("index.asp"), c.indexWritten ? 1u : 0u);
        EXPECT_EQ(t.window.Lines(STATUS_LINE2).back(),
                  "Error generating, check Sheetforge.log for details");
        EXPECT_EQ(t.window.Messages().back().code, STATUS_FINISHED);
        EXPECT_EQ(t.env.uninitialized, 1);
        EXPECT_NE(t.Log().find(", processed "), std::string::npos);
    }

    // The detail failure after two files: those two are counted.
    CRunSite t;
    t.MakeCatalogue();
    t.env.catalogue.detailFailAt = 2;
    t.Generate();
    EXPECT_EQ(t.filesProcessed, 2u);
    EXPECT_NE(t.Log().find(", processed 2 files\n"), std::string::npos);

    // A list query that does not open leaves that list out without an error.
    CRunSite u;
    u.MakeCatalogue();
    u.env.catalogue.listResults[std::make_pair(1LL, int(SORT_DOWNLOADS))] = EOpenResult::NotOpened;
    u.Generate();
    EXPECT_FALSE(u.error);
    EXPECT_EQ(u.tree.count("files/body/1/page1-title.asp"), 1u);
    EXPECT_EQ(u.tree.count("files/body/1/page1-downloads.asp"), 0u);
    EXPECT_EQ(u.tree.count("files/body/1/page1-date.asp"), 1u);
    EXPECT_EQ(u.filesProcessed, 12u);

    // Without the component runtime nothing is created; the failure still counts as one.
    CRunSite v;
    v.env.failInitialize = true;
    v.Generate();
    EXPECT_TRUE(v.error);
    EXPECT_EQ(v.window.Lines(STATUS_LINE2), std::vector<std::string>{"CoInitialize failed\n"});
    EXPECT_EQ(v.LogBody(), "");
    EXPECT_EQ(v.env.uninitialized, 0);
}

TEST_F(GenerationRunTest, AStopRequestEndsTheRunAtItsNextTest) {
    MakeCatalogue();
    // Stopped while the body pages of the newest files are about to be written.
    window.onMessage = [this](const CMessage& message) {
        if (message.text == "Area: Newest files") {
            stop.Set();
        }
    };
    Generate();
    EXPECT_FALSE(error);
    EXPECT_EQ(filesProcessed, 0u);
    EXPECT_EQ(TreePaths(tree),
              (std::vector<std::string>{
                  "files/body/popular/page1-date.asp", "files/body/popular/page1-downloads.asp",
                  "files/body/popular/page1-title.asp", "files/body/popular/page2-date.asp",
                  "files/body/popular/page2-downloads.asp", "files/body/popular/page2-title.asp",
                  "index.asp"}));
    EXPECT_EQ(window.Lines(STATUS_LINE1).back(), "Generating area body pages...");
    EXPECT_EQ(window.Messages().back().code, STATUS_FINISHED);
    EXPECT_NE(Log().find(", processed 0 files\n"), std::string::npos);
    EXPECT_EQ(LogBody(), "");
    EXPECT_EQ(env.uninitialized, 1);

    // Stopped during the detail pages: the file whose detail page was written last is not
    // counted, its download page is not written.
    stop.Reset();
    fs::remove_all(dir.Path() / "site");
    window.onMessage = [this](const CMessage& message) {
        if (message.text == env.catalogue.files[2].title && message.code == STATUS_LINE2) {
            stop.Set();
        }
    };
    Generate();
    EXPECT_EQ(filesProcessed, 2u);
    EXPECT_EQ(tree.count("details/3.asp"), 1u);
    EXPECT_EQ(tree.count("download/3.asp"), 0u);
    EXPECT_EQ(tree.count("details/4.asp"), 0u);
    EXPECT_NE(Log().find(", processed 2 files\n"), std::string::npos);

    // Stopped during the file pages of a group: the page is finished, nothing after it.
    stop.Reset();
    fs::remove_all(dir.Path() / "site");
    int games = 0;
    window.onMessage = [this, &games](const CMessage& message) {
        if (message.text == "Area: Games" && ++games == 2) {
            stop.Set();
        }
    };
    Generate();
    EXPECT_EQ(tree.count("files/header/Fun/area1.asp"), 0u);
    EXPECT_EQ(tree.count("areas/Fun.asp"), 1u);
}

TEST_F(GenerationRunTest, LooplessListsEnd) {
    MakeCatalogue();
    // A body template without a loop would never meet the end of its rows.
    WriteTemplates(dir.Path() / "install", {{"filelist.tmpl", "no rows here"}});
    Generate();
    EXPECT_FALSE(error);
    // No rows were listed, so the areas count as empty.
    EXPECT_EQ(tree.count("files/body/1/page1-title.asp"), 0u);
    EXPECT_EQ(tree["files/Fun/1/page1-title.asp"], "Fun/1 title page 1 of 0: 0 - 0|title|\n");
    EXPECT_EQ(filesProcessed, 12u);
}

TEST_F(GenerationRunTest, APageThatCannotBeWrittenIsAnErrorAndTheRunGoesOn) {
    MakeCatalogue();
    // A file where the detail pages' directory belongs: each detail page fails, named with
    // its path and the reason; the other pages are written; only files with both pages count.
    testsupport::WriteFile(dir.Path() / "site" / "details", "a file, not a directory");
    Generate();
    EXPECT_TRUE(error);
    EXPECT_EQ(filesProcessed, 0u);
    EXPECT_EQ(tree.count("download/12.asp"), 1u);
    EXPECT_EQ(tree.count("files/Fun/1/page1-title.asp"), 1u);
    const std::string details = settings.httpPath + "/details/";
    EXPECT_NE(LogBody().find("Could not write page " + details + "1.asp: Not a directory\n"),
              std::string::npos)
        << LogBody();
    // Ten are named, the rest counted.
    EXPECT_EQ(LogBody().find(details + "11.asp"), std::string::npos);
    EXPECT_NE(LogBody().find("\n12 pages could not be written in all\n"), std::string::npos);
    EXPECT_EQ(window.Lines(STATUS_LINE2).back(),
              "Error generating, check Sheetforge.log for details");
    EXPECT_EQ(window.Percents().back(), 100);
    EXPECT_EQ(env.catalogue.downloads.opens, 12);

    // A group name of 249 letters makes a page name of 253 bytes, within the 255 a name may
    // have; its temporary file must fit beside it too.
    fs::remove(dir.Path() / "site" / "details");
    const std::string longName(249, 'g');
    env.groups.groups[1].name = longName;
    Generate();
    EXPECT_FALSE(error) << LogBody();
    EXPECT_EQ(filesProcessed, 12u);
    EXPECT_EQ(tree.count("areas/" + longName + ".asp"), 1u);
    EXPECT_EQ(tree.count("files/header/" + longName + "/area2.asp"), 1u);

    // An output directory that cannot be created: every page fails, and the run still reads
    // everything.
    fs::remove_all(dir.Path() / "site");
    testsupport::WriteFile(dir.Path() / "site", "a file, not a directory");
    Generate();
    EXPECT_TRUE(error);
    EXPECT_EQ(filesProcessed, 0u);
    EXPECT_NE(LogBody().find("Could not write page " + settings.httpPath +
                             "/index.asp: Not a directory\n"),
              std::string::npos)
        << LogBody();
    EXPECT_EQ(window.Percents().back(), 100);
    EXPECT_EQ(env.catalogue.downloads.opens, 24 + 12);
}

TEST(StatusText, IsCutToItsBufferWithoutSplittingACharacter) {
    EXPECT_EQ(LimitStatusText("short"), "short");
    std::string text(1022, 'a');
    text += "\xc3\xa9"; // é across the 1023-byte limit
    EXPECT_EQ(LimitStatusText(text), std::string(1022, 'a'));
    EXPECT_EQ(LimitStatusText(std::string(2000, 'b')).size(), 1023u);
    EXPECT_EQ(TrimStatusText("Generating most popular file pages...\n"),
              "Generating most popular file pages...");
    EXPECT_EQ(TrimStatusText("CoInitialize failed\r\n"), "CoInitialize failed");
}

TEST_F(GenerationRunTest, PagesWrittenOnSeveralThreadsAreTheSameAsOnOne) {
    MakeCatalogue();
    // Enough files that the threads overtake one another, each with its own locations.
    for (int id = 13; id <= 700; ++id) {
        env.catalogue.files.push_back(
            File(id, "Bulk " + std::to_string(id * 7919 % 1000), id % 31, {1990 + id % 30, 1, 1}));
        env.catalogue.areas[1 + 4 * (id % 2)].push_back(id);
        for (int n = 0; n < id % 4; ++n) {
            env.catalogue.downloads.locations[id].push_back("local://" + std::to_string(1 + n) +
                                                            "/f" + std::to_string(id) + ".zip");
        }
    }
    const auto generate = [this](int jobs) {
        fs::remove_all(dir.Path() / "site");
        window.Clear();
        settings.jobs = jobs;
        Generate();
        EXPECT_FALSE(error);
        return std::make_pair(tree, window.Messages());
    };
    const auto one = generate(1);
    ASSERT_GT(one.first.size(), 2 * 700u) << "details, downloads and lists";
    EXPECT_EQ(filesProcessed, 700u);
    EXPECT_NE(one.first.at("download/15.asp").find("local://3/f15.zip"), std::string::npos);
    for (int jobs : {2, 4}) {
        const auto several = generate(jobs);
        EXPECT_EQ(several.first, one.first) << jobs << " threads";
        EXPECT_EQ(several.second, one.second) << jobs << " threads";
        EXPECT_EQ(filesProcessed, 700u);
    }

    // A stop leaves the same pages whatever the threads: those handed over before it.
    window.onMessage = [this](const CMessage& message) {
        if (message.text == "Bulk " + std::to_string(400 * 7919 % 1000)) {
            stop.Set();
        }
    };
    std::map<std::string, std::string> stopped;
    for (int jobs : {1, 3}) {
        stop.Reset();
        fs::remove_all(dir.Path() / "site");
        settings.jobs = jobs;
        Generate();
        EXPECT_EQ(filesProcessed, 399u);
        EXPECT_EQ(tree.count("details/400.asp"), 1u);
        EXPECT_EQ(tree.count("download/400.asp"), 0u);
        EXPECT_EQ(tree.count("details/401.asp"), 0u);
        if (jobs == 1) {
            stopped = tree;
        } else {
            EXPECT_EQ(tree, stopped);
        }
    }
}
