#include "MemorySources.h"
#include "Pages.h"

#include <clocale>
#include <gtest/gtest.h>

namespace {

std::string Render(CTemplate& page, const std::string& source) {
    EXPECT_TRUE(page.CompileText(source));
    std::string out;
    page.Render(out);
    return out;
}

std::string Render(CTemplate& page) {
    std::string out;
    page.Render(out);
    return out;
}

CMemoryFileGroup Group(std::string name, std::vector<CPageArea> areas) {
    CMemoryFileGroup group;
    group.name = std::move(name);
    group.areas = std::move(areas);
    return group;
}

CFileListRow Row(long long id, std::string title, std::string desc = "d", long long downloads = 0) {
    CFileListRow row;
    row.fileId = id;
    row.title = std::move(title);
    row.shortDesc = std::move(desc);
    row.downloads = downloads;
    row.fileDate = CDate{1998, 3, 2};
    return row;
}

} // namespace

TEST(GroupListPage, ListsGroupsWithADownloadableAreaEscaped) {
    CMemoryGroupCollection groups;
    groups.groups = {
        Group("Hidden", {{1, "Uploads", false}, {2, "Incoming", false}}),
        Group("Games", {{3, "Private", false}, {4, "Arcade", true}}),
        Group("Empty", {}),
        Group("Tools & <b>\"Utils\"</b>", {{5, "Editors", true}}),
    };
    CGroupListPage page;
    page.SetGroupCollection(&groups);
    const std::string source = "@loop@[@group@|@urlgroup@]@endloop@";
    EXPECT_EQ(Render(page, source),
              "[Games|Games][Tools &amp; &lt;b&gt;&quot;Utils&quot;&lt;/b&gt;|"
              "Tools%20%26%20%3Cb%3E%22Utils%22%3C%2Fb%3E]");
    EXPECT_FALSE(page.HasFailed());
    // Each loop starts again from the first group.
    const std::string once = Render(page);
    EXPECT_EQ(Render(page, source + source), once + once);
    ASSERT_TRUE(page.CompileText(source));

    // A failing call ends the loop and is reported.
    groups.failItem = 4;
    EXPECT_EQ(Render(page), "[Games|Games]");
    EXPECT_TRUE(page.HasFailed());
    groups.failItem = 0;
    groups.groups[1].failItem = 2;
    EXPECT_EQ(Render(page), "");
    EXPECT_TRUE(page.HasFailed());
    groups.groups[1].failItem = 0;
    groups.failCount = true;
    EXPECT_EQ(Render(page), "");
    EXPECT_TRUE(page.HasFailed());

    CGroupListPage unset;
    EXPECT_EQ(Render(unset, source), "");
}

TEST(AreaPages, AreaListShowsDownloadableAreasAndHeaderShowsAll) {
    CMemoryFileGroup group = Group(
        "Games & More", {{3, "Private", false}, {4, "Arcade <new>", true}, {9, "Board", true}});
    const std::string source = "@group@ @urlgroup@:@loop@ @areaid@=@area@@endloop@";

    CAreaListPage list;
    ASSERT_TRUE(list.SetGroup(&group));
    EXPECT_EQ(Render(list, source),
              "Games &amp; More Games%20%26%20More: 4=Arcade &lt;new&gt; 9=Board");

    CAreaHeaderPage header;
    ASSERT_TRUE(header.SetGroup(&group));
    header.SetCurrentArea(9);
    EXPECT_EQ(Render(header, source + "@loop@@if areaid=currentarea@*@area@@endif@@endloop@"),
              "Games &amp; More Games%20%26%20More: 3=Private 4=Arcade &lt;new&gt; 9=Board*Board");

    // Failures: the name cannot be read, an area cannot be read.
    group.failName = true;
    EXPECT_FALSE(list.SetGroup(&group));
    group.failName = false;
    group.failItem = 2;
    ASSERT_TRUE(header.SetGroup(&group));
    EXPECT_EQ(Render(header, "@loop@@areaid@,@endloop@"), "3,");
    EXPECT_TRUE(header.HasFailed());
    group.failItem = 0;
    EXPECT_EQ(Render(header), "3,4,9,");
    EXPECT_FALSE(header.HasFailed());
}

