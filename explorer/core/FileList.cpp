#include "FileList.h"

#include "CatalogStatements.h"
#include "PartialDatabaseRecord.h"

#include <algorithm>
#include <ctime>
#include <unordered_map>

namespace {

// The first column of a result, as a number.
class CIdRecord : public CPartialDatabaseRecord {
public:
    using CPartialDatabaseRecord::CPartialDatabaseRecord;
    std::string GetDefaultSQL() override { return "files"; }
    int GetFields() override { return 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Double(pFX, "FILE_ID", m_id); }
    double m_id = 0;
};

// The columns the list shows, without the long description.
class CListRecord : public CPartialDatabaseRecord {
public:
    using CPartialDatabaseRecord::CPartialDatabaseRecord;
    std::string GetDefaultSQL() override { return "files"; }
    int GetFields() override { return 6; }
    void DoFieldExchange(CFieldExchange* pFX) override {
        RFX_Double(pFX, "FILE_ID", m_row.fileId);
        RFX_Text(pFX, "TITLE", m_row.title, 255);
        RFX_Double(pFX, "SIZE", m_row.size);
        RFX_Text(pFX, "SHORT_DESC", m_row.shortDesc, 255);
        RFX_Date(pFX, "FILE_DATE", m_row.fileDate);
        RFX_Date(pFX, "LAST_DWNLD", m_row.lastDownload);
    }
    CFileListRow m_row;
};

// The text of a LIKE pattern matching `text` literally, with '!' as the escape character (or
// brackets, which is how Access escapes).
std::string LikeLiteral(const std::string& text, bool brackets) {
    std::string literal;
    for (char c : text) {
        if (brackets) {
            if (c == '%' || c == '_' || c == '[') {
                literal += '[';
                literal += c;
                literal += ']';
                continue;
            }
        } else if (c == '%' || c == '_' || c == '!') {
            literal += '!';
        }
        literal += c;
    }
    return literal;
}

} // namespace

std::string BuildSearchStatement(const std::string& text, unsigned mask, CDatabaseType type,
                                 const std::string& columns) {
    if (text.empty()) {
        return {};
    }
    const bool access = type == DBTYPE_ACCESS;
    std::string statement =
        std::string(access ? "select distinctrow " : "select distinct ") + columns + " from files";
    if ((mask & SEARCH_URL) != 0) {
        statement += " inner join download on files.file_id = download.file_id";
    }
    // Quotes doubled after the pattern characters are escaped.
    const std::string pattern = QuoteText("%" + LikeLiteral(text, access) + "%");
    std::string terms;
    for (int bit = 0; bit < SEARCH_FIELD_COUNT; ++bit) {
        if ((mask & (1u << bit)) == 0) {
            continue;
        }
        if (!terms.empty()) {
            terms += " or";
        }
        const std::string column = SEARCH_FIELD_COLUMNS[bit];
        if (type == DBTYPE_POSTGRESQL) {
            terms += " " + column + " ilike " + pattern + " escape '!'";
        } else if (access) {
            terms += " " + column + " like " + pattern;
        } else {
            // SQLite and the others: LIKE ignores the case of ASCII letters; lower() on both
            // sides makes it so where it does not.
            terms += " lower(" + column + ") like lower(" + pattern + ") escape '!'";
        }
    }
    if (terms.empty()) {
        return {};
    }
    return statement + " where" + terms + " order by files.TITLE";
}

std::string FormatListDate(const CDateTime& date) {
    if (date.IsNull()) {
        return {};
    }
    std::tm parts{};
    parts.tm_year = date.GetYear() - 1900;
    parts.tm_mon = date.GetMonth() - 1;
    parts.tm_mday = date.GetDay();
    parts.tm_hour = date.GetHour();
    parts.tm_min = date.GetMinute();
    parts.tm_sec = date.GetSecond();
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, "%B %d, %Y", &parts);
    return std::string(text, length);
}

bool CFileListSource::ReadIds(const std::string& statement) {
    Clear();
    CIdRecord ids(&m_catalogue);
    if (!ids.Open(statement, true, false)) {
        return false;
    }
    while (!ids.IsEOF()) {
        m_ids.push_back(ids.m_id);
        if (!ids.MoveNext()) {
            m_ids.clear();
            return false;
        }
    }
    m_count = m_ids.size();
    return true;
}

bool CFileListSource::OpenArea(double areaId, bool countNow) {
    Clear();
    const CDatabaseType type = m_catalogue.GetDatabaseType();
    if (type != DBTYPE_SQLITE && type != DBTYPE_POSTGRESQL) {
        // No "limit ... offset" here: the ids are read whole, the rows by id.
        return ReadIds("select a.file_id from areafile a where a.area_id = " +
                       FormatShortest(areaId) + " order by a.file_id");
    }
    m_paged = true;
    m_areaId = areaId;
    m_counted = false;
    if (countNow) {
        return CountAll();
    }
    // The first window tells the first rows, and all of them when they are fewer.
    if (Window(0) == nullptr) {
        Clear();
        return false;
    }
    return true;
}

