#include "Formatting.h"

#include "Text.h"

#include <charconv>
#include <cstdio>

namespace {

void AppendNumber(std::string& out, long long n) {
    char buffer[24];
    const int length = std::snprintf(buffer, sizeof buffer, "%lld", n);
    out.append(buffer, static_cast<std::size_t>(length));
}

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

void AppendLink(std::string& out, std::string_view url, std::string_view text) {
    out += "<a href=\"";
    out += url;
    out += "\">";
    out += text;
    out += "</a>";
}

} // namespace

std::string_view SortName(int sort) {
    static constexpr std::string_view NAMES[SORT_COUNT] = {"title", "downloads", "date"};
    return sort >= 0 && sort < SORT_COUNT ? NAMES[sort] : NAMES[SORT_TITLE];
}

std::string FormatSize(long long bytes) {
    // The site's pages are the site's, not the administrator's: to_chars writes the decimal
    // point as "%.1f" does in the C locale, whatever locale the process runs in.
    const auto oneDecimal = [](double value, std::string_view unit) {
        char buffer[64];
        const std::to_chars_result result =
            std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 1);
        std::string out(buffer, result.ptr);
        out += unit;
        return out;
    };
    if (bytes < 1024) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%lld Byte(s)", bytes);
        return buffer;
    }
    if (bytes < 1024000) {
        return oneDecimal(static_cast<double>(bytes) / 1024.0, " KB");
    }
    // The megabyte here is 1 024 000 bytes, as the site has always shown it.
    return oneDecimal(static_cast<double>(bytes) / 1024000.0, " MB");
}

void AppendGroupedDigits(std::string& out, long long n) {
    char buffer[24];
    const int length = std::snprintf(buffer, sizeof buffer, "%lld", n);
    std::string_view digits(buffer, static_cast<std::size_t>(length));
    // The sign is not a digit of the first group.
    if (!digits.empty() && digits.front() == '-') {
        out += '-';
        digits.remove_prefix(1);
    }
    std::size_t first = digits.size() % 3;
    if (first == 0) {
        first = 3;
    }
    out.append(digits.substr(0, first));
    for (std::size_t i = first; i < digits.size(); i += 3) {
        out += ',';
        out.append(digits.substr(i, 3));
    }
}

std::string GroupDigits(long long n) {
    std::string out;
    AppendGroupedDigits(out, n);
    return out;
}

void AppendUrlEscaped(std::string& out, std::string_view text) {
    static constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsAsciiAlnum(c)) {
            out += ch;
        } else if (c == ' ') {
            out += "%20";
        } else {
            out += '%';
            out += HEX_DIGITS[c >> 4];
            out += HEX_DIGITS[c & 15];
        }
    }
}

std::string UrlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendUrlEscaped(out, text);
    return out;
}

void AppendHtmlEscaped(std::string& out, std::string_view text) {
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::string_view entity;
        switch (text[i]) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        case '\'':
            entity = "&#39;";
            break;
        default:
            continue;
        }
        out.append(text.substr(plain, i - plain));
        out += entity;
        plain = i + 1;
    }
    out.append(text.substr(plain));
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    AppendHtmlEscaped(out, text);
    return out;
}

bool IsLinkableLocation(std::string_view location) {
    while (!location.empty() && static_cast<unsigned char>(location.front()) <= 0x20) {
        location.remove_prefix(1);
    }
    const std::string_view scheme = location.substr(0, location.find(':'));
    return scheme.size() < location.size() &&
           (base::EqualsNoCase(scheme, "http") || base::EqualsNoCase(scheme, "https") ||
            base::EqualsNoCase(scheme, "ftp"));
}

bool IsMailAddress(std::string_view address) {
    const std::size_t at = address.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 == address.size() ||
        address.find('@', at + 1) != std::string_view::npos) {
        return false;
    }
    for (const char c : address) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f ||
            std::string_view("<>()[]\\,;:\"?").find(c) != std::string_view::npos) {
            return false;
        }
    }
    return true;
}

std::string GetSiteName(std::string_view location) {
    std::size_t third = std::string_view::npos;
    int slashes = 0;
    for (std::size_t i = 0; i < location.size(); ++i) {
        if (location[i] == '/' && ++slashes == 3) {
            third = i;
            break;
        }
    }
    if (third == std::string_view::npos) {
        return {};
    }
    if (base::StartsWithNoCase(location, "local://")) {
        return std::string(location.substr(third + 1));
    }
    return std::string(location.substr(0, third));
}

