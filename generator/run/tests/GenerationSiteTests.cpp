// Whole sites generated from the registered Catalink library and a real catalogue, on
// SQLite and on PostgreSQL.

#include "ComTestSupport.h"
#include "GroupFiles.h"
#include "OdbcCatalogue.h"
#include "RunTestSupport.h"
#include "SiteFixture.h"

#include <clocale>
#include <cstdio>
#include <gtest/gtest.h>

using namespace runtest;
using testsupport::EEngine;

namespace {

// Games (1, downloadable, with aliases) and Tools (3, downloadable) in group Main; Uploads
// (2, uploads only) alone in group Staff, which therefore has no downloadable area.
void WriteSampleAreas(CSite& site) {
    site.WriteAreas({{1, "Games", 5, "/games", "pub/games"},
                     {2, "Uploads", 2, "", ""},
                     {3, "Tools", 1, "", ""}},
                    {{"Main", {1, 3}}, {"Staff", {2}}});
}

std::vector<std::string> Pages(const std::string& prefix, int count) {
    std::vector<std::string> pages;
    for (const char* sort : {"date", "downloads", "title"}) {
        for (int page = 1; page <= count; ++page) {
            pages.push_back(prefix + std::to_string(page) + "-" + sort + ".asp");
        }
    }
    return pages;
}

// The pages every site of the sample areas has, whatever its files.
std::vector<std::string> CommonPages() {
    std::vector<std::string> paths = {"areas/Main.asp",
                                      "areas/Staff.asp",
                                      "files/header/Main/area1.asp",
                                      "files/header/Main/area3.asp",
                                      "files/header/Staff/area2.asp",
                                      "index.asp"};
    for (auto list : {Pages("files/Main/3/page", 1), Pages("files/Staff/2/page", 1)}) {
        paths.insert(paths.end(), list.begin(), list.end());
    }
    return paths;
}

std::vector<std::string> Sorted(std::vector<std::string> paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

void Append(std::vector<std::string>& to, const std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
}

class GenerationSite : public ::testing::TestWithParam<EEngine> {
protected:
    void SetUp() override {
        std::setlocale(LC_ALL, "C");
        m_site = std::make_unique<CSite>(GetParam());
        if (!m_site->IsAvailable()) {
            if (GetParam() == EEngine::PostgreSQL && m_site->why == testsupport::NO_POSTGRES) {
                GTEST_SKIP() << m_site->why;
            }
            FAIL() << m_site->why;
        }
        WriteSampleAreas(*m_site);
    }

    void Generate() {
        CGenerationRun run(m_site->Settings(), *m_environment, m_window, m_stop);
        run.Run();
        m_error = run.HasError();
        m_filesProcessed = run.GetFilesProcessed();
        m_tree = ReadTree(m_site->SitePath());
    }

    std::unique_ptr<CSite> m_site;
    std::unique_ptr<IGenerationEnvironment> m_environment = CreateSystemEnvironment();
    CRecordingWindow m_window;
    CManualResetEvent m_stop;
    std::map<std::string, std::string> m_tree;
    bool m_error = false;
    std::uint32_t m_filesProcessed = 0;
};

std::string EngineName(const ::testing::TestParamInfo<EEngine>& info) {
    return testsupport::EngineName(info.param);
}

} // namespace

TEST_P(GenerationSite, AnEmptyCatalogue) {
    Generate();
    ASSERT_FALSE(m_error) << m_site->Log();
    EXPECT_EQ(m_filesProcessed, 0u);
    // No body pages, no newest or popular pages; every area still has its page 1.
    std::vector<std::string> expected = CommonPages();
    Append(expected, Pages("files/Main/1/page", 1));
    EXPECT_EQ(TreePaths(m_tree), Sorted(expected));
    EXPECT_EQ(m_tree["index.asp"], "index:[Main|Main]\n");
    EXPECT_EQ(m_tree["areas/Main.asp"], "areas of Main (Main):[1 Games][3 Tools]\n");
    EXPECT_EQ(m_tree["areas/Staff.asp"], "areas of Staff (Staff):\n");
    EXPECT_EQ(m_tree["files/header/Main/area3.asp"], "header Main 3:[1 Games][3 Tools]\n");
    EXPECT_EQ(m_tree["files/Main/1/page1-downloads.asp"],
              "Main/1 downloads page 1 of 0: 0 - 0|<a href=\"/dorvale/files/Main/1/"
              "page1-title.asp\">title</a>|\n");
    EXPECT_EQ(m_window.Percents().back(), 100);
    const std::string log = m_site->Log();
    EXPECT_EQ(log.rfind("Start generation on ", 0), 0u);
    EXPECT_NE(log.find("\nStop generation on "), std::string::npos);
    EXPECT_NE(log.find(", processed 0 files\n"), std::string::npos);
}

TEST_P(GenerationSite, SevenFilesInOneAreaAndAGroupWithoutDownloadableAreas) {
    std::vector<CSiteFile> files;
    const char* titles[] = {"Golf", "Alpha", "Echo", "Charlie", "Foxtrot", "Bravo", "Delta"};
    for (int i = 0; i < 7; ++i) {
        CSiteFile file;
        file.title = titles[i];
        file.areas = {1};
        file.downloads = (i * 5) % 7 * 1000;
        file.year = 1998;
        file.month = 3;
        file.day = 2 + i;
        file.size = 1024.0 * (i + 1);
        file.shortDesc = i == 3 ? "" : std::string("About ") + titles[i];
        file.version = "1." + std::to_string(i);
        file.reqForm = i == 1;
        files.push_back(file);
    }
    files[1].locations = {"local://1/alpha file.zip", "http://mirror.example.org/pub/alpha.zip",
                          "local://3/alpha.zip", "local://9/lost.zip"};
    const std::vector<long long> ids = m_site->AddFiles(files);
    ASSERT_EQ(ids.size(), 7u);

    Generate();
    ASSERT_FALSE(m_error) << m_site->Log();
    EXPECT_EQ(m_filesProcessed, 7u);
    std::vector<std::string> expected = CommonPages();
    for (auto list : {Pages("files/Main/1/page", 1), Pages("files/body/1/page", 1),
                      Pages("files/body/newest/page", 1), Pages("files/body/popular/page", 1),
                      Pages("files/~top/newest/page", 1), Pages("files/~top/popular/page", 1)}) {
        Append(expected, list);
    }
    for (long long id : ids) {
        expected.push_back("details/" + std::to_string(id) + ".asp");
        expected.push_back("download/" + std::to_string(id) + ".asp");
    }
    EXPECT_EQ(TreePaths(m_tree), Sorted(expected));

    const std::string a = std::to_string(ids[1]), b = std::to_string(ids[5]),
                      c = std::to_string(ids[3]), d = std::to_string(ids[6]),
                      e = std::to_string(ids[2]), f = std::to_string(ids[4]),
                      g = std::to_string(ids[0]);
    EXPECT_EQ(m_tree["files/body/1/page1-title.asp"],
              a + " Alpha 5,000 03/03/98;" + b + " Bravo 4,000 03/07/98;" + c +
                  " Charlie 1,000 03/05/98;" + d + " Delta 2,000 03/08/98;" + e +
                  " Echo 3,000 03/04/98;" + f + " Foxtrot 6,000 03/06/98;" + g +
                  " Golf 0 03/02/98;\n");
    EXPECT_EQ(m_tree["files/body/popular/page1-downloads.asp"],
              f + " Foxtrot 6,000 03/06/98;" + a + " Alpha 5,000 03/03/98;" + b +
                  " Bravo 4,000 03/07/98;" + e + " Echo 3,000 03/04/98;" + d +
                  " Delta 2,000 03/08/98;" + c + " Charlie 1,000 03/05/98;" + g +
                  " Golf 0 03/02/98;\n");
    EXPECT_EQ(m_tree["files/body/newest/page1-date.asp"].substr(0, d.size() + 6), d + " Delta");
    EXPECT_EQ(m_tree["files/Main/1/page1-date.asp"],
              "Main/1 date page 1 of 7: 1-7|<a href=\"/dorvale/files/Main/1/page1-title.asp\">"
              "title</a>|\n");
    EXPECT_EQ(m_tree["files/~top/newest/page1-title.asp"],
              "~top/newest title page 1 of 7: 1-7|title|\n");
    EXPECT_EQ(m_tree["details/" + a + ".asp"],
              "detail " + a +
                  " Alpha 2.0 KB 5,000 Tuesday, March 03, 1998 1.1 yes http://www.example.com\n");
    EXPECT_EQ(m_tree["details/" + c + ".asp"],
              "detail " + c +
                  " Charlie 4.0 KB 1,000 Thursday, March 05, 1998 1.3  http://www.example.com\n");
    // Locations in the order the database returns them; compare them as a set of rows.
    const std::string download = m_tree["download/" + a + ".asp"];
    EXPECT_EQ(download.rfind("download " + a + " Alpha:", 0), 0u) << download;
    for (const char* row :
         {"[local://1/alpha file.zip alpha file.zip http://www.example.com/games/"
          "alpha%20file%2Ezip ftp://ftp.example.com/pub/games/alpha%20file%2Ezip]",
          "[http://mirror.example.org/pub/alpha.zip http://mirror.example.org "
          "http://mirror.example.org/pub/alpha.zip http://mirror.example.org/pub/alpha.zip]",
          "[local://3/alpha.zip alpha.zip  ]", "[local://9/lost.zip lost.zip  ]"}) {
        EXPECT_NE(download.find(row), std::string::npos) << row << "\n" << download;
    }
    EXPECT_EQ(m_tree["download/" + g + ".asp"], "download " + g + " Golf:\n");
}

TEST_P(GenerationSite, TwentyThreeFilesInOneArea) {
    std::vector<CSiteFile> files;
    for (int i = 1; i <= 23; ++i) {
        CSiteFile file;
        char title[16];
        std::snprintf(title, sizeof title, "File %02d", i);
        file.title = title;
        file.areas = {1};
        file.downloads = i;
        file.year = 2000 + i;
        files.push_back(file);
    }
    ASSERT_EQ(m_site->AddFiles(files).size(), 23u);
    Generate();
    ASSERT_FALSE(m_error) << m_site->Log();
    EXPECT_EQ(m_filesProcessed, 23u);
    std::vector<std::string> expected = CommonPages();
    for (auto list : {Pages("files/Main/1/page", 3), Pages("files/body/1/page", 3),
                      Pages("files/body/newest/page", 2), Pages("files/body/popular/page", 2),
                      Pages("files/~top/newest/page", 1), Pages("files/~top/popular/page", 1)}) {
        Append(expected, list);
    }
    std::size_t details = 0;
    for (const auto& [path, content] : m_tree) {
        details += path.rfind("details/", 0) == 0 || path.rfind("download/", 0) == 0;
    }
    EXPECT_EQ(details, 46u);
    std::vector<std::string> pages;
    for (const std::string& path : TreePaths(m_tree)) {
        if (path.rfind("details/", 0) != 0 && path.rfind("download/", 0) != 0) {
            pages.push_back(path);
        }
    }
    EXPECT_EQ(pages, Sorted(expected));
    EXPECT_EQ(m_tree["files/body/newest/page2-title.asp"], "\n");
    EXPECT_EQ(std::count(m_tree["files/body/1/page3-title.asp"].begin(),
                         m_tree["files/body/1/page3-title.asp"].end(), ';'),
              3);
    EXPECT_EQ(m_tree["files/Main/1/page3-downloads.asp"],
              "Main/1 downloads page 3 of 23: 21 - 23|<a href=\"/dorvale/files/Main/1/"
              "page3-title.asp\">title</a>|<a href=\"/dorvale/files/Main/1/page2-downloads.asp\">"
              "[PREVIOUS]</a>&nbsp;<a href=\"/dorvale/files/Main/1/page1-downloads.asp\">1</a>"
              "&nbsp;<a href=\"/dorvale/files/Main/1/page2-downloads.asp\">2</a>&nbsp;<font "
              "color=999999>3</font>&nbsp;<font color=999999>[NEXT]</font>\n");
    EXPECT_EQ(m_tree["files/~top/popular/page1-title.asp"],
              "~top/popular title page 1 of 10: 1 - 10|title|\n");
    // The most popular are the ten most downloaded, here shown by title.
    EXPECT_EQ(m_tree["files/body/popular/page1-title.asp"].substr(0, 10), "14 File 14");
}

TEST_P(GenerationSite, PagesAreTheSameInAnyLocaleOfTheAdministrator) {
    std::vector<CSiteFile> files(2);
    files[0].title = "Large";
    files[0].size = 1536;
    files[0].downloads = 1234567;
    files[0].year = 1998;
    files[0].month = 3;
    files[0].day = 2;
    files[1].title = "Larger";
    files[1].size = 2.5 * 1024000;
    files[0].areas = files[1].areas = {1};
    const std::vector<long long> ids = m_site->AddFiles(files);
    ASSERT_EQ(ids.size(), 2u);
    Generate();
    ASSERT_FALSE(m_error) << m_site->Log();
    const std::map<std::string, std::string> english = m_tree;

    std::string why;
    if (!testsupport::UseGermanLocale(why)) {
        GTEST_SKIP() << why;
    }
    // The locale really is German here: its decimal point is a comma.
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    EXPECT_STREQ(probe, "1,5");
    std::filesystem::remove_all(m_site->SitePath());
    Generate();
    std::setlocale(LC_ALL, "C");
    ASSERT_FALSE(m_error) << m_site->Log();
    EXPECT_EQ(m_tree, english);
    EXPECT_EQ(m_tree["details/" + std::to_string(ids[0]) + ".asp"],
              "detail " + std::to_string(ids[0]) +
                  " Large 1.5 KB 1,234,567 Monday, March 02, 1998   http://www.example.com\n");
    EXPECT_NE(m_tree["details/" + std::to_string(ids[1]) + ".asp"].find(" 2.5 MB "),
              std::string::npos);
}

TEST_P(GenerationSite, TheSitesOwnTemplatesDescribeEveryFileAndListPage) {
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(DORVALE_SOURCE_DIR) / "templates")) {
        if (entry.path().extension() == ".tmpl") {
            std::filesystem::copy_file(entry.path(),
                                       m_site->InstallPath() / "templates" / entry.path().filename(),
                                       std::filesystem::copy_options::overwrite_existing);
        }
    }
    std::vector<CSiteFile> files(2);
    files[0].title = "Quoted";
    files[0].shortDesc = "Fast \"quick\" & <small>";
    files[1].title = "Plain & simple";
    files[0].areas = files[1].areas = {1};
    const std::vector<long long> ids = m_site->AddFiles(files);
    ASSERT_EQ(ids.size(), 2u);
    Generate();
    ASSERT_FALSE(m_error) << m_site->Log();
    const auto description = [](const std::string& page) {
        const std::size_t start = page.find("<meta name=\"description\" content=\"");
        return start == std::string::npos ? std::string("(none)")
                                          : page.substr(start, page.find('>', start) + 1 - start);
    };
    const std::string quoted = "<meta name=\"description\" content=\"Fast &quot;quick&quot; "
                               "&amp; &lt;small&gt;\">";
    EXPECT_EQ(description(m_tree["details/" + std::to_string(ids[0]) + ".asp"]), quoted);
    EXPECT_EQ(description(m_tree["download/" + std::to_string(ids[0]) + ".asp"]), quoted);
    EXPECT_EQ(description(m_tree["details/" + std::to_string(ids[1]) + ".asp"]),
              "<meta name=\"description\" content=\"Plain &amp; simple, a file of the Dorvale "
              "File Library\">");
    EXPECT_EQ(description(m_tree["files/Main/1/page1-date.asp"]),
              "<meta name=\"description\" content=\"Games, an area of Main with 2 files in the "
              "Dorvale File Library\">");
    EXPECT_EQ(description(m_tree["files/Main/3/page1-title.asp"]),
              "<meta name=\"description\" content=\"Tools, an area of Main with 0 files in the "
              "Dorvale File Library\">");
    EXPECT_EQ(description(m_tree["files/~top/newest/page1-date.asp"]),
              "<meta name=\"description\" content=\"The 2 newest files of the Dorvale File "
              "Library\">");
    EXPECT_EQ(description(m_tree["areas/Main.asp"]),
              "<meta name=\"description\" content=\"The file areas of Main in the Dorvale File "
              "Library\">");
}

