#include "SearchPage.h"

#include "Formatting.h"
#include "IndexServer.h"
#include "SiteFrame.h"

#include <cstdio>
#include <ctime>

namespace {

std::string Size(long long bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%lld bytes", bytes);
    } else if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024 * 1024));
    }
    return text;
}

std::string Date(long long seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[16] = {};
    if (gmtime_r(&time, &parts) != nullptr) {
        std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    }
    return text;
}

std::string PageLink(const std::string& query, std::size_t page, const std::string& label,
                     const char* rel) {
    return std::string("<a rel=\"") + rel + "\" href=\"" + INDEX_SEARCH_PAGE +
           "?q=" + EncodeFormText(query) + "&amp;page=" + std::to_string(page) + "\">" + label +
           "</a>";
}

// The header's search box sends its words to the page this server answers.
static_assert(SITE_SEARCH_PAGE == std::string_view(INDEX_SEARCH_PAGE));

} // namespace

std::string EncodeAddress(const std::string& address) {
    std::string encoded;
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
            c == '~') {
            encoded += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            encoded += hex;
        }
    }
    return encoded;
}

std::string RenderSearchPage(const std::string& query, const CSearchResult& result,
                             std::size_t page, std::size_t perPage, const std::string& problem) {
    const std::string words = HtmlEscape(query);
    std::string html = "<h1>Search</h1>\n";
    if (!problem.empty()) {
        html += "<p class=\"lead\">" + HtmlEscape(problem) + "</p>\n";
    } else if (query.empty()) {
        html += "<p class=\"lead\">Type words from a file's name or contents.</p>\n";
    } else if (result.hits.empty()) {
        html += "<p class=\"lead\">No file matches <strong>" + words + "</strong>.</p>\n";
    } else {
        const std::size_t first = (page - 1) * perPage + 1;
        html += "<p class=\"lead\">Files " + std::to_string(first) + " to " +
                std::to_string(first + result.hits.size() - 1) + " of about " +
                std::to_string(result.estimated) + " matching <strong>" + words +
                "</strong></p>\n<ol class=\"hits\" start=\"" + std::to_string(first) + "\">\n";
        for (const CSearchHit& hit : result.hits) {
            const std::string folder = hit.address.substr(0, hit.address.rfind('/') + 1);
            html += "<li><a class=\"hit-title\" href=\"" + HtmlEscape(EncodeAddress(hit.address)) +
                    "\">" + HtmlEscape(hit.name) + "</a>\n<span class=\"hit-note\">" +
                    HtmlEscape(folder) + " · " + Size(hit.size) + " · " + Date(hit.modified) +
                    "</span>\n" +
                    (hit.snippet.empty() ? "" : "<p class=\"hit-text\">" + hit.snippet + "</p>") +
                    "</li>\n";
        }
        html += "</ol>\n";
        const bool more = page * perPage < result.estimated;
        if (page > 1 || more) {
            html += "<nav class=\"listbar\" aria-label=\"Pages\">";
            if (page > 1) {
                html += PageLink(query, page - 1, "Previous", "prev");
            }
            if (more) {
                html += (page > 1 ? " " : "") + PageLink(query, page + 1, "Next", "next");
            }
            html += "</nav>\n";
        }
    }
    const std::string title = query.empty() ? std::string("Search") : "Search: " + query;
    CSiteFrame frame;
    frame.title = title;
    frame.searchWords = query;
    frame.footerNote = "search by the index server";
    frame.noIndex = true;
    return RenderSiteFrame(frame, html);
}
