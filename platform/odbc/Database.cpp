#include "Database.h"

#include "OdbcText.h"
#include "Recordset.h"
#include "Text.h"

#include <algorithm>
#include <cctype>

namespace {

// Free prepared handles kept per statement text, and distinct texts kept in all.
constexpr size_t MAX_FREE_PER_TEXT = 4;
constexpr size_t MAX_PREPARED_TOTAL = 128;

// Back to each statement committing itself, once a transaction has ended either way.
void AutoCommitOn(SQLHDBC connection) {
    SQLSetConnectAttr(connection, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
}

} // namespace

CDatabase::CDatabase() = default;

CDatabase::~CDatabase() {
    CloseConnection();
}

bool CDatabase::OpenEx(const std::string& connect, unsigned options) {
    CloseConnection();

    if (!m_environment) {
        SQLHANDLE environment = SQL_NULL_HANDLE;
        SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            ThrowDBException("The ODBC driver manager could not allocate an environment.");
        }
        m_environment = CSqlHandle(SQL_HANDLE_ENV, environment);
        CheckSqlReturn(SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                       SQL_HANDLE_ENV, environment, "SQLSetEnvAttr");
    }

    SQLHANDLE connection = SQL_NULL_HANDLE;
    CheckSqlReturn(SQLAllocHandle(SQL_HANDLE_DBC, m_environment.Get(), &connection), SQL_HANDLE_ENV,
                   m_environment.Get(), "SQLAllocHandle");
    CSqlHandle owned(SQL_HANDLE_DBC, connection);

    if (options & openReadOnly) {
        SQLSetConnectAttr(connection, SQL_ATTR_ACCESS_MODE,
                          reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);
    }

    SQLUSMALLINT completion = SQL_DRIVER_COMPLETE;
    if (options & noOdbcDialog) {
        completion = SQL_DRIVER_NOPROMPT;
    } else if (options & forceOdbcDialog) {
        completion = SQL_DRIVER_PROMPT;
    }
    std::string in = connect;
    std::vector<SQLCHAR> out(4096);
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnect(connection, nullptr, reinterpret_cast<SQLCHAR*>(in.data()),
                                    static_cast<SQLSMALLINT>(in.size()), out.data(),
                                    static_cast<SQLSMALLINT>(out.size()), &outLength, completion);
    if (rc == SQL_NO_DATA) {
        return false; // abandoned at the prompt
    }
    CheckSqlReturn(rc, SQL_HANDLE_DBC, connection, "SQLDriverConnect");

    m_connection = std::move(owned);
    m_connected = true;
    m_inTransaction = false;
    size_t length =
        std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(outLength, 0)), out.size() - 1);
    m_strConnect.assign(reinterpret_cast<const char*>(out.data()), length);
    try {
        m_strDbmsName = GetInfoString(SQL_DBMS_NAME);
    } catch (const CDBException&) {
        m_strDbmsName.clear(); // a driver without the name still connects
    }
    return true;
}

void CDatabase::Close() {
    CloseConnection();
}

void CDatabase::CloseConnection() {
    std::vector<CRecordset*> open;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        open.assign(m_recordsets.begin(), m_recordsets.end());
    }
    // Statements must go before the connection they belong to.
    for (CRecordset* recordset : open) {
        recordset->Close();
    }
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_prepared.clear();
        m_primaryKeys.clear();
        m_recordsets.clear();
    }
    if (m_connection) {
        if (m_connected) {
            if (m_inTransaction) {
                SQLEndTran(SQL_HANDLE_DBC, m_connection.Get(), SQL_ROLLBACK);
            }
            SQLDisconnect(m_connection.Get());
        }
        m_connection.Reset();
    }
    m_connected = false;
    m_inTransaction = false;
    m_strConnect.clear();
    m_strDbmsName.clear();
}

