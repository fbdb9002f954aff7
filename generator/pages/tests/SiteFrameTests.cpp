// The frame of the pages written by programs: the same header as the templates' pages, and
// what it shows escaped.

#include "SiteFrame.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string Header(const std::string& page) {
    const std::size_t begin = page.find("<header class=\"site\">");
    const std::size_t end = page.find("</header>\n");
    if (begin == std::string::npos || end == std::string::npos || end < begin) {
        return {};
    }
    return page.substr(begin, end + 10 - begin);
}

std::string TemplateHeader(const std::string& name) {
    std::ifstream in(std::string(DORVALE_SOURCE_DIR) + "/templates/" + name);
    std::stringstream text;
    text << in.rdbuf();
    std::string header = Header(text.str());
    // The templates mark the page the visitor is on; a program's page is none of those.
    const std::string current = " aria-current=\"page\"";
    for (std::size_t at; (at = header.find(current)) != std::string::npos;) {
        header.erase(at, current.size());
    }
    return header;
}

TEST(SiteFrame, HeaderIsTheTemplatesHeaderWithTheSearchBoxAndTheSubmitLink) {
    CSiteFrame frame;
    frame.title = "Search";
    const std::string page = RenderSiteFrame(frame, "<h1>Search</h1>\n");
    const std::string header = Header(page);
    ASSERT_FALSE(header.empty());
    for (const char* name : {"grouplist.tmpl", "arealist.tmpl", "filedetail.tmpl",
                             "filedownload.tmpl", "upload.tmpl"}) {
        EXPECT_EQ(header, TemplateHeader(name)) << name;
    }
    EXPECT_NE(header.find("<form class=\"search\" role=\"search\" action=\"/dorvaleindex/"
                          "QueryHit.idq\" method=\"get\">"),
              std::string::npos);
    EXPECT_NE(header.find("<a href=\"/dorvale/do/submit\">Submit a file</a>"), std::string::npos);
    EXPECT_NE(page.find("</header>\n<main id=\"main\" class=\"wrap\">\n<h1>Search</h1>\n</main>\n"),
              std::string::npos);
    EXPECT_NE(page.find("<p>Dorvale File Library</p>"), std::string::npos);
    EXPECT_EQ(page.find("noindex"), std::string::npos);
}

TEST(SiteFrame, TitleWordsAndNoteAreEscaped) {
    CSiteFrame frame;
    frame.title = "Tom & \"Jerry\"";
    frame.searchWords = "<b>it's</b>";
    frame.footerNote = "a < b";
    frame.noIndex = true;
    const std::string page = RenderSiteFrame(frame, "<p>as given</p>");
    EXPECT_NE(page.find("<title>Tom &amp; &quot;Jerry&quot; · Dorvale File Library</title>"),
              std::string::npos);
    EXPECT_NE(page.find("name=\"q\" value=\"&lt;b&gt;it&#39;s&lt;/b&gt;\" placeholder="),
              std::string::npos);
    EXPECT_NE(page.find("<p>Dorvale File Library · a &lt; b</p>"), std::string::npos);
    EXPECT_NE(page.find("<meta name=\"robots\" content=\"noindex\">"), std::string::npos);
    EXPECT_NE(page.find("<p>as given</p>"), std::string::npos);
}

} // namespace
