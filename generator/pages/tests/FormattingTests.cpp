#include "Formatting.h"

#include <clocale>
#include <gtest/gtest.h>

TEST(Formatting, SizesSwitchUnitsAtTheirBoundaries) {
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(FormatSize(0), "0 Byte(s)");
    EXPECT_EQ(FormatSize(1023), "1023 Byte(s)");
    EXPECT_EQ(FormatSize(1024), "1.0 KB");
    EXPECT_EQ(FormatSize(1536), "1.5 KB");
    EXPECT_EQ(FormatSize(1280), "1.2 KB"); // 1.25 rounds to even, as printf does
    EXPECT_EQ(FormatSize(1023999), "1000.0 KB"); // still the KB form
    EXPECT_EQ(FormatSize(1024000), "1.0 MB");    // a megabyte of 1 024 000 bytes
    EXPECT_EQ(FormatSize(1048576), "1.0 MB");
    EXPECT_EQ(FormatSize(5368709120LL), "5242.9 MB"); // beyond 32 bits
}

TEST(Formatting, DigitsAreGroupedInThreesFromTheRight) {
    EXPECT_EQ(GroupDigits(0), "0");
    EXPECT_EQ(GroupDigits(999), "999");
    EXPECT_EQ(GroupDigits(1000), "1,000");
    EXPECT_EQ(GroupDigits(1234), "1,234");
    EXPECT_EQ(GroupDigits(123456), "123,456");
    EXPECT_EQ(GroupDigits(1234567), "1,234,567");
    EXPECT_EQ(GroupDigits(-999), "-999");
    EXPECT_EQ(GroupDigits(-123456), "-123,456");
    std::string out = "x";
    AppendGroupedDigits(out, 1000000);
    EXPECT_EQ(out, "x1,000,000");
}

TEST(Formatting, UrlEscapingKeepsOnlyLettersAndDigits) {
    EXPECT_EQ(UrlEscape("My File"), "My%20File");
    EXPECT_EQ(UrlEscape("a-b"), "a%2Db");
    EXPECT_EQ(UrlEscape("~top"), "%7Etop");
    EXPECT_EQ(UrlEscape("\xE9"), "%E9");
    EXPECT_EQ(UrlEscape("caf\xC3\xA9"), "caf%C3%A9");
    EXPECT_EQ(UrlEscape("azAZ09"), "azAZ09");
    EXPECT_EQ(UrlEscape("a/b?c=d&e.f_g"), "a%2Fb%3Fc%3Dd%26e%2Ef%5Fg");
    EXPECT_EQ(UrlEscape(std::string_view("\0\x7f", 2)), "%00%7F");
    EXPECT_EQ(UrlEscape(""), "");
}

TEST(Formatting, HtmlEscapingReplacesTheFiveSpecialCharacters) {
    EXPECT_EQ(HtmlEscape("<script>alert('x' & \"y\")</script>"),
              "&lt;script&gt;alert(&#39;x&#39; &amp; &quot;y&quot;)&lt;/script&gt;");
    EXPECT_EQ(HtmlEscape("plain caf\xC3\xA9"), "plain caf\xC3\xA9");
    EXPECT_EQ(HtmlEscape("&amp;"), "&amp;amp;");
    EXPECT_EQ(HtmlEscape(""), "");
    EXPECT_EQ(HtmlEscape(">"), "&gt;");
}

TEST(Formatting, SiteNameIsTheHostOfAUrlOrTheFileOfALocalLocation) {
    EXPECT_EQ(GetSiteName("http://www.example.com/files/a.zip"), "http://www.example.com");
    EXPECT_EQ(GetSiteName("ftp://ftp.example.org/"), "ftp://ftp.example.org");
    EXPECT_EQ(GetSiteName("local://3/file.zip"), "file.zip");
    EXPECT_EQ(GetSiteName("LOCAL://12/sub/file.zip"), "sub/file.zip");
    EXPECT_EQ(GetSiteName("local://3/"), "");
    EXPECT_EQ(GetSiteName("http://host"), "");
    EXPECT_EQ(GetSiteName("local://3"), "");
    EXPECT_EQ(GetSiteName(""), "");
    EXPECT_EQ(GetSiteName("a/b/c/d"), "a/b/c");
}

TEST(Formatting, PageUrlsRangesAndSortLinks) {
    EXPECT_EQ(FormatPageUrl("Games & Fun", "7", 2, SORT_DATE),
              "/dorvale/files/Games%20%26%20Fun/7/page2-date.asp");
    EXPECT_EQ(FormatPageUrl("~top", "newest", 1, SORT_TITLE),
              "/dorvale/files/%7Etop/newest/page1-title.asp");
    EXPECT_EQ(FormatPageUrl("g", "popular", 12, SORT_DOWNLOADS),
              "/dorvale/files/g/popular/page12-downloads.asp");
    EXPECT_EQ(SortName(3), "title");
    EXPECT_EQ(SortName(-1), "title");

    EXPECT_EQ(PageCount(0), 0);
    EXPECT_EQ(PageCount(1), 1);
    EXPECT_EQ(PageCount(10), 1);
    EXPECT_EQ(PageCount(11), 2);
    EXPECT_EQ(PageCount(23), 3);

    EXPECT_EQ(FormatDisplayRange(0, 1), "0 - 0");
    EXPECT_EQ(FormatDisplayRange(1, 1), "1-1");
    EXPECT_EQ(FormatDisplayRange(7, 1), "1-7");
    EXPECT_EQ(FormatDisplayRange(9, 1), "1-9");
    EXPECT_EQ(FormatDisplayRange(10, 1), "1 - 10");
    EXPECT_EQ(FormatDisplayRange(25, 1), "1 - 10");
    EXPECT_EQ(FormatDisplayRange(20, 2), "11 - 20");
    EXPECT_EQ(FormatDisplayRange(25, 3), "21 - 25");

    EXPECT_EQ(FormatSortLink(SORT_DATE, SORT_DATE, "/u"), "date");
    EXPECT_EQ(FormatSortLink(SORT_DOWNLOADS, SORT_DATE, "/u"), "<a href=\"/u\">downloads</a>");
}