bool CFileListSource::OpenSearch(const std::string& text, unsigned mask) {
    const std::string statement = BuildSearchStatement(text, mask, m_catalogue.GetDatabaseType(),
                                                       "files.file_id, files.title");
    if (statement.empty()) {
        Clear();
        return true;
    }
    return ReadIds(statement);
}

bool CFileListSource::CountAll() {
    if (m_counted) {
        return true;
    }
    CIdRecord count(&m_catalogue);
    if (!count.Open("select count(*) from areafile where area_id = " + FormatShortest(m_areaId),
                    false, true)) {
        return false;
    }
    m_count = static_cast<std::size_t>(count.m_id);
    m_counted = true;
    return true;
}

void CFileListSource::Clear() {
    m_paged = false;
    m_ids.clear();
    m_count = 0;
    m_counted = true;
    m_windows.clear();
}

bool CFileListSource::ReadWindow(std::size_t first, std::vector<CFileListRow>& rows) {
    std::string statement;
    if (m_paged) {
        // The links are paged on their own (the key's index alone), then joined: skipping rows
        // of the join would read every file skipped. A link whose file is gone gives an empty
        // row.
        statement = "select a.file_id, f.TITLE, f.SIZE, f.SHORT_DESC, f.FILE_DATE, f.LAST_DWNLD "
                    "from (select file_id from areafile where area_id = " +
                    FormatShortest(m_areaId) + " order by file_id limit " +
                    std::to_string(WINDOW_ROWS) + " offset " + std::to_string(first) +
                    ") a left join files f on f.file_id = a.file_id order by a.file_id";
    } else {
        std::string list;
        for (std::size_t row = first; row < std::min(first + WINDOW_ROWS, m_ids.size()); ++row) {
            list += (list.empty() ? "" : ",") + FormatWhole(m_ids[row]);
        }
        statement = "select FILE_ID, TITLE, SIZE, SHORT_DESC, FILE_DATE, LAST_DWNLD from files "
                    "where file_id in (" +
                    list + ")";
    }
    CListRecord record(&m_catalogue);
    if (!record.Open(statement, true, false)) {
        return false;
    }
    while (!record.IsEOF()) {
        rows.push_back(record.m_row);
        if (!record.MoveNext()) {
            return false;
        }
    }
    if (m_paged) {
        return true;
    }
    // In the order of the ids; a file deleted since the list was opened stays, empty.
    std::unordered_map<double, CFileListRow> found;
    for (CFileListRow& row : rows) {
        found[row.fileId] = std::move(row);
    }
    rows.clear();
    for (std::size_t row = first; row < std::min(first + WINDOW_ROWS, m_ids.size()); ++row) {
        auto it = found.find(m_ids[row]);
        CFileListRow values;
        values.fileId = m_ids[row];
        rows.push_back(it != found.end() ? it->second : values);
    }
    return true;
}

const std::vector<CFileListRow>* CFileListSource::Window(std::size_t first) {
    for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
        if (it->first == first) {
            m_windows.splice(m_windows.begin(), m_windows, it);
            return &m_windows.front().second;
        }
    }
    std::vector<CFileListRow> rows;
    if (!ReadWindow(first, rows)) {
        return nullptr;
    }
    if (!m_counted) {
        m_count = std::max(m_count, first + rows.size());
        m_counted = rows.size() < WINDOW_ROWS;
    }
    // Rows that left the area since it was counted stay, empty, so the list keeps its length.
    rows.resize(std::min(WINDOW_ROWS, m_count - std::min(first, m_count)));
    m_windows.emplace_front(first, std::move(rows));
    if (m_windows.size() > WINDOWS_KEPT) {
        m_windows.pop_back();
    }
    return &m_windows.front().second;
}

double CFileListSource::GetFileId(std::size_t row) {
    CFileListRow values;
    return GetRow(row, values) ? values.fileId : 0;
}

bool CFileListSource::GetRow(std::size_t row, CFileListRow& values) {
    if (row >= m_count) {
        return false;
    }
    const std::size_t first = row - row % WINDOW_ROWS;
    const std::vector<CFileListRow>* window = Window(first);
    if (window == nullptr) {
        return false;
    }
    values = (*window)[row - first];
    return true;
}

bool CFileListSource::GetText(std::size_t row, int column, std::string& text) {
    CFileListRow values;
    if (!GetRow(row, values)) {
        return false;
    }
    switch (column) {
    case 0:
        text = values.title;
        break;
    case 1:
        text = FormatWhole(values.size);
        break;
    case 2:
        text = "File";
        break;
    case 3:
        text = FormatListDate(values.fileDate);
        break;
    case 4:
        text = FormatListDate(values.lastDownload);
        break;
    case 5:
        text = values.shortDesc;
        break;
    default:
        return false;
    }
    return true;
}

bool CFileListSource::GetRecord(std::size_t row, CFileRecord& record) {
    CFileRecord key(&m_catalogue);
    key.m_FILE_ID = GetFileId(row);
    if (key.m_FILE_ID == 0) {
        return false;
    }
    return record.GetByPrimaryKey(key, false, true);
}