TEST(FilePage, VariablesOfAListOf25OnPage3) {
    CFilePage page;
    ASSERT_TRUE(page.CompileText("@group@|@areaid@|@totalrecords@|@sort@|@page@|@displayrange@|"
                                 "@titlesorturl@|@downloadssorturl@|@datesorturl@|@titlesort@|"
                                 "@downloadsort@|@datesort@|@loop@row@endloop@"));
    page.SetGroupName("Games & Fun");
    page.SetArea(7);
    page.SetTotalRecords(25);
    page.SetSort(SORT_DOWNLOADS);
    page.SetPage(3);
    const std::string u = "/dorvale/files/Games%20%26%20Fun/7/page3-";
    EXPECT_EQ(Render(page), "Games &amp; Fun|7|25|downloads|3|21 - 25|" + u + "title.asp|" + u +
                                "downloads.asp|" + u + "date.asp|<a href=\"" + u +
                                "title.asp\">title</a>|downloads|<a href=\"" + u +
                                "date.asp\">date</a>|");

    ASSERT_TRUE(page.CompileText("@urlgroup@"));
    EXPECT_EQ(Render(page), "Games%20%26%20Fun");

    ASSERT_TRUE(page.CompileText("@navbar@"));
    const std::string bar = Render(page);
    EXPECT_TRUE(
        bar.starts_with("<a href=\"/dorvale/files/Games%20%26%20Fun/7/page2-downloads.asp\">"
                        "[PREVIOUS]</a>"));
    EXPECT_TRUE(bar.ends_with("&nbsp;<font color=999999>3</font>"
                              "&nbsp;<font color=999999>[NEXT]</font>"));

    // Seven files: one page, no bar. No files: "0 - 0".
    ASSERT_TRUE(page.CompileText("@displayrange@|@navbar@|@page@"));
    page.SetTotalRecords(7);
    page.SetPage(1);
    EXPECT_EQ(Render(page), "1-7||1");
    page.SetTotalRecords(0);
    EXPECT_EQ(Render(page), "0 - 0||1");

    // The area's name, escaped like every catalogue text.
    ASSERT_TRUE(page.CompileText("@area@"));
    page.SetAreaName("Cards & \"Dice\"");
    EXPECT_EQ(Render(page), "Cards &amp; &quot;Dice&quot;");

    // The newest and most popular lists.
    ASSERT_TRUE(page.CompileText("@group@ @areaid@ @datesorturl@"));
    page.SetGroupName("~top");
    page.SetArea("newest");
    EXPECT_EQ(Render(page), "~top newest /dorvale/files/%7Etop/newest/page1-date.asp");
}

TEST(FileListPage, BodyPagesHoldTenRowsEachAndHighlightTheFirstOfEach) {
    std::setlocale(LC_ALL, "C");
    CMemoryFileList rows;
    for (int i = 1; i <= 23; ++i) {
        rows.rows.push_back(Row(i, "T" + std::to_string(i), "D", 999 + i));
    }
    rows.rows[0].title = "";
    rows.rows[0].shortDesc = "";
    rows.rows[1].title = "<b>Bold</b> & 'quoted'";
    CFileListPage page;
    ASSERT_TRUE(page.CompileText("@loop@<tr @coloreven@>@fileid@;@title@;@filedate@;@shortdesc@;"
                                 "@downloads@\n@endloop@"));
    page.Bind(&rows);

    const std::string first = Render(page);
    EXPECT_TRUE(first.starts_with("<tr bgcolor=\"#e8e8e8\">1;&nbsp;;03/02/98;&nbsp;;1,000\n"
                                  "<tr >2;&lt;b&gt;Bold&lt;/b&gt; &amp; &#39;quoted&#39;;03/02/98;"
                                  "D;1,001\n"
                                  "<tr bgcolor=\"#e8e8e8\">3;T3;"))
        << first;
    EXPECT_EQ(page.GetRowCount(), 10);
    EXPECT_FALSE(page.IsEnd());

    const std::string second = Render(page);
    EXPECT_TRUE(second.starts_with("<tr bgcolor=\"#e8e8e8\">11;T11;")) << second;
    EXPECT_NE(second.find("<tr >20;T20;03/02/98;D;1,019\n"), std::string::npos);
    EXPECT_FALSE(page.IsEnd());

    const std::string third = Render(page);
    EXPECT_EQ(third, "<tr bgcolor=\"#e8e8e8\">21;T21;03/02/98;D;1,020\n"
                     "<tr >22;T22;03/02/98;D;1,021\n"
                     "<tr bgcolor=\"#e8e8e8\">23;T23;03/02/98;D;1,022\n");
    EXPECT_TRUE(page.IsEnd());
    EXPECT_EQ(page.GetListTotal(), 23);
    EXPECT_FALSE(page.HasFailed());
    EXPECT_EQ(Render(page), "");
}

