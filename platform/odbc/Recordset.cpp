#include "Recordset.h"

#include "OdbcText.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

// One bound field: where its value lives in the owner, the buffer the driver fetches into
// (which keeps the current row's original values for finding it again), and the buffer of
// the value written by Update.
struct CRecordsetField {
    struct CBuffer {
        double number = 0;
        int64_t whole = 0;
        unsigned char flag = 0;
        SQL_TIMESTAMP_STRUCT stamp{};
        std::vector<char> text;
        SQLLEN indicator = SQL_NULL_DATA;
    };

    std::string name;
    CFieldExchange::EKind kind = CFieldExchange::EKind::Double;
    void* member = nullptr;
    int maxLength = 0;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    bool writeNull = false;
    bool dirty = true; // written by the UPDATE of an edit
    CBuffer fetched;
    CBuffer written;
    SQLLEN whereIndicator = 0;

    SQLSMALLINT CType() const {
        switch (kind) {
        case CFieldExchange::EKind::Double:
            return SQL_C_DOUBLE;
        case CFieldExchange::EKind::Long:
            return SQL_C_SBIGINT;
        case CFieldExchange::EKind::Bool:
            return SQL_C_BIT;
        case CFieldExchange::EKind::Date:
            return SQL_C_TYPE_TIMESTAMP;
        case CFieldExchange::EKind::Text:
            return SQL_C_CHAR;
        }
        return SQL_C_CHAR;
    }
    SQLSMALLINT ParameterType() const {
        switch (kind) {
        case CFieldExchange::EKind::Double:
            return SQL_DOUBLE;
        case CFieldExchange::EKind::Long:
            return SQL_BIGINT;
        case CFieldExchange::EKind::Bool:
            return SQL_BIT;
        case CFieldExchange::EKind::Date:
            return SQL_TYPE_TIMESTAMP;
        case CFieldExchange::EKind::Text:
            return sqlType;
        }
        return SQL_VARCHAR;
    }
    static SQLPOINTER Data(CBuffer& buffer, CFieldExchange::EKind kind) {
        switch (kind) {
        case CFieldExchange::EKind::Double:
            return &buffer.number;
        case CFieldExchange::EKind::Long:
            return &buffer.whole;
        case CFieldExchange::EKind::Bool:
            return &buffer.flag;
        case CFieldExchange::EKind::Date:
            return &buffer.stamp;
        case CFieldExchange::EKind::Text:
            return buffer.text.data();
        }
        return nullptr;
    }
    SQLLEN Size(const CBuffer& buffer) const {
        switch (kind) {
        case CFieldExchange::EKind::Double:
            return sizeof(double);
        case CFieldExchange::EKind::Long:
            return sizeof(int64_t);
        case CFieldExchange::EKind::Bool:
            return 1;
        case CFieldExchange::EKind::Date:
            return sizeof(SQL_TIMESTAMP_STRUCT);
        case CFieldExchange::EKind::Text:
            return static_cast<SQLLEN>(buffer.text.size());
        }
        return 0;
    }
    bool IsLong() const {
        return kind == CFieldExchange::EKind::Text && sqlType == SQL_LONGVARCHAR;
    }

    // Value of the owner's member from a fetched buffer.
    void Load(CBuffer& buffer) {
        bool isNull = buffer.indicator == SQL_NULL_DATA;
        switch (kind) {
        case CFieldExchange::EKind::Double:
            *static_cast<double*>(member) = isNull ? 0.0 : buffer.number;
            break;
        case CFieldExchange::EKind::Long:
            *static_cast<long*>(member) = isNull ? 0 : static_cast<long>(buffer.whole);
            break;
        case CFieldExchange::EKind::Bool:
            *static_cast<bool*>(member) = !isNull && buffer.flag != 0;
            break;
        case CFieldExchange::EKind::Date: {
            const SQL_TIMESTAMP_STRUCT& s = buffer.stamp;
            *static_cast<CDateTime*>(member) =
                isNull ? CDateTime()
                       : CDateTime(s.year, s.month, s.day, s.hour, s.minute, s.second);
            break;
        }
        case CFieldExchange::EKind::Text: {
            std::string& text = *static_cast<std::string*>(member);
            if (isNull) {
                text.clear();
                break;
            }
            size_t limit = static_cast<size_t>(maxLength);
            size_t length = buffer.indicator == SQL_NO_TOTAL || buffer.indicator < 0
                                ? std::strlen(buffer.text.data())
                                : static_cast<size_t>(buffer.indicator);
            if (length > limit) {
                // The driver cut the text to the buffer; the byte after the cut is unknown.
                length = base::Utf8CompleteLength(std::string_view(
                    buffer.text.data(), std::min(limit, std::strlen(buffer.text.data()))));
            }
            text.assign(buffer.text.data(), length);
            break;
        }
        }
    }

