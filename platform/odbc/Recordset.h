#pragma once
// A set of rows selected from a CDatabase, with its columns bound to the members of the
// recordset (or of an owner object) through field exchange: DoFieldExchange names each
// field with an RFX_ call, in column order.
//
// Cursors: dynaset and snapshot are scrollable (MoveNext, MovePrev, MoveFirst, MoveLast,
// SetAbsolutePosition); forwardOnly only moves forward and is read-only. Rows are added,
// changed and deleted with statements on the recordset's table (AddNew/Edit then Update,
// Delete), the row being found by its primary key, or by all its short columns when the
// table has none. A recordset over a join or an expression list is read-only.

#include "DBException.h"
#include "Database.h"
#include "DateTime.h"

#include <memory>
#include <string>
#include <vector>

class CFieldExchange;
struct CRecordsetField;

class CRecordset {
public:
    // The framework's cursor types and options.
    // NOLINTBEGIN(readability-identifier-naming)
    enum OpenType : unsigned {
        dynaset = 0,
        snapshot = 1,
        forwardOnly = 2,
        dynamic = 3, // opened as a dynaset
        useDefaultType = 0xFFFFFFFFu,
    };
    enum OpenOptions : unsigned {
        none = 0,
        readOnly = 0x0004,
        // Only for adding rows: no query is run, Edit and Delete are refused.
        appendOnly = 0x0008,
    };
    // NOLINTEND(readability-identifier-naming)

    explicit CRecordset(CDatabase* pDatabase);
    virtual ~CRecordset();
    CRecordset(const CRecordset&) = delete;
    CRecordset& operator=(const CRecordset&) = delete;

    // Runs `sql` (a SELECT statement, a table name, or null for GetDefaultSQL()) and fetches
    // the first row into the bound fields. A table name is read as
    // "SELECT <bound columns> FROM <table>". Raises CDBException on errors.
    virtual bool Open(unsigned openType = useDefaultType, const char* sql = nullptr,
                      unsigned options = none);
    virtual void Close();
    bool IsOpen() const { return m_bOpen; }

    // Beginning and end of data: both are true for an empty result.
    bool IsBOF() const { return !m_bOpen || m_bBOF; }
    bool IsEOF() const { return !m_bOpen || m_bEOF; }
    // The current row was deleted through this recordset.
    bool IsDeleted() const { return m_bDeleted; }

    bool CanUpdate() const;
    bool CanAppend() const;
    bool CanScroll() const;

    // Moving past the end or before the start raises CDBException.
    void MoveNext();
    void MovePrev();
    void MoveFirst();
    void MoveLast();
    // Row `row` counted from 1; past the end sets IsEOF, before the start IsBOF.
    void SetAbsolutePosition(long row);
    // Runs the query again and fetches its first row.
    void Requery();

    // AddNew starts a new row and Edit a change of the current row; Update then stores
    // every bound field (except, for a new row, those set null: the database gives them
    // their default; for an edit, those set not dirty). After AddNew the fields keep the
    // values stored.
    void AddNew();
    void Edit();
    bool Update();
    void CancelUpdate();
    void Delete();

    // `member` is the bound variable (null: every field).
    void SetFieldNull(const void* member, bool isNull = true);
    // After Edit: a field set not dirty is left out of the UPDATE (null member: every field).
    void SetFieldDirty(const void* member, bool dirty = true);
    // After Edit: the same for the columns of the table's primary key, which some products
    // refuse to have written when they number it themselves (IDENTITY, AUTOINCREMENT). The
    // key still finds the row.
    void SetKeyFieldsDirty(bool dirty);
    // Whether the column was NULL in the current row.
    bool IsFieldNull(const void* member) const;

    // With AddNew: Update stores in the field bound to `column` the value the database
    // generated for it (PostgreSQL: INSERT ... RETURNING; SQLite: last_insert_rowid(); SQL
    // Server and Access: @@IDENTITY, all on this connection). With another product AddNew
    // refuses to start rather than store a row whose number cannot be told.
    void SetReturnedColumn(const std::string& column) { m_strReturned = column; }

    const std::string& GetSQL() const { return m_strSQL; }
    const std::string& GetTableName() const { return m_strTableName; }

    virtual std::string GetDefaultSQL() { return {}; }
    virtual void DoFieldExchange(CFieldExchange* pFX);
    // The open type used when Open is given useDefaultType.
    virtual unsigned GetDefaultOpenType() { return snapshot; }

    // Number of fields DoFieldExchange binds; checked at Open when not 0.
    unsigned m_nFields = 0;
    CDatabase* m_pDatabase;

    // The table a statement may change: the single table after FROM (or the statement
    // itself when it is a table name); empty for joins and unparsable statements.
    static std::string ParseTableName(const std::string& sql);

private:
    friend class CFieldExchange;
    enum class EEditMode { None, Adding, Editing };

    void CollectFields();
    void Execute();
    bool Fetch(SQLSMALLINT orientation, SQLLEN offset);
    void LoadMembers();
    void RequireCurrentRow(const char* operation) const;
    void RequireScrollable(const char* operation) const;
    // The fields of the table's primary key; empty when it has none or one is not bound.
    std::vector<size_t> PrimaryKeyFields();
    // The fields that find the current row: the primary key, else every short field.
    std::vector<size_t> KeyFields();
    void BindWhere(SQLHSTMT statement, std::string& sql, const std::vector<size_t>& keys,
                   SQLUSMALLINT& parameter, bool bindNow);
    size_t FieldIndex(const void* member) const;

    std::vector<std::unique_ptr<CRecordsetField>> m_fields;
    CSqlHandle m_statement;
    std::string m_strSQL;
    std::string m_strTableName;
    std::string m_strReturned;
    unsigned m_openType = snapshot;
    unsigned m_options = none;
    bool m_bOpen = false;
    bool m_bRegistered = false;
    bool m_bBOF = true;
    bool m_bEOF = true;
    bool m_bDeleted = false;
    EEditMode m_editMode = EEditMode::None;
};

// Passed to DoFieldExchange; the RFX_ functions record each field with it.
class CFieldExchange {
public:
    enum class EKind { Double, Long, Bool, Date, Text };
    void AddField(const char* name, EKind kind, void* member, int maxLength, SQLSMALLINT sqlType);

    CRecordset* m_prs;

private:
    friend class CRecordset;
    explicit CFieldExchange(CRecordset* recordset) : m_prs(recordset) {}
};

// Field exchange: one call per column, in column order. A NULL column reads as 0, false,
// an empty text or a null CDateTime.
void RFX_Double(CFieldExchange* pFX, const char* name, double& value);
void RFX_Long(CFieldExchange* pFX, const char* name, long& value);
void RFX_Bool(CFieldExchange* pFX, const char* name, bool& value);
void RFX_Date(CFieldExchange* pFX, const char* name, CDateTime& value);
// Texts up to `maxLength` bytes (longer ones are cut without splitting a UTF-8 sequence);
// long texts are bound with columnType SQL_LONGVARCHAR and a maximum up to 65535.
void RFX_Text(CFieldExchange* pFX, const char* name, std::string& value, int maxLength = 255,
              int columnType = SQL_VARCHAR);