TEST_P(GenerationSite, AStopDuringTheBodyPagesEndsBeforeAnyGroupPage) {
    std::vector<CSiteFile> files(3);
    for (auto& file : files) {
        file.title = "Stopped";
        file.areas = {1};
    }
    ASSERT_EQ(m_site->AddFiles(files).size(), 3u);
    m_window.onMessage = [this](const CMessage& message) {
        if (message.text == "Area: Games") {
            m_stop.Set();
        }
    };
    Generate();
    EXPECT_FALSE(m_error);
    EXPECT_EQ(m_filesProcessed, 0u);
    EXPECT_EQ(
        TreePaths(m_tree),
        Sorted({"index.asp", "files/body/popular/page1-date.asp",
                "files/body/popular/page1-downloads.asp", "files/body/popular/page1-title.asp",
                "files/body/newest/page1-date.asp", "files/body/newest/page1-downloads.asp",
                "files/body/newest/page1-title.asp"}));
    EXPECT_NE(m_site->Log().find(", processed 0 files\n"), std::string::npos);
    EXPECT_EQ(m_window.Messages().back().code, STATUS_FINISHED);
}

TEST_P(GenerationSite, GroupsWhoseNamesBreakThePageTreeAreAnErrorAndSkipped) {
    const std::string db = (m_site->Dir() / "db").string();
    for (const char* name : {"body", "header", "~top", ".."}) {
        ASSERT_TRUE(WriteGroup(db, name, {1}));
    }
    Generate();
    EXPECT_TRUE(m_error);
    const std::string log = m_site->Log();
    EXPECT_NE(log.find("Group \"body\" not generated: The name \"body\" is used by the site's "
                       "own pages and cannot name a group.\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Group \"~top\" not generated: "), std::string::npos) << log;
    EXPECT_NE(log.find("Group \"header\" not generated: "), std::string::npos) << log;
    EXPECT_NE(log.find("Group \"..\" not generated: A group name cannot begin with \".\".\n"),
              std::string::npos)
        << log;
    // The other groups are written whole; nothing lands among the pages' own directories or
    // above the files/ directory.
    for (const std::string& page : CommonPages()) {
        EXPECT_EQ(m_tree.count(page), 1u) << page;
    }
    for (const auto& [path, content] : m_tree) {
        EXPECT_NE(path.rfind("files/body/", 0), 0u) << path;
        EXPECT_NE(path.rfind("files/~top/1/", 0), 0u) << path;
        EXPECT_NE(path.rfind("files/header/body/", 0), 0u) << path;
        EXPECT_NE(path.rfind("files/header/1/", 0), 0u) << path;
        EXPECT_NE(path.rfind("1/", 0), 0u) << path;
        EXPECT_NE(path, "files/area1.asp");
    }
}