TEST(FileListPage, ListsOfWholePagesEndWithAnEmptyPage) {
    CMemoryFileList rows;
    for (int i = 1; i <= 20; ++i) {
        rows.rows.push_back(Row(i, "T"));
    }
    CFileListPage page;
    ASSERT_TRUE(page.CompileText("@loop@@fileid@,@endloop@"));
    page.Bind(&rows);
    int pages = 0;
    std::vector<int> counts;
    do {
        Render(page);
        counts.push_back(page.GetRowCount());
        ++pages;
    } while (!page.IsEnd() && pages < 10);
    EXPECT_EQ(counts, (std::vector<int>{10, 10, 0}));
    EXPECT_EQ(page.GetListTotal(), 20);

    // An empty list: one page without rows. Binding again starts a new list.
    CMemoryFileList none;
    page.Bind(&none);
    EXPECT_EQ(Render(page), "");
    EXPECT_TRUE(page.IsEnd());
    EXPECT_EQ(page.GetListTotal(), 0);

    // A failure while reading ends the list and is reported.
    rows.next = 0;
    rows.failAt = 12;
    page.Bind(&rows);
    EXPECT_EQ(Render(page), "1,2,3,4,5,6,7,8,9,10,");
    EXPECT_EQ(Render(page), "11,12,");
    EXPECT_TRUE(page.IsEnd());
    EXPECT_TRUE(page.HasFailed());
}

TEST(FileDetailPage, EveryVariableFormattedAndCatalogueTextEscaped) {
    std::setlocale(LC_ALL, "C");
    CFileDetail file;
    file.fileId = 42;
    file.title = "My <File>";
    file.size = 1536;
    file.shortDesc = "short & sweet";
    file.longDesc = "line one\n<script>alert(1)</script>";
    file.upldName = "O'Brien";
    file.upldEmail = "o.brien+x@example.com";
    file.downloads = 1234567;
    file.fileDate = CDate{1998, 3, 2};
    file.version = "1.0 \"beta\"";
    file.reqForm = true;
    CFileDetailPage page;
    page.SetHttpServer("http://www.example.com/");
    page.SetFile(file);
    EXPECT_EQ(Render(page, "@httpserver@|@fileid@|@title@|@urltitle@|@filesize@|@shortdesc@|"
                           "@longdesc@|@upldname@|@upldemail@|@urlupldemail@|@downloads@|"
                           "@filedate@|@version@|@reqform@"),
              "http://www.example.com|42|My &lt;File&gt;|My%20%3CFile%3E|1.5 KB|"
              "short &amp; sweet|line one\n&lt;script&gt;alert(1)&lt;/script&gt;|O&#39;Brien|"
              "o.brien+x@example.com|o%2Ebrien%2Bx%40example%2Ecom|1,234,567|"
              "Monday, March 02, 1998|1.0 &quot;beta&quot;|yes");

    file.reqForm = false;
    file.title.clear();
    page.SetHttpServer("http://host//");
    page.SetFile(file);
    EXPECT_EQ(Render(page, "@httpserver@|@title@|@reqform@|@if reqform@form@else@none@endif@"),
              "http://host/|||none");

    // The server goes into an attribute like every other text.
    page.SetHttpServer("x\" onmouseover=\"alert(1)\" y=\"");
    EXPECT_EQ(Render(page, "<a href=\"@httpserver@/dorvale/download/1.asp\">"),
              "<a href=\"x&quot; onmouseover=&quot;alert(1)&quot; y=&quot;/dorvale/download/"
              "1.asp\">");

    // Only an address is linked with mailto:; other text stays the uploader's name alone.
    const std::string linked = "@if upldemail@<a href=\"mailto:@urlupldemail@\">@upldname@</a>"
                               "@else@@upldname@@endif@";
    for (const char* notAnAddress :
         {"javascript:alert(1)", "nobody", "a@b@c", "@example.com", "a@", "a b@example.com",
          "<a@example.com>", "a@example.com?cc=x@example.org", "a@exa\nmple.com"}) {
        file.upldEmail = notAnAddress;
        page.SetFile(file);
        EXPECT_EQ(Render(page, linked), "O&#39;Brien") << notAnAddress;
    }
    file.upldEmail = "Ann.Other-1@mail.example.org";
    page.SetFile(file);
    EXPECT_EQ(Render(page, linked),
              "<a href=\"mailto:Ann%2EOther%2D1%40mail%2Eexample%2Eorg\">O&#39;Brien</a>");
}

