#include "FileList.h"

#include "CatalogStatements.h"
#include "PartialDatabaseRecord.h"

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
    return true;
}

bool CFileListSource::OpenArea(double areaId) {
    return ReadIds("select f.file_id from files f, areafile a where a.file_id = f.file_id and "
                   "a.area_id = " +
                   FormatShortest(areaId));
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

void CFileListSource::Clear() {
    m_ids.clear();
    m_windows.clear();
}

const std::vector<CFileListRow>* CFileListSource::Window(std::size_t first) {
    for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
        if (it->first == first) {
            m_windows.splice(m_windows.begin(), m_windows, it);
            return &m_windows.front().second;
        }
    }
    const std::size_t end = std::min(first + WINDOW_ROWS, m_ids.size());
    std::string list;
    for (std::size_t row = first; row < end; ++row) {
        if (!list.empty()) {
            list += ',';
        }
        list += FormatWhole(m_ids[row]);
    }
    CListRecord record(&m_catalogue);
    if (!record.Open("select FILE_ID, TITLE, SIZE, SHORT_DESC, FILE_DATE, LAST_DWNLD from files "
                     "where file_id in (" +
                         list + ")",
                     true, false)) {
        return nullptr;
    }
    std::unordered_map<double, CFileListRow> found;
    while (!record.IsEOF()) {
        found[record.m_row.fileId] = record.m_row;
        if (!record.MoveNext()) {
            return nullptr;
        }
    }
    std::vector<CFileListRow> rows;
    rows.reserve(end - first);
    for (std::size_t row = first; row < end; ++row) {
        auto it = found.find(m_ids[row]);
        if (it != found.end()) {
            rows.push_back(it->second);
        } else {
            // Deleted since the list was opened: the row stays, empty.
            CFileListRow gone;
            gone.fileId = m_ids[row];
            rows.push_back(gone);
        }
    }
    m_windows.emplace_front(first, std::move(rows));
    if (m_windows.size() > WINDOWS_KEPT) {
        m_windows.pop_back();
    }
    return &m_windows.front().second;
}

bool CFileListSource::GetRow(std::size_t row, CFileListRow& values) {
    if (row >= m_ids.size()) {
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
    if (row >= m_ids.size()) {
        return false;
    }
    CFileRecord key(&m_catalogue);
    key.m_FILE_ID = m_ids[row];
    return record.GetByPrimaryKey(key, false, true);
}