TEST_P(GenerationSite, DataSourceAndCatalinkFailures) {
    // A data source that does not exist.
    CGenerationSettings settings = m_site->Settings();
    settings.dataSource = "NoSuchSource";
    {
        CGenerationRun run(settings, *m_environment, m_window, m_stop);
        run.Run();
        EXPECT_TRUE(run.HasError());
    }
    std::string log = m_site->Log();
    EXPECT_NE(log.find("Could not open Dorvale database\n\n"), std::string::npos) << log;

    // Catalink no longer registered: its collection cannot be created.
    ASSERT_EQ(comtest::CallRegistrationEntry(CATALINK_LIBRARY, true), S_OK);
    Generate();
    EXPECT_TRUE(m_error);
    log = m_site->Log();
    EXPECT_NE(log.find("Could not create Catalink.GroupCollection\n\n"), std::string::npos) << log;
    EXPECT_TRUE(m_tree.empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, GenerationSite,
                         ::testing::Values(EEngine::SQLite, EEngine::PostgreSQL), EngineName);

TEST(FileListQueries, TakeTheFormOfTheDatabaseProduct) {
    EXPECT_EQ(QueryFormForProduct("ACCESS"), EQueryForm::Top);
    EXPECT_EQ(QueryFormForProduct("Microsoft SQL Server"), EQueryForm::Top);
    EXPECT_EQ(QueryFormForProduct("FOXPRO"), EQueryForm::Top);
    EXPECT_EQ(QueryFormForProduct("SQLite"), EQueryForm::Limit);
    EXPECT_EQ(QueryFormForProduct("PostgreSQL"), EQueryForm::Limit);
    EXPECT_EQ(BuildFileListQuery(EQueryForm::Top, AREA_KEY_NEWEST, 2),
              "SELECT FILE_ID, TITLE, SHORT_DESC, DOWNLOADS, FILE_DATE FROM FILES WHERE FILE_ID "
              "IN (SELECT TOP 10 FILE_ID FROM FILES ORDER BY FILE_DATE DESC) order by file_date "
              "desc");
    EXPECT_EQ(BuildFileListQuery(EQueryForm::Top, AREA_KEY_POPULAR, 0),
              "SELECT FILE_ID, TITLE, SHORT_DESC, DOWNLOADS, FILE_DATE FROM FILES WHERE FILE_ID "
              "IN (SELECT TOP 10 FILE_ID FROM FILES ORDER BY DOWNLOADS DESC) order by title");
    EXPECT_EQ(BuildFileListQuery(EQueryForm::Limit, AREA_KEY_POPULAR, 1),
              "SELECT FILE_ID, TITLE, SHORT_DESC, DOWNLOADS, FILE_DATE FROM FILES WHERE FILE_ID "
              "IN (SELECT FILE_ID FROM FILES ORDER BY DOWNLOADS DESC LIMIT 10) order by "
              "downloads desc");
    EXPECT_EQ(BuildFileListQuery(EQueryForm::Limit, 12, 1),
              "select files.file_id, title, short_desc, downloads, file_date from files, "
              "areafile where files.file_id = areafile.file_id and areafile.area_id = 12 order "
              "by downloads desc");
}
