#pragma once
// A connection to an ODBC data source over the unixODBC driver manager.
// Errors are raised as CDBException carrying the driver's text.

#include "DBException.h"
#include "OdbcHandle.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class CRecordset;

class CDatabase {
public:
    // Options of OpenEx.
    // The framework's option names.
    // NOLINTBEGIN(readability-identifier-naming)
    enum DbOpenOptions : unsigned {
        openExclusive = 0x0001, // accepted and ignored: the drivers decide sharing
        openReadOnly = 0x0002,
        useCursorLib = 0x0004, // accepted and ignored
        noOdbcDialog = 0x0008, // never let the driver manager prompt
        forceOdbcDialog = 0x0010,
    };
    // NOLINTEND(readability-identifier-naming)

    CDatabase();
    virtual ~CDatabase();
    CDatabase(const CDatabase&) = delete;
    CDatabase& operator=(const CDatabase&) = delete;

    // Connects with an ODBC connection string ("DSN=name;UID=...;PWD=..."). Returns false
    // when the connection was abandoned at a prompt; raises CDBException on errors.
    // An open connection is closed first.
    bool OpenEx(const std::string& connect, unsigned options = 0);
    // Closes every recordset still open on the connection, then the connection.
    virtual void Close();
    bool IsOpen() const { return static_cast<bool>(m_connection) && m_connected; }

    // The connection string the driver completed.
    const std::string& GetConnect() const { return m_strConnect; }
    // The product name the driver reported at connection (SQL_DBMS_NAME).
    const std::string& GetDbmsName() const { return m_strDbmsName; }
    // SQLGetInfo for a text item (for example SQL_DBMS_NAME); raises on failure.
    std::string GetInfoString(SQLUSMALLINT infoType, SQLSMALLINT bufferSize = 256);
    std::string GetDatabaseName();

    // Executes one statement directly; any result is discarded.
    void ExecuteSQL(const std::string& sql);

    // Manual transactions: BeginTrans turns automatic commit off until CommitTrans or Rollback.
    bool CanTransact();
    bool BeginTrans();
    bool CommitTrans();
    bool Rollback();
    bool IsInTransaction() const { return m_inTransaction; }

    // The raw handles, for callers that need an ODBC call of their own.
    SQLHENV GetEnvironmentHandle() const { return m_environment.Get(); }
    SQLHDBC GetConnectionHandle() const { return m_connection.Get(); }

    // A statement handle on this connection (caller owns it).
    CSqlHandle AllocStatement();

    // Prepared statements kept for re-use: Take hands out a handle prepared with `sql`
    // (preparing one when none is free); Return gives it back for the next user. Several
    // threads may take handles for the same text at once.
    CSqlHandle TakePreparedStatement(const std::string& sql);
    void ReturnPreparedStatement(const std::string& sql, CSqlHandle statement);
    // The texts of the statements kept for re-use, in text order (for diagnostics).
    std::vector<std::string> GetPreparedStatementTexts();

    // The primary key columns of `table` as the driver reports them, in key order; cached
    // for the life of the connection. Empty when the table has none or the driver cannot tell.
    std::vector<std::string> GetPrimaryKeyColumns(const std::string& table);

private:
    friend class CRecordset;
    void RegisterRecordset(CRecordset* recordset);
    void UnregisterRecordset(CRecordset* recordset);
    void CloseConnection();

    CSqlHandle m_environment;
    CSqlHandle m_connection;
    bool m_connected = false;
    bool m_inTransaction = false;
    std::string m_strConnect;
    std::string m_strDbmsName;

    std::mutex m_mutex; // guards the three members below
    std::set<CRecordset*> m_recordsets;
    std::multimap<std::string, CSqlHandle> m_prepared;
    std::map<std::string, std::vector<std::string>> m_primaryKeys;
};