    // The member's value into the write buffer.
    void Store() {
        CBuffer& buffer = written;
        buffer.indicator = writeNull ? SQL_NULL_DATA : 0;
        switch (kind) {
        case CFieldExchange::EKind::Double:
            buffer.number = *static_cast<double*>(member);
            buffer.indicator = writeNull ? SQL_NULL_DATA : static_cast<SQLLEN>(sizeof(double));
            break;
        case CFieldExchange::EKind::Long:
            buffer.whole = *static_cast<long*>(member);
            buffer.indicator = writeNull ? SQL_NULL_DATA : static_cast<SQLLEN>(sizeof(int64_t));
            break;
        case CFieldExchange::EKind::Bool:
            buffer.flag = *static_cast<bool*>(member) ? 1 : 0;
            buffer.indicator = writeNull ? SQL_NULL_DATA : 1;
            break;
        case CFieldExchange::EKind::Date: {
            const CDateTime& date = *static_cast<CDateTime*>(member);
            if (date.IsNull()) {
                buffer.indicator = SQL_NULL_DATA; // the null date is stored as NULL
                break;
            }
            buffer.stamp = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(date.GetYear()),
                                                static_cast<SQLUSMALLINT>(date.GetMonth()),
                                                static_cast<SQLUSMALLINT>(date.GetDay()),
                                                static_cast<SQLUSMALLINT>(date.GetHour()),
                                                static_cast<SQLUSMALLINT>(date.GetMinute()),
                                                static_cast<SQLUSMALLINT>(date.GetSecond()),
                                                0};
            if (!writeNull) {
                buffer.indicator = sizeof(SQL_TIMESTAMP_STRUCT);
            }
            break;
        }
        case CFieldExchange::EKind::Text: {
            const std::string& text = *static_cast<std::string*>(member);
            const size_t length = base::Utf8CutLength(text, static_cast<size_t>(maxLength));
            buffer.text.assign(text.data(), text.data() + length);
            buffer.text.push_back('\0');
            if (!writeNull) {
                buffer.indicator = static_cast<SQLLEN>(length);
            }
            break;
        }
        }
    }
};

namespace {

// A statement without the padding around it and without its closing semicolons.
std::string Trim(const std::string& text) {
    return odbctext::Trim(text, " \t\r\n;");
}

bool StartsWithWord(const std::string& lowered, const char* word) {
    size_t length = std::strlen(word);
    return lowered.compare(0, length, word) == 0 &&
           (lowered.size() == length || !std::isalnum(static_cast<unsigned char>(lowered[length])));
}

bool IsStatement(const std::string& sql) {
    std::string lowered = base::LowerAscii(Trim(sql));
    return StartsWithWord(lowered, "select") || StartsWithWord(lowered, "with") ||
           lowered.rfind("{call", 0) == 0 || lowered.rfind("{ call", 0) == 0;
}

// Splits a statement into words (as written), leaving quoted parts out.
std::vector<std::string> Words(const std::string& sql) {
    std::vector<std::string> words;
    std::string current;
    char quote = 0;
    for (char c : sql) {
        if (quote) {
            if (c == quote) {
                quote = 0;
            }
            continue;
        }
        if (c == '\'') {
            quote = c;
            if (!current.empty()) {
                words.push_back(current);
                current.clear();
            }
            words.push_back("'");
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == '(' || c == ')' ||
            c == ';') {
            if (!current.empty()) {
                words.push_back(current);
                current.clear();
            }
            if (c != ' ' && !std::isspace(static_cast<unsigned char>(c))) {
                words.push_back(std::string(1, c));
            }
            continue;
        }
        current += c;
    }
    if (!current.empty()) {
        words.push_back(current);
    }
    return words;
}

void Check(SQLRETURN rc, SQLHSTMT statement, const char* context) {
    CheckSqlReturn(rc, SQL_HANDLE_STMT, statement, context);
}

} // namespace