std::string CDatabase::GetInfoString(SQLUSMALLINT infoType, SQLSMALLINT bufferSize) {
    if (!IsOpen()) {
        ThrowDBException("The database is not open.");
    }
    std::vector<char> buffer(static_cast<size_t>(std::max<SQLSMALLINT>(bufferSize, 2)));
    SQLSMALLINT length = 0;
    CheckSqlReturn(SQLGetInfo(m_connection.Get(), infoType, buffer.data(),
                              static_cast<SQLSMALLINT>(buffer.size()), &length),
                   SQL_HANDLE_DBC, m_connection.Get(), "SQLGetInfo");
    buffer.back() = '\0';
    return std::string(buffer.data());
}

std::string CDatabase::GetDatabaseName() {
    return GetInfoString(SQL_DATABASE_NAME);
}

CSqlHandle CDatabase::AllocStatement() {
    if (!IsOpen()) {
        ThrowDBException("The database is not open.");
    }
    SQLHANDLE statement = SQL_NULL_HANDLE;
    CheckSqlReturn(SQLAllocHandle(SQL_HANDLE_STMT, m_connection.Get(), &statement), SQL_HANDLE_DBC,
                   m_connection.Get(), "SQLAllocHandle");
    return CSqlHandle(SQL_HANDLE_STMT, statement);
}

void CDatabase::ExecuteSQL(const std::string& sql) {
    CSqlHandle statement = AllocStatement();
    {
        // Tables may change shape: forget what was learnt about their keys.
        std::string head = base::LowerAscii(sql.substr(0, 16));
        head.erase(0, head.find_first_not_of(" \t\r\n("));
        if (head.rfind("create", 0) == 0 || head.rfind("drop", 0) == 0 ||
            head.rfind("alter", 0) == 0) {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_primaryKeys.clear();
        }
    }
    std::string text = sql;
    SQLRETURN rc = SQLExecDirect(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                 static_cast<SQLINTEGER>(text.size()));
    // A searched update or delete that touches no row is not an error here.
    if (rc == SQL_NO_DATA) {
        return;
    }
    CheckSqlReturn(rc, SQL_HANDLE_STMT, statement.Get(), "SQLExecDirect");
    // Drain every result so that the driver finishes the statement.
    for (;;) {
        SQLSMALLINT columns = 0;
        if (SQLNumResultCols(statement.Get(), &columns) == SQL_SUCCESS && columns > 0) {
            while (SQL_SUCCEEDED(SQLFetch(statement.Get()))) {
            }
        }
        rc = SQLMoreResults(statement.Get());
        if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE) {
            break;
        }
        CheckSqlReturn(rc, SQL_HANDLE_STMT, statement.Get(), "SQLMoreResults");
    }
}

bool CDatabase::CanTransact() {
    if (!IsOpen()) {
        return false;
    }
    SQLUSMALLINT capable = SQL_TC_NONE;
    if (!SQL_SUCCEEDED(
            SQLGetInfo(m_connection.Get(), SQL_TXN_CAPABLE, &capable, sizeof capable, nullptr))) {
        return false;
    }
    return capable != SQL_TC_NONE;
}

bool CDatabase::BeginTrans() {
    if (!IsOpen() || m_inTransaction) {
        return false;
    }
    CheckSqlReturn(SQLSetConnectAttr(m_connection.Get(), SQL_ATTR_AUTOCOMMIT,
                                     reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
                   SQL_HANDLE_DBC, m_connection.Get(), "SQLSetConnectAttr");
    m_inTransaction = true;
    return true;
}

bool CDatabase::CommitTrans() {
    if (!IsOpen() || !m_inTransaction) {
        return false;
    }
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_connection.Get(), SQL_COMMIT);
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error =
            CDBException::FromHandle(SQL_HANDLE_DBC, m_connection.Get(), rc, "SQLEndTran");
        // Nothing of the transaction may linger half-done.
        SQLEndTran(SQL_HANDLE_DBC, m_connection.Get(), SQL_ROLLBACK);
        AutoCommitOn(m_connection.Get());
        m_inTransaction = false;
        throw error;
    }
    AutoCommitOn(m_connection.Get());
    m_inTransaction = false;
    return true;
}

