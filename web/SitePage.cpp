#include "SitePage.h"

#include "Formatting.h"
#include "SiteFrame.h"

std::string RenderSitePage(std::string_view title, std::string_view kicker,
                           std::string_view mainHtml) {
    std::string html = "<nav class=\"crumbs\" aria-label=\"Breadcrumb\">\n<ol>\n"
                       "<li><a href=\"/dorvale/index.asp\">Groups</a></li>\n"
                       "<li><a aria-current=\"page\">";
    AppendHtmlEscaped(html, title);
    html += "</a></li>\n</ol>\n</nav>\n<h1>";
    if (!kicker.empty()) {
        html += "<span class=\"kicker\">";
        AppendHtmlEscaped(html, kicker);
        html += "</span> ";
    }
    AppendHtmlEscaped(html, title);
    html += "</h1>\n";
    html += mainHtml;
    CSiteFrame frame;
    frame.title = title;
    return RenderSiteFrame(frame, html);
}

namespace {

// `<label for="NAME">LABEL (required)</label>` and ` id="NAME" name="NAME"` of one control.
std::string Label(std::string_view name, std::string_view label, bool required) {
    return "<label for=\"" + HtmlEscape(name) + "\">" + HtmlEscape(label) +
           (required ? " <span class=\"required\">(required)</span>" : "") + "</label>";
}

std::string IdAndName(std::string_view name) {
    const std::string escaped = HtmlEscape(name);
    return " id=\"" + escaped + "\" name=\"" + escaped + "\"";
}

} // namespace

void AppendFormInput(std::string& html, std::string_view name, std::string_view label,
                     std::string_view type, std::size_t maxLength, bool required,
                     std::string_view hint) {
    html += "<div class=\"field\">" + Label(name, label, required) + "<input" + IdAndName(name) +
            " type=\"" + HtmlEscape(type) + "\"";
    if (maxLength > 0) {
        html += " maxlength=\"" + std::to_string(maxLength) + "\"";
    }
    html += required ? " required>" : ">";
    if (!hint.empty()) {
        html += "<small class=\"muted\">" + HtmlEscape(hint) + "</small>";
    }
    html += "</div>\n";
}

void AppendFormTextArea(std::string& html, std::string_view name, std::string_view label, int rows,
                        std::size_t maxLength) {
    html += "<div class=\"field\">" + Label(name, label, false) + "<textarea" + IdAndName(name) +
            " rows=\"" + std::to_string(rows) + "\" maxlength=\"" + std::to_string(maxLength) +
            "\"></textarea></div>\n";
}

void AppendFormCheckbox(std::string& html, std::string_view name, std::string_view label) {
    html += "<div class=\"field check\"><input" + IdAndName(name) +
            " type=\"checkbox\" value=\"yes\">" + Label(name, label, false) + "</div>\n";
}

void RespondWithMessage(CWebResponse& response, int status, std::string_view title,
                        const std::vector<std::string>& messages, std::string_view backHref) {
    std::string html = "<div class=\"notice";
    html += status >= 400 ? " notice-error\" role=\"alert\">\n" : "\">\n";
    if (messages.size() == 1) {
        html += "<p>";
        AppendHtmlEscaped(html, messages.front());
        html += "</p>\n";
    } else if (!messages.empty()) {
        html += "<ul>\n";
        for (const std::string& message : messages) {
            html += "<li>";
            AppendHtmlEscaped(html, message);
            html += "</li>\n";
        }
        html += "</ul>\n";
    }
    html += "</div>\n";
    if (!backHref.empty()) {
        html += "<p><a class=\"button secondary\" href=\"";
        AppendHtmlEscaped(html, backHref);
        html +=
            status >= 400 ? "\">Go back and correct it</a></p>\n" : "\">Back to the file</a></p>\n";
    }
    response.status = status;
    response.contentType = "text/html; charset=utf-8";
    response.location.clear();
    response.body = RenderSitePage(title, status >= 400 ? "Sorry" : "", html);
}

const char* StatusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 415:
        return "Unsupported Media Type";
    case 422:
        return "Unprocessable Content";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    case 507:
        return "Insufficient Storage";
    default:
        return "Unknown";
    }
}