std::string CRecordset::ParseTableName(const std::string& sql) {
    std::string trimmed = Trim(sql);
    if (trimmed.empty()) {
        return {};
    }
    if (!IsStatement(trimmed)) {
        // A bare table name.
        if (trimmed.find_first_of(" \t\r\n,()'") != std::string::npos) {
            return {};
        }
        return trimmed;
    }
    std::vector<std::string> words = Words(trimmed);
    auto is = [&](size_t i, const char* word) { return base::EqualsNoCase(words[i], word); };
    if (words.empty() || !is(0, "select")) {
        return {};
    }
    int depth = 0;
    size_t from = std::string::npos;
    for (size_t i = 0; i < words.size(); ++i) {
        if (words[i] == "(") {
            ++depth;
        } else if (words[i] == ")") {
            --depth;
        } else if (depth == 0 && is(i, "from")) {
            from = i;
            break;
        }
    }
    if (from == std::string::npos || from + 1 >= words.size()) {
        return {};
    }
    // The select list must be plain columns for rows to be written back.
    for (size_t i = 1; i < from; ++i) {
        if (words[i] == "(" || words[i] == "'") {
            return {};
        }
    }
    static const char* const ENDS[] = {"where", "order",  "group",     "having", "limit",
                                       "union", "except", "intersect", ";"};
    size_t count = 0;
    for (size_t i = from + 1; i < words.size(); ++i) {
        if (std::find_if(std::begin(ENDS), std::end(ENDS),
                         [&](const char* end) { return is(i, end); }) != std::end(ENDS)) {
            break;
        }
        if (words[i] == "," || words[i] == "(" || words[i] == "'" || is(i, "join")) {
            return {};
        }
        ++count;
    }
    // A table, optionally with an alias ("files f", "files as f").
    if (count == 0 || count > 3) {
        return {};
    }
    return words[from + 1];
}

void CFieldExchange::AddField(const char* name, EKind kind, void* member, int maxLength,
                              SQLSMALLINT sqlType) {
    auto field = std::make_unique<CRecordsetField>();
    field->name = name ? name : "";
    field->kind = kind;
    field->member = member;
    field->maxLength = std::max(maxLength, 1);
    field->sqlType = sqlType;
    if (kind == EKind::Text) {
        field->fetched.text.assign(static_cast<size_t>(field->maxLength) + 1, '\0');
    }
    m_prs->m_fields.push_back(std::move(field));
}

void RFX_Double(CFieldExchange* pFX, const char* name, double& value) {
    pFX->AddField(name, CFieldExchange::EKind::Double, &value, 0, SQL_DOUBLE);
}

void RFX_Long(CFieldExchange* pFX, const char* name, long& value) {
    pFX->AddField(name, CFieldExchange::EKind::Long, &value, 0, SQL_BIGINT);
}

void RFX_Bool(CFieldExchange* pFX, const char* name, bool& value) {
    pFX->AddField(name, CFieldExchange::EKind::Bool, &value, 0, SQL_BIT);
}

void RFX_Date(CFieldExchange* pFX, const char* name, CDateTime& value) {
    pFX->AddField(name, CFieldExchange::EKind::Date, &value, 0, SQL_TYPE_TIMESTAMP);
}

void RFX_Text(CFieldExchange* pFX, const char* name, std::string& value, int maxLength,
              int columnType) {
    SQLSMALLINT type = columnType == SQL_LONGVARCHAR ? SQL_LONGVARCHAR : SQL_VARCHAR;
    int limit = std::clamp(maxLength, 1, type == SQL_LONGVARCHAR ? 65535 : 65535);
    pFX->AddField(name, CFieldExchange::EKind::Text, &value, limit, type);
}

CRecordset::CRecordset(CDatabase* pDatabase) : m_pDatabase(pDatabase) {}

CRecordset::~CRecordset() {
    Close();
}

