#pragma once
// How the generated pages show sizes, numbers, names and links.

#include <string>
#include <string_view>

// Rows on one body page, and the unit of the page count and display range.
constexpr int ROWS_PER_PAGE = 10;

// Sort orders by index; the name appears in page file names, URLs and link texts.
enum ESortOrder { SORT_TITLE = 0, SORT_DOWNLOADS = 1, SORT_DATE = 2, SORT_COUNT = 3 };
// The name of a sort order; an index out of range counts as the title order.
std::string_view SortName(int sort);

// The attribute that highlights every other row of a list.
inline constexpr std::string_view ROW_HIGHLIGHT = "bgcolor=\"#e8e8e8\"";
inline constexpr std::string_view PAGE_URL_BASE = "/dorvale/files/";
// Shown for an empty catalogue text in the file lists.
inline constexpr std::string_view EMPTY_CELL = "&nbsp;";

// "N Byte(s)" below 1024, "N.N KB" below 1 024 000, else "N.N MB" of n / 1 024 000.
std::string FormatSize(long long bytes);

// The decimal digits in groups of three from the right, joined by ",".
std::string GroupDigits(long long n);
void AppendGroupedDigits(std::string& out, long long n);

// Letters and digits kept, a space as "%20", every other byte as "%" and two upper-case
// hexadecimal digits.
std::string UrlEscape(std::string_view text);
void AppendUrlEscaped(std::string& out, std::string_view text);

// The five characters that matter in HTML text and attribute values as entities.
std::string HtmlEscape(std::string_view text);
void AppendHtmlEscaped(std::string& out, std::string_view text);

// The site part of a download location: the scheme and host of a URL, or the file part of
// a local location "local://<area id>/<file>"; empty with fewer than three slashes.
std::string GetSiteName(std::string_view location);

// Whether a download location may be the target of a link: its scheme, once the blanks and
// control characters around it are set aside (as a browser does), is http, https or ftp in
// any letter case. Any other (javascript:, data:, vbscript:, ...) would run or show
// something of the writer's own when followed, so such a location is shown as text only.
bool IsLinkableLocation(std::string_view location);

// Whether an e-mail address is one that a mailto: link may name: one '@' with text on both
// sides and no blank, control character or any of "<>()[]\,;:\"?".
bool IsMailAddress(std::string_view address);

// Splits a local download location "local://<area id>/<name>" (prefix in any letter case).
// False for a URL, and for a location without digits or without '/' after them.
bool SplitLocalLocation(std::string_view location, long long& areaId, std::string_view& name);

// The address of a file published under a server's alias: the server without a trailing '/',
// the alias with one leading and no trailing '/', '/', and the name URL-escaped segment by
// segment ('/' and '\\' both separate segments and are written as '/'). Empty when the alias
// is empty.
std::string FormatAliasUrl(std::string_view server, std::string_view alias, std::string_view name);

// "page<page>-<sort name>.asp".
std::string FormatPageName(long long page, int sort);
// "/dorvale/files/<group, URL-escaped>/<area>/page<page>-<sort name>.asp".
std::string FormatPageUrl(std::string_view group, std::string_view area, long long page, int sort);

// The number of list pages for a total: (total + 9) / 10.
long long PageCount(long long total);

// "0 - 0", "1-<total>" for fewer than a page of rows, else "<first> - <last>".
std::string FormatDisplayRange(long long total, long long page);

// The plain sort name for the current sort, else a link to `url` with the name as its text.
std::string FormatSortLink(int sort, int currentSort, std::string_view url);

// Up to this many pages the bar links every page; beyond, the first, the last and those within
// NAVBAR_NEIGHBOURS of the current one, with "..." (not a link) for each run left out, and
// links by the pages' names alone (FormatPageName).
constexpr long long NAVBAR_ALL_PAGES = 25;
constexpr long long NAVBAR_NEIGHBOURS = 10;

// The [PREVIOUS] 1 2 3 [NEXT] bar of a list with `pages` pages; empty for one page or none.
std::string FormatNavBar(std::string_view group, std::string_view area, long long pages,
                         long long current, int sort);