TEST(Formatting, NavigationBarGreysTheCurrentPageAndTheEnds) {
    EXPECT_EQ(FormatNavBar("g", "7", 0, 1, SORT_TITLE), "");
    EXPECT_EQ(FormatNavBar("g", "7", 1, 1, SORT_TITLE), "");

    const std::string u = "/dorvale/files/g/7/page";
    EXPECT_EQ(FormatNavBar("g", "7", 3, 2, SORT_DATE), "<a href=\"" + u +
                                                           "1-date.asp\">[PREVIOUS]</a>"
                                                           "&nbsp;<a href=\"" +
                                                           u +
                                                           "1-date.asp\">1</a>"
                                                           "&nbsp;<font color=999999>2</font>"
                                                           "&nbsp;<a href=\"" +
                                                           u +
                                                           "3-date.asp\">3</a>"
                                                           "&nbsp;<a href=\"" +
                                                           u + "3-date.asp\">[NEXT]</a>");
    EXPECT_EQ(FormatNavBar("g", "7", 2, 1, SORT_TITLE), "<font color=999999>[PREVIOUS]</font>"
                                                        "&nbsp;<font color=999999>1</font>"
                                                        "&nbsp;<a href=\"" +
                                                            u +
                                                            "2-title.asp\">2</a>"
                                                            "&nbsp;<a href=\"" +
                                                            u + "2-title.asp\">[NEXT]</a>");
    const std::string last = FormatNavBar("g", "7", 3, 3, SORT_TITLE);
    EXPECT_TRUE(last.starts_with("<a href=\"" + u + "2-title.asp\">[PREVIOUS]</a>"));
    EXPECT_TRUE(last.ends_with("&nbsp;<font color=999999>3</font>"
                               "&nbsp;<font color=999999>[NEXT]</font>"));
}

namespace {

// The bar's items between [PREVIOUS] and [NEXT]: page numbers, "(n)" for the current page,
// "..." for a run left out.
std::string NavItems(long long pages, long long current) {
    const std::string bar = FormatNavBar("g", "7", pages, current, SORT_TITLE);
    std::string items;
    std::size_t at = 0;
    while ((at = bar.find("&nbsp;", at)) != std::string::npos) {
        at += 6;
        std::string item = "...";
        if (bar.compare(at, 3, "...") != 0) {
            const std::size_t textStart = bar.find('>', at) + 1;
            item = bar.substr(textStart, bar.find('<', textStart) - textStart);
            if (item.starts_with("[")) {
                continue; // [NEXT]
            }
            if (bar.compare(at, 5, "<font") == 0) {
                item = "(" + item + ")";
            } else {
                // Every link leads to the page it names; a long list's by the name alone.
                const std::string link =
                    std::string("<a href=\"") + (pages > 25 ? "" : "/dorvale/files/g/7/") +
                    "page" + item + "-";
                EXPECT_EQ(bar.compare(at, link.size(), link), 0) << bar.substr(at, 60);
            }
        }
        items += items.empty() ? item : " " + item;
    }
    return items;
}

} // namespace

TEST(Formatting, LongListsShowTheirEndsAndTheNeighbourhoodOfTheCurrentPage) {
    // Up to 25 pages every page is linked, as always.
    std::string all;
    for (int n = 1; n <= 25; ++n) {
        all += n == 1 ? "" : " ";
        all += n == 25 ? "(25)" : std::to_string(n);
    }
    EXPECT_EQ(NavItems(25, 25), all);

    EXPECT_EQ(NavItems(26, 1), "(1) 2 3 4 5 6 7 8 9 10 11 ... 26");
    EXPECT_EQ(NavItems(26, 13), "1 ... 3 4 5 6 7 8 9 10 11 12 (13) 14 15 16 17 18 19 20 21 22 23 "
                                "... 26");
    EXPECT_EQ(NavItems(26, 12), "1 2 3 4 5 6 7 8 9 10 11 (12) 13 14 15 16 17 18 19 20 21 22 ... 26");
    EXPECT_EQ(NavItems(2000, 2000), "1 ... 1990 1991 1992 1993 1994 1995 1996 1997 1998 1999 (2000)");
    EXPECT_EQ(NavItems(2000, 1000), "1 ... 990 991 992 993 994 995 996 997 998 999 (1000) 1001 "
                                    "1002 1003 1004 1005 1006 1007 1008 1009 1010 ... 2000");
    // [PREVIOUS] and [NEXT] stay, and a large area's bar stays small.
    const std::string bar = FormatNavBar("g", "7", 2000, 1000, SORT_TITLE);
    EXPECT_TRUE(bar.starts_with("<a href=\"page999-title.asp\">[PREVIOUS]</a>")) << bar;
    EXPECT_TRUE(bar.ends_with("<a href=\"page1001-title.asp\">[NEXT]</a>"));
    EXPECT_LT(bar.size(), 1300u) << bar.size();
}