void CRecordset::DoFieldExchange(CFieldExchange*) {}

void CRecordset::CollectFields() {
    m_fields.clear();
    CFieldExchange exchange(this);
    DoFieldExchange(&exchange);
    if (m_nFields != 0 && m_nFields != m_fields.size()) {
        size_t bound = m_fields.size();
        m_fields.clear();
        ThrowDBException("The recordset declares " + std::to_string(m_nFields) +
                         " fields but binds " + std::to_string(bound) + ".");
    }
}

bool CRecordset::Open(unsigned openType, const char* sql, unsigned options) {
    Close();
    if (m_pDatabase == nullptr || !m_pDatabase->IsOpen()) {
        ThrowDBException("The database is not open.");
    }
    m_openType = openType == useDefaultType ? GetDefaultOpenType() : openType;
    if (m_openType == dynamic) {
        m_openType = dynaset;
    }
    m_options = options;
    CollectFields();

    std::string statement = sql && *sql ? std::string(sql) : GetDefaultSQL();
    if (Trim(statement).empty()) {
        ThrowDBException("The recordset has no statement to open.");
    }
    if (!IsStatement(statement)) {
        std::string columns;
        for (const auto& field : m_fields) {
            if (!columns.empty()) {
                columns += ',';
            }
            columns += field->name;
        }
        statement =
            "SELECT " + (columns.empty() ? std::string("*") : columns) + " FROM " + Trim(statement);
    }
    m_strSQL = statement;
    m_strTableName = ParseTableName(statement);

    m_pDatabase->RegisterRecordset(this);
    m_bRegistered = true;
    m_bOpen = true;
    m_bBOF = m_bEOF = true;
    m_bDeleted = false;
    m_editMode = EEditMode::None;

    if (m_options & appendOnly) {
        return true; // nothing to read
    }
    try {
        Execute();
    } catch (...) {
        Close();
        throw;
    }
    return true;
}

void CRecordset::Execute() {
    if (!m_statement) {
        m_statement = m_pDatabase->AllocStatement();
        SQLHSTMT statement = m_statement.Get();
        SQLULEN cursor = m_openType == forwardOnly ? SQL_CURSOR_FORWARD_ONLY : SQL_CURSOR_STATIC;
        // A driver may substitute another cursor (a warning, not an error).
        SQLSetStmtAttr(statement, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), 0);
        SQLSetStmtAttr(statement, SQL_ATTR_CONCURRENCY,
                       reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
    } else {
        SQLFreeStmt(m_statement.Get(), SQL_CLOSE);
    }
    SQLHSTMT statement = m_statement.Get();
    std::string text = m_strSQL;
    Check(SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(text.data()),
                        static_cast<SQLINTEGER>(text.size())),
          statement, "SQLExecDirect");
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(statement, &columns), statement, "SQLNumResultCols");
    if (static_cast<size_t>(columns) < m_fields.size()) {
        ThrowDBException("The statement returns " + std::to_string(columns) + " columns but " +
                         std::to_string(m_fields.size()) + " fields are bound.");
    }
    for (size_t i = 0; i < m_fields.size(); ++i) {
        CRecordsetField& field = *m_fields[i];
        Check(SQLBindCol(statement, static_cast<SQLUSMALLINT>(i + 1), field.CType(),
                         CRecordsetField::Data(field.fetched, field.kind),
                         field.Size(field.fetched), &field.fetched.indicator),
              statement, "SQLBindCol");
    }
    m_bBOF = m_bEOF = true;
    m_bDeleted = false;
    if (Fetch(SQL_FETCH_NEXT, 0)) {
        m_bBOF = m_bEOF = false;
    }
}

void CRecordset::Close() {
    m_statement.Reset();
    m_bOpen = false;
    m_bBOF = m_bEOF = true;
    m_bDeleted = false;
    m_editMode = EEditMode::None;
    if (m_bRegistered) {
        m_bRegistered = false;
        m_pDatabase->UnregisterRecordset(this);
    }
}

bool CRecordset::Fetch(SQLSMALLINT orientation, SQLLEN offset) {
    SQLHSTMT statement = m_statement.Get();
    SQLRETURN rc = SQLFetchScroll(statement, orientation, offset);
    if (rc == SQL_NO_DATA) {
        return false;
    }
    Check(rc, statement, "SQLFetchScroll");
    LoadMembers();
    m_bDeleted = false;
    return true;
}

