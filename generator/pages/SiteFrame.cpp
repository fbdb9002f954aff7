#include "SiteFrame.h"

#include "Formatting.h"

std::string RenderSiteFrame(const CSiteFrame& frame, std::string_view mainHtml) {
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
    if (frame.noIndex) {
        page += "<meta name=\"robots\" content=\"noindex\">\n";
    }
    page += "<title>";
    AppendHtmlEscaped(page, frame.title);
    page +=
        " · Dorvale File Library</title>\n"
        "<link rel=\"stylesheet\" href=\"/dorvale/assets/dorvale.css\">\n"
        "<link rel=\"icon\" href=\"/dorvale/assets/dorvale.svg\" type=\"image/svg+xml\">\n"
        "</head>\n<body>\n<a class=\"skip\" href=\"#main\">Skip to the content</a>\n"
        "<header class=\"site\">\n<div class=\"wrap\">\n"
        "<a class=\"brand\" href=\"/dorvale/index.asp\"><img src=\"/dorvale/assets/dorvale.svg\" "
        "alt=\"\" width=\"32\" height=\"32\"><span>Dorvale <small>File Library</small></span></a>\n"
        "<nav aria-label=\"Site\">\n<ul>\n"
        "<li><a href=\"/dorvale/index.asp\">Groups</a></li>\n"
        "<li><a href=\"/dorvale/files/%7Etop/newest/page1-date.asp\">Newest</a></li>\n"
        "<li><a href=\"/dorvale/files/%7Etop/popular/page1-downloads.asp\">Most popular</a></li>\n"
        "<li><a href=\"";
    page += SITE_SUBMIT_PAGE;
    page += "\">Submit a file</a></li>\n</ul>\n</nav>\n<form class=\"search\" role=\"search\" "
            "action=\"";
    page += SITE_SEARCH_PAGE;
    page += "\" method=\"get\"><label class=\"visually-hidden\" for=\"q\">Search the files</label>"
            "<input id=\"q\" type=\"search\" name=\"q\"";
    if (!frame.searchWords.empty()) {
        page += " value=\"";
        AppendHtmlEscaped(page, frame.searchWords);
        page += "\"";
    }
    page += " placeholder=\"Search the files\"><button type=\"submit\">Search</button></form>\n"
            "</div>\n</header>\n<main id=\"main\" class=\"wrap\">\n";
    page += mainHtml;
    page += "</main>\n<footer class=\"site\">\n<div class=\"wrap\">\n<p>Dorvale File Library";
    if (!frame.footerNote.empty()) {
        page += " · ";
        AppendHtmlEscaped(page, frame.footerNote);
    }
    page += "</p>\n</div>\n</footer>\n</body>\n</html>\n";
    return page;
}
