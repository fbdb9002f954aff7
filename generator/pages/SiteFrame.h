#pragma once
// The frame every page of the site shares, for the pages written by programs rather than from
// the templates (the visitor service's forms and answers, the index server's search page): the
// head with the stylesheet, the header with the site's links, the submit link and the search
// box, the main region and the footer, marked up as the templates' header marks them up.

#include <string>
#include <string_view>

// Where the header's search box sends its words, and where its "Submit a file" link leads.
inline constexpr std::string_view SITE_SEARCH_PAGE = "/dorvaleindex/QueryHit.idq";
inline constexpr std::string_view SITE_SUBMIT_PAGE = "/dorvale/do/submit";

struct CSiteFrame {
    // Plain text; the title bar shows it before the site's name.
    std::string_view title;
    // Plain text put in the search box (the words a search page answers).
    std::string_view searchWords;
    // Plain text after the site's name in the footer; none when empty.
    std::string_view footerNote;
    // Asks search engines to leave the page out (pages that only answer a query).
    bool noIndex = false;
};

// The whole page: `frame` around `mainHtml`, which is put inside <main> as it is.
std::string RenderSiteFrame(const CSiteFrame& frame, std::string_view mainHtml);