void CRecordset::LoadMembers() {
    for (auto& field : m_fields) {
        field->Load(field->fetched);
    }
}

bool CRecordset::CanUpdate() const {
    return m_bOpen && !(m_options & (readOnly | appendOnly)) && m_openType != forwardOnly &&
           !m_strTableName.empty();
}

bool CRecordset::CanAppend() const {
    return m_bOpen && !(m_options & readOnly) && m_openType != forwardOnly &&
           !m_strTableName.empty();
}

bool CRecordset::CanScroll() const {
    return m_bOpen && m_openType != forwardOnly && m_statement;
}

void CRecordset::RequireScrollable(const char* operation) const {
    if (!m_bOpen) {
        ThrowDBException(std::string(operation) + ": the recordset is not open.");
    }
    if (m_openType == forwardOnly) {
        ThrowDBException(std::string(operation) + ": the recordset only moves forward.");
    }
}

void CRecordset::MoveNext() {
    if (!m_bOpen || !m_statement) {
        ThrowDBException("MoveNext: the recordset has no rows.");
    }
    if (m_bEOF) {
        ThrowDBException("Attempt to move past the end of the recordset.");
    }
    m_editMode = EEditMode::None;
    if (Fetch(SQL_FETCH_NEXT, 0)) {
        m_bBOF = m_bEOF = false;
    } else {
        m_bEOF = true;
    }
}

void CRecordset::MovePrev() {
    RequireScrollable("MovePrev");
    if (!m_statement || m_bBOF) {
        ThrowDBException("Attempt to move before the start of the recordset.");
    }
    m_editMode = EEditMode::None;
    if (Fetch(SQL_FETCH_PRIOR, 0)) {
        m_bBOF = m_bEOF = false;
    } else {
        m_bBOF = true;
    }
}

void CRecordset::MoveFirst() {
    RequireScrollable("MoveFirst");
    if (!m_statement) {
        return; // append-only: no rows
    }
    m_editMode = EEditMode::None;
    bool found = Fetch(SQL_FETCH_FIRST, 0);
    m_bBOF = m_bEOF = !found;
}

void CRecordset::MoveLast() {
    RequireScrollable("MoveLast");
    if (!m_statement) {
        return;
    }
    m_editMode = EEditMode::None;
    bool found = Fetch(SQL_FETCH_LAST, 0);
    m_bBOF = m_bEOF = !found;
}

void CRecordset::SetAbsolutePosition(long row) {
    RequireScrollable("SetAbsolutePosition");
    if (!m_statement) {
        return;
    }
    m_editMode = EEditMode::None;
    if (Fetch(SQL_FETCH_ABSOLUTE, static_cast<SQLLEN>(row))) {
        m_bBOF = m_bEOF = false;
    } else if (row > 0) {
        m_bEOF = true;
        m_bBOF = false;
    } else {
        m_bBOF = true;
        m_bEOF = false;
    }
}

void CRecordset::Requery() {
    if (!m_bOpen) {
        ThrowDBException("Requery: the recordset is not open.");
    }
    m_editMode = EEditMode::None;
    if (m_options & appendOnly) {
        return;
    }
    Execute();
}

size_t CRecordset::FieldIndex(const void* member) const {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i]->member == member) {
            return i;
        }
    }
    ThrowDBException("The variable is not a field of the recordset.");
}

void CRecordset::SetFieldNull(const void* member, bool isNull) {
    if (member == nullptr) {
        for (auto& field : m_fields) {
            field->writeNull = isNull;
        }
        return;
    }
    m_fields[FieldIndex(member)]->writeNull = isNull;
}

void CRecordset::SetFieldDirty(const void* member, bool dirty) {
    if (member == nullptr) {
        for (auto& field : m_fields) {
            field->dirty = dirty;
        }
        return;
    }
    m_fields[FieldIndex(member)]->dirty = dirty;
}

void CRecordset::SetKeyFieldsDirty(bool dirty) {
    for (size_t index : PrimaryKeyFields()) {
        m_fields[index]->dirty = dirty;
    }
}