TEST(FileDownloadPage, LocationsAreReadWhenTheLoopRunsAndHighlightEverySecond) {
    CMemoryDownloads downloads;
    downloads.locations[5] = {"http://www.example.com/files/a.zip?x=1&y=2", "local://3/file.zip",
                              "ftp://ftp.example.org/pub/a.zip"};
    CFileDownloadPage page;
    page.SetDownloadSource(&downloads);
    page.SetFile(5, "A & B", 2048000, "<b>\"bold\"</b>");

    ASSERT_TRUE(page.CompileText("@title@ @fileid@ @filesize@ @shortdesc@"));
    EXPECT_EQ(Render(page), "A &amp; B 5 2.0 MB &lt;b&gt;&quot;bold&quot;&lt;/b&gt;");
    EXPECT_EQ(downloads.opens, 0); // no loop, no query

    ASSERT_TRUE(page.CompileText("@loop@<tr @coloreven@>@url@ @sitename@\n@endloop@"));
    EXPECT_EQ(Render(page), "<tr >http://www.example.com/files/a.zip?x=1&amp;y=2 "
                            "http://www.example.com\n"
                            "<tr bgcolor=\"#e8e8e8\">local://3/file.zip file.zip\n"
                            "<tr >ftp://ftp.example.org/pub/a.zip ftp://ftp.example.org\n");
    EXPECT_EQ(downloads.opens, 1);
    EXPECT_FALSE(downloads.IsOpen());
    EXPECT_EQ(page.GetRowCount(), 3);

    // Another file without locations: nothing of the body.
    page.SetFile(6, "none", 10);
    EXPECT_EQ(Render(page), "");
    EXPECT_EQ(downloads.opens, 2);

    // A failure while moving ends the list; what was read is still written.
    page.SetFile(5, "A", 1);
    downloads.failAt = 1;
    EXPECT_EQ(Render(page, "@loop@@url@;@endloop@|@title@"),
              "http://www.example.com/files/a.zip?x=1&amp;y=2;|A");
    EXPECT_TRUE(page.HasFailed());
    EXPECT_FALSE(downloads.IsOpen());
    downloads.failAt = SIZE_MAX;
    downloads.failOpen = true;
    EXPECT_EQ(Render(page), "|A");
    EXPECT_TRUE(page.HasFailed());

    // A second loop on the same page lists the locations again.
    downloads.failOpen = false;
    EXPECT_EQ(Render(page, "@loop@1@endloop@@loop@2@endloop@"), "111222");
    EXPECT_FALSE(page.HasFailed());
    EXPECT_FALSE(downloads.IsOpen());
}

