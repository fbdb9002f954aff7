#pragma once
// The base of the catalogue's record classes: a plain holder of field values that can, on
// demand, own one open recordset over its manager's connection. Every recordset call runs
// under DatabaseLock, and a database error is logged through the manager and becomes a
// false result: nothing is thrown out of a record.

#include "DatabaseManager.h"
#include "Recordset.h"

#include <cstdint>
#include <memory>
#include <string>

class CPartialDatabaseRecord {
public:
    explicit CPartialDatabaseRecord(CDatabaseManager* manager);
    // A copy uses the same manager and starts without a recordset.
    CPartialDatabaseRecord(const CPartialDatabaseRecord& other);
    // Leaves the target as it is: the record classes copy their own fields.
    CPartialDatabaseRecord& operator=(const CPartialDatabaseRecord& other);
    virtual ~CPartialDatabaseRecord();

    // The table or statement used when Open is given none.
    virtual std::string GetDefaultSQL() = 0;
    // The number of bound columns.
    virtual int GetFields() = 0;
    // Binds the fields to the columns, in column order.
    virtual void DoFieldExchange(CFieldExchange* pFX) = 0;

    // Replaces the recordset with one opened (as a dynaset) on `statement`, or on the
    // default SQL when it is null, with the first row fetched into the fields. The result is
    // true when it opened and, with requireRow, holds a row. Without keepOpen the recordset
    // is closed again before returning (the fields keep the first row).
    bool Open(const char* statement, bool keepOpen, bool requireRow);
    bool Open(const std::string& statement, bool keepOpen, bool requireRow) {
        return Open(statement.c_str(), keepOpen, requireRow);
    }
    void Close();
    bool IsRecordset() const { return m_pRecordset != nullptr; }
    // The ends of the open recordset (both true when there is none).
    bool IsEOF();
    bool IsBOF();
    bool MoveNext();
    bool MovePrev();
    bool MoveFirst();
    bool MoveLast();
    // Row `row`, counted from 1.
    bool SetAbsolutePosition(int32_t row);

    // Changes through the open recordset, each under DatabaseLock: BeginAddNew or BeginEdit
    // (of the current row), assign the fields, then StoreRow; DeleteCurrentRow deletes the
    // current row. False (and logged) on database errors. BeginEditKeepingKey starts an edit
    // that leaves the table's key columns out of the change: SQL Server and Access refuse to
    // have an auto-numbered key written, even with the value it has.
    bool BeginAddNew();
    bool BeginEdit();
    bool BeginEditKeepingKey();
    bool StoreRow();
    void CancelRow();
    bool DeleteCurrentRow();

    CDatabaseManager* GetManager() const { return m_pManager; }

protected:
    // An append-only recordset on the default SQL: adds rows without reading the table.
    bool OpenForAppend();
    // The next stored new row leaves `field` to the database (its default or numbering).
    void SetFieldNull(const void* field);
    // The next stored new row brings back the value the database generated for `column`.
    void SetReturnedColumn(const std::string& column);
    // Logs a database error through the manager.
    void LogError(const std::string& message);

    CDatabaseManager* m_pManager;

private:
    class CRecordRecordset;
    template <class TWork> bool RunLocked(TWork work);

    std::unique_ptr<CRecordRecordset> m_pRecordset;
};