bool CRecordset::IsFieldNull(const void* member) const {
    const CRecordsetField& field = *m_fields[FieldIndex(member)];
    return field.fetched.indicator == SQL_NULL_DATA;
}

void CRecordset::RequireCurrentRow(const char* operation) const {
    if (m_bEOF || m_bBOF || m_bDeleted || !m_statement) {
        ThrowDBException(std::string(operation) + ": there is no current row.");
    }
}

namespace {

enum class EGenerated { Unknown, Returning, LastInsertRowid, Identity };

EGenerated GeneratedMethod(const std::string& dbms) {
    std::string name = base::LowerAscii(dbms);
    if (name == "postgresql") {
        return EGenerated::Returning;
    }
    if (name == "sqlite") {
        return EGenerated::LastInsertRowid;
    }
    if (name == "microsoft sql server" || name == "access") {
        return EGenerated::Identity;
    }
    return EGenerated::Unknown;
}

} // namespace

void CRecordset::AddNew() {
    if (!CanAppend()) {
        ThrowDBException("AddNew: the recordset is read-only.");
    }
    if (!m_strReturned.empty() &&
        GeneratedMethod(m_pDatabase->GetDbmsName()) == EGenerated::Unknown) {
        ThrowDBException("AddNew: " + m_pDatabase->GetDbmsName() +
                         " cannot report the value it generates for " + m_strReturned + ".");
    }
    for (auto& field : m_fields) {
        field->writeNull = false;
    }
    m_editMode = EEditMode::Adding;
}

void CRecordset::Edit() {
    if (!CanUpdate()) {
        ThrowDBException("Edit: the recordset is read-only.");
    }
    RequireCurrentRow("Edit");
    for (auto& field : m_fields) {
        field->writeNull = false;
        field->dirty = true;
    }
    m_editMode = EEditMode::Editing;
}

void CRecordset::CancelUpdate() {
    m_editMode = EEditMode::None;
}

std::vector<size_t> CRecordset::PrimaryKeyFields() {
    std::vector<size_t> keys;
    std::vector<std::string> columns = m_pDatabase->GetPrimaryKeyColumns(m_strTableName);
    for (const std::string& column : columns) {
        auto found = std::find_if(m_fields.begin(), m_fields.end(), [&](const auto& field) {
            return base::EqualsNoCase(field->name, column);
        });
        if (found == m_fields.end()) {
            return {};
        }
        keys.push_back(static_cast<size_t>(found - m_fields.begin()));
    }
    return keys;
}

std::vector<size_t> CRecordset::KeyFields() {
    std::vector<size_t> keys = PrimaryKeyFields();
    if (keys.empty()) {
        // No usable key: the row is the one whose short columns all hold these values.
        for (size_t i = 0; i < m_fields.size(); ++i) {
            if (!m_fields[i]->IsLong()) {
                keys.push_back(i);
            }
        }
    }
    return keys;
}

void CRecordset::BindWhere(SQLHSTMT statement, std::string& sql, const std::vector<size_t>& keys,
                           SQLUSMALLINT& parameter, bool bindNow) {
    bool first = true;
    for (size_t index : keys) {
        CRecordsetField& field = *m_fields[index];
        sql += first ? " WHERE " : " AND ";
        first = false;
        if (field.fetched.indicator == SQL_NULL_DATA) {
            sql += field.name + " IS NULL";
            continue;
        }
        sql += field.name + "=?";
        ++parameter;
        if (!bindNow) {
            continue;
        }
        SQLLEN size = field.Size(field.fetched);
        field.whereIndicator = field.fetched.indicator;
        SQLULEN columnSize = 0;
        if (field.kind == CFieldExchange::EKind::Text) {
            size_t length = std::strlen(field.fetched.text.data());
            field.whereIndicator = static_cast<SQLLEN>(length);
            columnSize = std::max<size_t>(length, 1);
        } else if (field.kind == CFieldExchange::EKind::Date) {
            columnSize = 19;
        }
        Check(SQLBindParameter(statement, parameter, SQL_PARAM_INPUT, field.CType(),
                               field.ParameterType(), columnSize, 0,
                               CRecordsetField::Data(field.fetched, field.kind), size,
                               &field.whereIndicator),
              statement, "SQLBindParameter");
    }
}

