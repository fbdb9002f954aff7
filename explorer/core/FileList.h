#pragma once
// The list of catalogue files the main window shows for a file area or a search, and the
// search statement.
//
// An area's list reads one window of rows at a time, by position in the area's links ordered by
// file id (the order in which files were added, and the order an unsorted select of the links
// gives on SQLite), so opening an area of a hundred thousand files costs one window; how many
// rows there are is counted on request, so that a window can show its first rows before that.
// A search reads the ids it finds (by title) when it opens, then its rows a window at a time.
// Only a few windows are kept. Row r of the list is record r + 1 of the result.

#include "DateTime.h"
#include "DorvaleDatabaseManager.h"
#include "FileRecord.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

// The fields a search may look in: bit i of the mask.
constexpr unsigned SEARCH_TITLE = 1;
constexpr unsigned SEARCH_SHORT_DESC = 2;
constexpr unsigned SEARCH_LONG_DESC = 4;
constexpr unsigned SEARCH_AUTHOR = 8;
constexpr unsigned SEARCH_EMAIL = 16;
constexpr unsigned SEARCH_URL = 32;
constexpr unsigned SEARCH_ALL = 63;
constexpr int SEARCH_FIELD_COUNT = 6;
// The items of "Where to search:", in bit order, and the columns they search.
inline constexpr const char* SEARCH_FIELD_NAMES[SEARCH_FIELD_COUNT] = {
    "Title", "Short description", "Long description", "Author name", "Author email address", "URL"};
inline constexpr const char* SEARCH_FIELD_COLUMNS[SEARCH_FIELD_COUNT] = {
    "files.title",     "files.short_desc", "files.long_desc",
    "files.upld_name", "files.upld_email", "download.url"};

inline constexpr char MSG_NOTHING_FOUND[] = "No files were found that match your search criteria.";

// The search statement: the rows of `files` (or `columns` of them) in which any field of the
// mask contains `text`, by title. The text is matched literally: quotes are doubled and the
// pattern characters % and _ (and the escape character itself) are escaped. Case is ignored on
// every product. Empty for an empty text or mask.
std::string BuildSearchStatement(const std::string& text, unsigned mask, CDatabaseType type,
                                 const std::string& columns = "files.*");

// The list's columns and their headers and default widths.
constexpr int LIST_COLUMN_COUNT = 6;
inline constexpr const char* LIST_COLUMN_HEADERS[LIST_COLUMN_COUNT] = {
    "Name", "Size", "Type", "File Date", "Last Download", "Description"};
inline constexpr int LIST_COLUMN_WIDTHS[LIST_COLUMN_COUNT] = {125, 80, 80, 100, 100, 250};

// A date as the list shows it: "%B %d, %Y" in the user's locale; empty for no date.
std::string FormatListDate(const CDateTime& date);

struct CFileListRow {
    double fileId = 0;
    std::string title;
    double size = 0;
    std::string shortDesc;
    CDateTime fileDate;
    CDateTime lastDownload;
};

class CFileListSource {
public:
    explicit CFileListSource(CDorvaleDatabaseManager& catalogue) : m_catalogue(catalogue) {}

    // The files of an area. With `countNow` false only the first window is read, and
    // GetCount() tells the rows known so far until CountAll(). False (an empty list) when the
    // catalogue cannot be read.
    bool OpenArea(double areaId, bool countNow = true);
    // The files a search finds; an empty text or mask finds nothing.
    bool OpenSearch(const std::string& text, unsigned mask);
    void Clear();

    // The rows known: all of them once IsCounted().
    std::size_t GetCount() const { return m_count; }
    bool IsCounted() const { return m_counted; }
    // Counts an area's rows. False when the catalogue cannot be read.
    bool CountAll();
    // Forgets the rows read, so that they are read again (after a file was edited).
    void ForgetRows() { m_windows.clear(); }
    // 0 past the end or when the catalogue fails.
    double GetFileId(std::size_t row);
    // The row's values, fetched on demand. False past the end or when the catalogue fails
    // (the caller keeps what it showed).
    bool GetRow(std::size_t row, CFileListRow& values);
    // The text of a column: title, size in bytes, "File", file date, last download, brief
    // description.
    bool GetText(std::size_t row, int column, std::string& text);
    // The whole catalogue record of the row, for properties, deletion and the virus check.
    bool GetRecord(std::size_t row, CFileRecord& record);

    // Rows fetched together; windows kept.
    static constexpr std::size_t WINDOW_ROWS = 100;
    static constexpr std::size_t WINDOWS_KEPT = 8;

private:
    bool ReadIds(const std::string& statement);
    bool ReadWindow(std::size_t first, std::vector<CFileListRow>& rows);
    const std::vector<CFileListRow>* Window(std::size_t first);

    CDorvaleDatabaseManager& m_catalogue;
    // An area read by position (when the product pages results), or rows by id.
    bool m_paged = false;
    double m_areaId = 0;
    std::vector<double> m_ids;
    std::size_t m_count = 0;
    bool m_counted = true;
    // Most recently used first: (first row, rows).
    std::list<std::pair<std::size_t, std::vector<CFileListRow>>> m_windows;
};