bool CDatabase::Rollback() {
    if (!IsOpen() || !m_inTransaction) {
        return false;
    }
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_connection.Get(), SQL_ROLLBACK);
    AutoCommitOn(m_connection.Get());
    m_inTransaction = false;
    CheckSqlReturn(rc, SQL_HANDLE_DBC, m_connection.Get(), "SQLEndTran");
    return true;
}

CSqlHandle CDatabase::TakePreparedStatement(const std::string& sql) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto found = m_prepared.find(sql);
        if (found != m_prepared.end()) {
            CSqlHandle statement = std::move(found->second);
            m_prepared.erase(found);
            return statement;
        }
    }
    CSqlHandle statement = AllocStatement();
    std::string text = sql;
    CheckSqlReturn(SQLPrepare(statement.Get(), reinterpret_cast<SQLCHAR*>(text.data()),
                              static_cast<SQLINTEGER>(text.size())),
                   SQL_HANDLE_STMT, statement.Get(), "SQLPrepare");
    return statement;
}

void CDatabase::ReturnPreparedStatement(const std::string& sql, CSqlHandle statement) {
    if (!statement || !IsOpen()) {
        return;
    }
    SQLFreeStmt(statement.Get(), SQL_CLOSE);
    SQLFreeStmt(statement.Get(), SQL_RESET_PARAMS);
    SQLFreeStmt(statement.Get(), SQL_UNBIND);
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_prepared.count(sql) >= MAX_FREE_PER_TEXT || m_prepared.size() >= MAX_PREPARED_TOTAL) {
        return; // freed here by the handle's destructor
    }
    m_prepared.emplace(sql, std::move(statement));
}

std::vector<std::string> CDatabase::GetPreparedStatementTexts() {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<std::string> texts;
    for (auto it = m_prepared.begin(); it != m_prepared.end(); it = m_prepared.upper_bound(it->first)) {
        texts.push_back(it->first);
    }
    return texts;
}

std::vector<std::string> CDatabase::GetPrimaryKeyColumns(const std::string& table) {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto found = m_primaryKeys.find(table);
        if (found != m_primaryKeys.end()) {
            return found->second;
        }
    }
    std::vector<std::string> columns;
    // Unquoted names are stored folded by some products, so try the name as written, then
    // folded to lower and to upper case.
    std::vector<std::string> spellings = {table, base::LowerAscii(table)};
    std::string upper = table;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    spellings.push_back(upper);
    for (const std::string& name : spellings) {
        CSqlHandle statement = AllocStatement();
        std::string text = name;
        SQLRETURN rc = SQLPrimaryKeys(statement.Get(), nullptr, 0, nullptr, 0,
                                      reinterpret_cast<SQLCHAR*>(text.data()),
                                      static_cast<SQLSMALLINT>(text.size()));
        if (!SQL_SUCCEEDED(rc)) {
            continue;
        }
        std::vector<std::pair<int, std::string>> keyed;
        while (SQL_SUCCEEDED(SQLFetch(statement.Get()))) {
            char column[256] = {};
            SQLLEN columnLength = 0;
            SQLSMALLINT sequence = 0;
            SQLLEN sequenceLength = 0;
            SQLGetData(statement.Get(), 4, SQL_C_CHAR, column, sizeof column, &columnLength);
            SQLGetData(statement.Get(), 5, SQL_C_SSHORT, &sequence, 0, &sequenceLength);
            if (columnLength != SQL_NULL_DATA) {
                keyed.emplace_back(sequenceLength == SQL_NULL_DATA ? 0 : sequence, column);
            }
        }
        if (!keyed.empty()) {
            std::stable_sort(keyed.begin(), keyed.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
            for (auto& entry : keyed) {
                columns.push_back(std::move(entry.second));
            }
            break;
        }
    }
    if (!columns.empty()) { // a table created later must be asked again
        std::lock_guard<std::mutex> guard(m_mutex);
        m_primaryKeys[table] = columns;
    }
    return columns;
}

void CDatabase::RegisterRecordset(CRecordset* recordset) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_recordsets.insert(recordset);
}

void CDatabase::UnregisterRecordset(CRecordset* recordset) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_recordsets.erase(recordset);
}