namespace {

void BindValue(SQLHSTMT statement, SQLUSMALLINT parameter, CRecordsetField& field) {
    SQLULEN columnSize = 0;
    if (field.kind == CFieldExchange::EKind::Text) {
        columnSize = std::max<size_t>(field.written.text.size() - 1, 1);
    } else if (field.kind == CFieldExchange::EKind::Date) {
        columnSize = 19;
    }
    CheckSqlReturn(SQLBindParameter(statement, parameter, SQL_PARAM_INPUT, field.CType(),
                                    field.ParameterType(), columnSize, 0,
                                    CRecordsetField::Data(field.written, field.kind),
                                    field.Size(field.written), &field.written.indicator),
                   SQL_HANDLE_STMT, statement, "SQLBindParameter");
}

// A prepared statement taken from the connection and given back however the work ends.
class CBorrowedStatement {
public:
    CBorrowedStatement(CDatabase* database, std::string sql)
        : m_database(database), m_sql(std::move(sql)),
          m_statement(database->TakePreparedStatement(m_sql)) {}
    ~CBorrowedStatement() { m_database->ReturnPreparedStatement(m_sql, std::move(m_statement)); }
    CBorrowedStatement(const CBorrowedStatement&) = delete;
    CBorrowedStatement& operator=(const CBorrowedStatement&) = delete;
    SQLHSTMT Get() const { return m_statement.Get(); }
    // A statement that failed may be left in a state not worth re-using.
    void Discard() { m_statement.Reset(); }

private:
    CDatabase* m_database;
    std::string m_sql;
    CSqlHandle m_statement;
};

SQLLEN AffectedRows(SQLHSTMT statement) {
    SQLLEN rows = -1;
    if (!SQL_SUCCEEDED(SQLRowCount(statement, &rows))) {
        return -1;
    }
    return rows;
}

} // namespace