bool SplitLocalLocation(std::string_view location, long long& areaId, std::string_view& name) {
    constexpr std::string_view PREFIX = "local://";
    if (!base::StartsWithNoCase(location, PREFIX)) {
        return false;
    }
    std::size_t i = PREFIX.size();
    long long id = 0;
    const std::size_t digits = i;
    for (; i < location.size() && location[i] >= '0' && location[i] <= '9'; ++i) {
        if (id > (9'223'372'036'854'775'807LL - 9) / 10) {
            return false;
        }
        id = id * 10 + (location[i] - '0');
    }
    if (i == digits || i >= location.size() || location[i] != '/') {
        return false;
    }
    areaId = id;
    name = location.substr(i + 1);
    return true;
}

std::string FormatAliasUrl(std::string_view server, std::string_view alias, std::string_view name) {
    while (!alias.empty() && (alias.back() == '/' || alias.back() == '\\')) {
        alias.remove_suffix(1);
    }
    while (!alias.empty() && (alias.front() == '/' || alias.front() == '\\')) {
        alias.remove_prefix(1);
    }
    if (alias.empty()) {
        return {};
    }
    if (!server.empty() && server.back() == '/') {
        server.remove_suffix(1);
    }
    std::string url(server);
    url += '/';
    url += alias;
    url += '/';
    std::size_t start = 0;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            AppendUrlEscaped(url, name.substr(start, i - start));
            if (i < name.size()) {
                url += '/';
            }
            start = i + 1;
        }
    }
    return url;
}

std::string FormatPageName(long long page, int sort) {
    std::string name("page");
    AppendNumber(name, page);
    name += '-';
    name += SortName(sort);
    name += ".asp";
    return name;
}

std::string FormatPageUrl(std::string_view group, std::string_view area, long long page, int sort) {
    std::string url(PAGE_URL_BASE);
    AppendUrlEscaped(url, group);
    url += '/';
    url += area;
    url += '/';
    url += FormatPageName(page, sort);
    return url;
}

long long PageCount(long long total) {
    return total > 0 ? (total + ROWS_PER_PAGE - 1) / ROWS_PER_PAGE : 0;
}

std::string FormatDisplayRange(long long total, long long page) {
    if (total <= 0) {
        return "0 - 0";
    }
    std::string out;
    if (total < ROWS_PER_PAGE) {
        out = "1-";
        AppendNumber(out, total);
        return out;
    }
    const long long first = ROWS_PER_PAGE * (page - 1) + 1;
    const long long last = total < ROWS_PER_PAGE * page ? total : ROWS_PER_PAGE * page;
    AppendNumber(out, first);
    out += " - ";
    AppendNumber(out, last);
    return out;
}

std::string FormatSortLink(int sort, int currentSort, std::string_view url) {
    if (sort == currentSort) {
        return std::string(SortName(sort));
    }
    std::string out;
    AppendLink(out, url, SortName(sort));
    return out;
}

std::string FormatNavBar(std::string_view group, std::string_view area, long long pages,
                         long long current, int sort) {
    std::string bar;
    if (pages <= 1) {
        return bar;
    }
    // A long list's bar links its pages by their names alone: they lie in the same directory,
    // and the bar stays small enough that such a page fits in one 4 KiB block.
    const bool bounded = pages > NAVBAR_ALL_PAGES;
    const auto link = [&](long long page) {
        return bounded ? FormatPageName(page, sort) : FormatPageUrl(group, area, page, sort);
    };
    if (current == 1) {
        bar += "<font color=999999>[PREVIOUS]</font>";
    } else {
        AppendLink(bar, link(current - 1), "[PREVIOUS]");
    }
    std::string number;
    bool skipping = false;
    for (long long n = 1; n <= pages; ++n) {
        // A long list shows its ends and the neighbourhood of the current page; a bar of
        // every page would make each page's size, and the site's, grow with the square of
        // the list.
        if (bounded && n != 1 && n != pages &&
            (n < current - NAVBAR_NEIGHBOURS || n > current + NAVBAR_NEIGHBOURS)) {
            if (!skipping) {
                bar += "&nbsp;...";
                skipping = true;
            }
            continue;
        }
        skipping = false;
        number.clear();
        AppendNumber(number, n);
        if (n == current) {
            bar += "&nbsp;<font color=999999>";
            bar += number;
            bar += "</font>";
        } else {
            bar += "&nbsp;";
            AppendLink(bar, link(n), number);
        }
    }
    if (current == pages) {
        bar += "&nbsp;<font color=999999>[NEXT]</font>";
    } else {
        bar += "&nbsp;";
        AppendLink(bar, link(current + 1), "[NEXT]");
    }
    return bar;
}