TEST(FileDownloadPage, OnlyWebAndFtpAddressesBecomeLinks) {
    CMemoryDownloads downloads;
    downloads.locations[4] = {
        "javascript:alert(document.domain)",
        " javascript:alert(1)",
        "data:text/html,<script>alert(1)</script>",
        "vbscript:msgbox(1)",
        "JaVaScRiPt:alert(1)",
        "java\nscript:alert(1)",
        "\t HTTPS://secure.example.com/a.zip ",
        "Ftp://ftp.example.com/a.zip",
        "http:",
        "mirror.example.com/a.zip",
    };
    CFileDownloadPage page;
    page.SetDownloadSource(&downloads);
    page.SetFile(4, "t", 1);
    EXPECT_EQ(Render(page, "@loop@[@httpurl@|@ftpurl@|@url@]\n@endloop@"),
              "[||javascript:alert(document.domain)]\n"
              "[|| javascript:alert(1)]\n"
              "[||data:text/html,&lt;script&gt;alert(1)&lt;/script&gt;]\n"
              "[||vbscript:msgbox(1)]\n"
              "[||JaVaScRiPt:alert(1)]\n"
              "[||java\nscript:alert(1)]\n"
              "[\t HTTPS://secure.example.com/a.zip |\t HTTPS://secure.example.com/a.zip |"
              "\t HTTPS://secure.example.com/a.zip ]\n"
              "[Ftp://ftp.example.com/a.zip|Ftp://ftp.example.com/a.zip|"
              "Ftp://ftp.example.com/a.zip]\n"
              "[http:|http:|http:]\n"
              "[||mirror.example.com/a.zip]\n");
}

TEST(FileDownloadPage, LocalLocationsArePublishedThroughTheAreasAliases) {
    CMemoryDownloads downloads;
    downloads.locations[8] = {
        "local://3/My File.zip",           // area with both aliases
        "LOCAL://4/sub dir\\x&y.zip",      // capitals, a subdirectory, no FTP alias
        "local://9/gone.zip",              // no such area
        "http://mirror.example.com/a.zip", // a URL stays itself
        "local://3",                       // no name: not a local location
    };
    CMemoryAliasSource aliases;
    aliases.areas[3] = {"/files", "pub/"};
    aliases.areas[4] = {"/dl/area4/", ""};
    CFileDownloadPage page;
    page.SetDownloadSource(&downloads);
    page.SetPublishing("http://www.example.com/", "ftp://ftp.example.com", &aliases);
    page.SetFile(8, "t", 1);
    EXPECT_EQ(Render(page, "@loop@[@httpurl@|@ftpurl@]\n@endloop@"),
              // The name is escaped like every URL part of the pages, dots included.
              "[http://www.example.com/files/My%20File%2Ezip|"
              "ftp://ftp.example.com/pub/My%20File%2Ezip]\n"
              "[http://www.example.com/dl/area4/sub%20dir/x%26y%2Ezip|]\n"
              "[|]\n"
              "[http://mirror.example.com/a.zip|http://mirror.example.com/a.zip]\n"
              "[|]\n");

    // Without aliases every local location is unreachable.
    page.SetPublishing("http://www.example.com", "", nullptr);
    downloads.locations[8] = {"local://3/a.zip"};
    EXPECT_EQ(Render(page), "[|]\n");

    // The location itself, escaped for a link that names it (the counted download link).
    downloads.locations[8] = {"local://3/My File.zip", "http://mirror.example.com/a.zip"};
    EXPECT_EQ(Render(page, "@loop@[@urlurl@]@endloop@"),
              "[local%3A%2F%2F3%2FMy%20File%2Ezip][http%3A%2F%2Fmirror%2Eexample%2Ecom%2Fa%2Ezip]");

    long long id = 0;
    std::string_view name;
    EXPECT_TRUE(SplitLocalLocation("Local://12/a/b", id, name));
    EXPECT_EQ(id, 12);
    EXPECT_EQ(name, "a/b");
    EXPECT_FALSE(SplitLocalLocation("local:///a", id, name));
    EXPECT_FALSE(SplitLocalLocation("local://12a/b", id, name));
    EXPECT_FALSE(SplitLocalLocation("local://99999999999999999999/b", id, name));
    EXPECT_EQ(FormatAliasUrl("http://h", "", "a"), "");
    EXPECT_EQ(FormatAliasUrl("http://h", "/", "a"), "");
}