bool CRecordset::Update() {
    if (m_editMode == EEditMode::None) {
        ThrowDBException("Update: neither AddNew nor Edit was called.");
    }
    EEditMode mode = m_editMode;
    m_editMode = EEditMode::None;

    for (auto& field : m_fields) {
        field->Store();
    }

    std::string sql;
    std::vector<size_t> written;
    std::vector<size_t> keys;
    size_t returned = m_fields.size();
    EGenerated generated = EGenerated::Unknown;
    if (mode == EEditMode::Adding) {
        std::string values;
        sql = "INSERT INTO " + m_strTableName + " (";
        for (size_t i = 0; i < m_fields.size(); ++i) {
            if (m_fields[i]->writeNull) {
                continue;
            }
            if (!written.empty()) {
                sql += ',';
                values += ',';
            }
            sql += m_fields[i]->name;
            values += '?';
            written.push_back(i);
        }
        if (written.empty()) {
            sql = "INSERT INTO " + m_strTableName + " DEFAULT VALUES";
        } else {
            sql += ") VALUES (" + values + ")";
        }
        if (!m_strReturned.empty()) {
            for (size_t i = 0; i < m_fields.size(); ++i) {
                if (base::EqualsNoCase(m_fields[i]->name, m_strReturned)) {
                    returned = i;
                }
            }
            if (returned == m_fields.size()) {
                ThrowDBException("Update: " + m_strReturned + " is not a field of the recordset.");
            }
            generated = GeneratedMethod(m_pDatabase->GetDbmsName());
            if (generated == EGenerated::Returning) {
                sql += " RETURNING " + m_fields[returned]->name;
            }
        }
    } else {
        sql = "UPDATE " + m_strTableName + " SET ";
        for (size_t i = 0; i < m_fields.size(); ++i) {
            if (!m_fields[i]->dirty) {
                continue;
            }
            if (!written.empty()) {
                sql += ',';
            }
            sql += m_fields[i]->name + "=?";
            written.push_back(i);
        }
        if (written.empty()) {
            return true; // nothing to change
        }
        keys = KeyFields();
        SQLUSMALLINT counted = 0;
        BindWhere(SQL_NULL_HSTMT, sql, keys, counted, false);
    }

    CBorrowedStatement statement(m_pDatabase, sql);
    SQLHSTMT handle = statement.Get();
    SQLUSMALLINT parameter = 0;
    for (size_t index : written) {
        BindValue(handle, ++parameter, *m_fields[index]);
    }
    if (mode == EEditMode::Editing) {
        std::string ignored;
        BindWhere(handle, ignored, keys, parameter, true);
    }
    SQLRETURN rc = SQLExecute(handle);
    if (rc == SQL_NO_DATA && mode == EEditMode::Editing) {
        ThrowDBException("Update: the row was not found (no rows were affected).");
    }
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error = CDBException::FromHandle(SQL_HANDLE_STMT, handle, rc, "SQLExecute");
        statement.Discard();
        throw error;
    }
    if (mode == EEditMode::Editing) {
        if (AffectedRows(handle) == 0) {
            ThrowDBException("Update: the row was not found (no rows were affected).");
        }
        // The row now holds the written values: a later Edit or Delete finds it by them.
        // Fields left out keep what the row has.
        for (size_t index : written) {
            auto& field = m_fields[index];
            CRecordsetField::CBuffer& target = field->fetched;
            const CRecordsetField::CBuffer& source = field->written;
            target.number = source.number;
            target.whole = source.whole;
            target.flag = source.flag;
            target.stamp = source.stamp;
            if (field->kind == CFieldExchange::EKind::Text) {
                size_t length = std::min(source.text.size(), target.text.size() - 1);
                std::memcpy(target.text.data(), source.text.data(), length);
                target.text[length] = '\0';
            }
            target.indicator = source.indicator;
        }
    }
    if (returned < m_fields.size()) {
        CRecordsetField& field = *m_fields[returned];
        CRecordsetField::CBuffer buffer;
        buffer.text.assign(static_cast<size_t>(field.maxLength) + 1, '\0');
        auto fetchValue = [&](SQLHSTMT source) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(source, &columns);
            // Some drivers give the row as a later result of the statement.
            while (columns == 0 && SQLMoreResults(source) == SQL_SUCCESS) {
                SQLNumResultCols(source, &columns);
            }
            SQLRETURN fetched = columns > 0 ? SQLFetch(source) : SQL_NO_DATA;
            if (fetched == SQL_NO_DATA) {
                ThrowDBException("Update: the row was stored but the database returned no " +
                                 field.name + ".");
            }
            Check(fetched, source, "SQLFetch");
            Check(SQLGetData(source, 1, field.CType(), CRecordsetField::Data(buffer, field.kind),
                             field.Size(buffer), &buffer.indicator),
                  source, "SQLGetData");
        };
        if (generated == EGenerated::Returning) {
            fetchValue(handle);
        } else {
            CBorrowedStatement query(m_pDatabase, generated == EGenerated::LastInsertRowid
                                                      ? "SELECT last_insert_rowid()"
                                                      : "SELECT @@IDENTITY");
            Check(SQLExecute(query.Get()), query.Get(), "SQLExecute");
            fetchValue(query.Get());
        }
        field.Load(buffer);
    }
    return true;
}

void CRecordset::Delete() {
    if (!CanUpdate()) {
        ThrowDBException("Delete: the recordset is read-only.");
    }
    RequireCurrentRow("Delete");
    m_editMode = EEditMode::None;
    std::vector<size_t> keys = KeyFields();
    std::string sql = "DELETE FROM " + m_strTableName;
    SQLUSMALLINT counted = 0;
    BindWhere(SQL_NULL_HSTMT, sql, keys, counted, false);

    CBorrowedStatement statement(m_pDatabase, sql);
    SQLHSTMT handle = statement.Get();
    SQLUSMALLINT parameter = 0;
    std::string ignored;
    BindWhere(handle, ignored, keys, parameter, true);
    SQLRETURN rc = SQLExecute(handle);
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) {
        CDBException error = CDBException::FromHandle(SQL_HANDLE_STMT, handle, rc, "SQLExecute");
        statement.Discard();
        throw error;
    }
    if (rc == SQL_NO_DATA || AffectedRows(handle) == 0) {
        ThrowDBException("Delete: the row was not found (no rows were affected).");
    }
    m_bDeleted = true;
}
