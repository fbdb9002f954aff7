// CRecordset and field exchange against the real drivers: values and NULLs of every bound
// type, navigation of each cursor type, and rows added, changed and deleted through it.

#include "EngineTest.h"
#include "Recordset.h"

namespace {

class CSampleSet : public CRecordset {
public:
    explicit CSampleSet(CDatabase* database) : CRecordset(database) { m_nFields = 7; }
    std::string GetDefaultSQL() override { return "sample"; }
    void DoFieldExchange(CFieldExchange* pFX) override {
        RFX_Double(pFX, "ID", m_id);
        RFX_Long(pFX, "COUNTER", m_counter);
        RFX_Bool(pFX, "FLAG", m_flag);
        RFX_Date(pFX, "WHEN_AT", m_when);
        RFX_Text(pFX, "NAME", m_name, 20);
        RFX_Text(pFX, "MEMO", m_memo, 65535, SQL_LONGVARCHAR);
        RFX_Double(pFX, "AMOUNT", m_amount);
    }
    double m_id = 0;
    long m_counter = 0;
    bool m_flag = false;
    CDateTime m_when;
    std::string m_name;
    std::string m_memo;
    double m_amount = 0;
};

class CCountSet : public CRecordset {
public:
    explicit CCountSet(CDatabase* database) : CRecordset(database) { m_nFields = 1; }
    void DoFieldExchange(CFieldExchange* pFX) override { RFX_Long(pFX, "n", m_count); }
    long m_count = -1;
};

class RecordsetTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        m_db.ExecuteSQL("CREATE TABLE sample (ID " + AutoKey() + ", COUNTER BIGINT, FLAG " +
                        BoolType() +
                        ", WHEN_AT TIMESTAMP, NAME VARCHAR(40), MEMO TEXT, AMOUNT FLOAT)");
    }

    // Adds rows with COUNTER 1..n and NAME "row<i>".
    void AddRows(int n) {
        for (int i = 1; i <= n; ++i) {
            m_db.ExecuteSQL("INSERT INTO sample (COUNTER, NAME) VALUES (" + std::to_string(i) +
                            ", 'row" + std::to_string(i) + "')");
        }
    }

    long Count(const std::string& where = {}) {
        CCountSet count(&m_db);
        count.Open(
            CRecordset::snapshot,
            ("select count(*) from sample" + (where.empty() ? "" : " where " + where)).c_str());
        return count.m_count;
    }

    std::string NameOf(long counter) {
        CSampleSet row(&m_db);
        row.Open(CRecordset::snapshot,
                 ("select * from sample where COUNTER = " + std::to_string(counter)).c_str());
        return row.IsEOF() ? "<none>" : row.m_name;
    }
};

TEST_P(RecordsetTest, FieldsRoundTripAndNullsReadAsZeroOrEmpty) {
    const std::string memo = [] {
        std::string text;
        while (text.size() + 2 <= 65535) {
            text += "\xC3\xA9"; // é
        }
        text += "x";
        return text;
    }();
    ASSERT_EQ(memo.size(), 65535u);

    CSampleSet set(&m_db);
    set.Open(CRecordset::dynaset, nullptr, CRecordset::appendOnly);
    set.AddNew();
    set.m_counter = 5000000000L; // does not fit 32 bits
    set.m_flag = true;
    set.m_when = CDateTime(2001, 2, 28, 23, 59, 58);
    set.m_name = "Grüße 'quoted'";
    set.m_memo = memo;
    set.m_amount = 1234.5;
    set.SetFieldNull(&set.m_id); // numbered by the database
    ASSERT_TRUE(set.Update());
    m_db.ExecuteSQL("INSERT INTO sample (COUNTER) VALUES (NULL)");

    CSampleSet read(&m_db);
    read.Open(CRecordset::snapshot, "select * from sample order by ID");
    ASSERT_FALSE(read.IsEOF());
    EXPECT_GE(read.m_id, 1.0);
    EXPECT_EQ(read.m_counter, 5000000000L);
    EXPECT_TRUE(read.m_flag);
    EXPECT_EQ(read.m_when, CDateTime(2001, 2, 28, 23, 59, 58));
    EXPECT_EQ(read.m_name, "Grüße 'quoted'");
    EXPECT_EQ(read.m_memo, memo);
    EXPECT_DOUBLE_EQ(read.m_amount, 1234.5);
    EXPECT_FALSE(read.IsFieldNull(&read.m_name));

    read.MoveNext();
    ASSERT_FALSE(read.IsEOF());
    EXPECT_GT(read.m_id, 1.0);
    EXPECT_EQ(read.m_counter, 0);
    EXPECT_FALSE(read.m_flag);
    EXPECT_TRUE(read.m_when.IsNull());
    EXPECT_EQ(read.m_name, "");
    EXPECT_EQ(read.m_memo, "");
    EXPECT_EQ(read.m_amount, 0.0);
    EXPECT_TRUE(read.IsFieldNull(&read.m_name));
    EXPECT_TRUE(read.IsFieldNull(&read.m_when));
    EXPECT_FALSE(read.IsFieldNull(&read.m_id));
}

TEST_P(RecordsetTest, LongTextsAreCutToTheMaximumWithoutSplittingACharacter) {
    // 1 + 2 * 24 = 49 bytes; the field holds 20, and byte 20 is the middle of a "ü".
    std::string name = "a";
    for (int i = 0; i < 24; ++i) {
        name += "\xC3\xBC";
    }
    m_db.ExecuteSQL("INSERT INTO sample (COUNTER, NAME) VALUES (1, '" + name + "')");
    CSampleSet read(&m_db);
    read.Open(CRecordset::snapshot, "select * from sample");
    ASSERT_FALSE(read.IsEOF());
    EXPECT_EQ(read.m_name, name.substr(0, 19));

    // Written values are cut the same way.
    CSampleSet write(&m_db);
    write.Open(CRecordset::dynaset, nullptr, CRecordset::appendOnly);
    write.AddNew();
    write.SetFieldNull(&write.m_id);
    write.m_counter = 2;
    write.m_name = name;
    ASSERT_TRUE(write.Update());
    EXPECT_EQ(NameOf(2), name.substr(0, 19));
}

TEST_P(RecordsetTest, ScrollableCursorsMoveEveryWayAndReportTheEnds) {
    AddRows(5);
    for (unsigned type : {unsigned(CRecordset::dynaset), unsigned(CRecordset::snapshot)}) {
        SCOPED_TRACE(type);
        CSampleSet set(&m_db);
        set.Open(type, "select * from sample order by COUNTER");
        EXPECT_FALSE(set.IsBOF());
        EXPECT_FALSE(set.IsEOF());
        EXPECT_EQ(set.m_counter, 1);
        for (int i = 2; i <= 5; ++i) {
            set.MoveNext();
            EXPECT_EQ(set.m_counter, i);
        }
        set.MoveNext();
        EXPECT_TRUE(set.IsEOF());
        EXPECT_FALSE(set.IsBOF());
        EXPECT_EQ(set.m_counter, 5); // the fields keep the last row
        EXPECT_THROW(set.MoveNext(), CDBException);
        set.MovePrev();
        EXPECT_FALSE(set.IsEOF());
        EXPECT_EQ(set.m_counter, 5);
        EXPECT_EQ(set.m_name, "row5");
        set.MoveFirst();
        EXPECT_EQ(set.m_counter, 1);
        set.MovePrev();
        EXPECT_TRUE(set.IsBOF());
        EXPECT_FALSE(set.IsEOF());
        EXPECT_THROW(set.MovePrev(), CDBException);
        set.MoveNext();
        EXPECT_EQ(set.m_counter, 1);
        set.MoveLast();
        EXPECT_EQ(set.m_counter, 5);
        set.SetAbsolutePosition(3);
        EXPECT_EQ(set.m_counter, 3);
        EXPECT_EQ(set.m_name, "row3");
        set.SetAbsolutePosition(9);
        EXPECT_TRUE(set.IsEOF());
        set.SetAbsolutePosition(1);
        EXPECT_EQ(set.m_counter, 1);
        set.Requery();
        EXPECT_EQ(set.m_counter, 1);
        set.Close();
        EXPECT_TRUE(set.IsEOF() && set.IsBOF());
        EXPECT_THROW(set.MoveFirst(), CDBException);
    }

    CSampleSet empty(&m_db);
    empty.Open(CRecordset::dynaset, "select * from sample where COUNTER > 100");
    EXPECT_TRUE(empty.IsBOF());
    EXPECT_TRUE(empty.IsEOF());
    empty.MoveFirst();
    empty.MoveLast();
    EXPECT_TRUE(empty.IsBOF() && empty.IsEOF());
    EXPECT_THROW(empty.MoveNext(), CDBException);
    EXPECT_THROW(empty.MovePrev(), CDBException);
}

TEST_P(RecordsetTest, ForwardOnlyCursorsReadForwardAndNothingElse) {
    AddRows(3);
    CSampleSet set(&m_db);
    set.Open(CRecordset::forwardOnly, "select * from sample order by COUNTER");
    long sum = 0;
    int rows = 0;
    while (!set.IsEOF()) {
        sum += set.m_counter;
        ++rows;
        set.MoveNext();
    }
    EXPECT_EQ(rows, 3);
    EXPECT_EQ(sum, 6);
    EXPECT_FALSE(set.CanUpdate());
    EXPECT_FALSE(set.CanScroll());
    EXPECT_THROW(set.MovePrev(), CDBException);
    EXPECT_THROW(set.MoveFirst(), CDBException);
    EXPECT_THROW(set.SetAbsolutePosition(1), CDBException);
    EXPECT_THROW(set.AddNew(), CDBException);
}

TEST_P(RecordsetTest, EditAndDeleteChangeOnlyTheCurrentRow) {
    AddRows(3);
    CSampleSet set(&m_db);
    set.Open(CRecordset::dynaset, "select * from sample order by COUNTER");
    ASSERT_TRUE(set.CanUpdate());
    EXPECT_EQ(set.GetTableName(), "sample");
    set.MoveNext();
    ASSERT_EQ(set.m_counter, 2);
    set.Edit();
    set.m_name = "second";
    set.m_flag = true;
    ASSERT_TRUE(set.Update());
    EXPECT_EQ(NameOf(1), "row1");
    EXPECT_EQ(NameOf(2), "second");
    EXPECT_EQ(NameOf(3), "row3");
    EXPECT_EQ(Count("FLAG IS NULL"), 2);

    // The key itself may change; the next edit finds the row by its new values.
    set.Edit();
    set.m_id = 100;
    ASSERT_TRUE(set.Update());
    set.Edit();
    set.m_name = "moved";
    ASSERT_TRUE(set.Update());
    EXPECT_EQ(Count("ID = 100 and NAME = 'moved'"), 1);

    // A field set not dirty is left as the row has it; the key, likewise, on request.
    set.Edit();
    set.m_name = "not written";
    set.m_id = 7;
    set.m_flag = false;
    set.SetFieldDirty(&set.m_name, false);
    set.SetKeyFieldsDirty(false);
    ASSERT_TRUE(set.Update());
    EXPECT_EQ(Count("ID = 100 and NAME = 'moved'"), 1);
    set.Edit();
    set.SetFieldDirty(nullptr, false);
    EXPECT_TRUE(set.Update()); // nothing to write

    set.Delete();
    EXPECT_TRUE(set.IsDeleted());
    EXPECT_THROW(set.Edit(), CDBException);
    EXPECT_THROW(set.Delete(), CDBException);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(NameOf(2), "<none>");
    set.MoveNext();
    EXPECT_FALSE(set.IsDeleted());
    EXPECT_EQ(set.m_counter, 3);

    // A row deleted behind the recordset's back cannot be changed through it.
    m_db.ExecuteSQL("DELETE FROM sample WHERE COUNTER = 3");
    set.Edit();
    set.m_name = "ghost";
    EXPECT_THROW(set.Update(), CDBException);
    EXPECT_THROW(set.Delete(), CDBException);
    EXPECT_THROW(set.Update(), CDBException); // no AddNew or Edit pending
}

TEST_P(RecordsetTest, RowsOfATableWithoutAKeyAreFoundByAllTheirValues) {
    m_db.ExecuteSQL("CREATE TABLE loose (A INTEGER, B VARCHAR(10))");
    m_db.ExecuteSQL("INSERT INTO loose (A, B) VALUES (1, 'x')");
    m_db.ExecuteSQL("INSERT INTO loose (A, B) VALUES (1, 'y')");
    m_db.ExecuteSQL("INSERT INTO loose (A, B) VALUES (1, NULL)");
    class CLooseSet : public CRecordset {
    public:
        using CRecordset::CRecordset;
        std::string GetDefaultSQL() override { return "loose"; }
        void DoFieldExchange(CFieldExchange* pFX) override {
            RFX_Long(pFX, "A", m_a);
            RFX_Text(pFX, "B", m_b, 10);
        }
        long m_a = 0;
        std::string m_b;
    } set(&m_db);
    set.Open(CRecordset::dynaset, "select A, B from loose order by B");
    // NULL sorts first on SQLite and last on PostgreSQL: walk to the row named "y".
    while (!set.IsEOF() && set.m_b != "y") {
        set.MoveNext();
    }
    ASSERT_FALSE(set.IsEOF());
    set.Edit();
    set.m_b = "z";
    ASSERT_TRUE(set.Update());
    set.MoveFirst();
    while (!set.IsEOF() && !set.IsFieldNull(&set.m_b)) {
        set.MoveNext();
    }
    ASSERT_FALSE(set.IsEOF());
    set.Delete(); // the row whose B is NULL, not the others
    CCountSet count(&m_db);
    count.Open(CRecordset::snapshot, "select count(*) from loose where B in ('x', 'z')");
    EXPECT_EQ(count.m_count, 2);
    count.Open(CRecordset::snapshot, "select count(*) from loose");
    EXPECT_EQ(count.m_count, 2);
}

TEST_P(RecordsetTest, JoinsExpressionsAndReadOnlySetsRefuseChanges) {
    AddRows(2);
    m_db.ExecuteSQL("CREATE TABLE other (COUNTER BIGINT)");
    m_db.ExecuteSQL("INSERT INTO other (COUNTER) VALUES (1)");
    CSampleSet join(&m_db);
    join.Open(CRecordset::dynaset, "select * from sample s, other o where s.COUNTER = o.COUNTER");
    ASSERT_FALSE(join.IsEOF());
    EXPECT_EQ(join.m_name, "row1"); // the first columns bind, the rest are left
    EXPECT_FALSE(join.CanUpdate());
    EXPECT_FALSE(join.CanAppend());
    EXPECT_THROW(join.Edit(), CDBException);
    EXPECT_THROW(join.AddNew(), CDBException);
    EXPECT_THROW(join.Delete(), CDBException);

    CCountSet count(&m_db);
    count.Open(CRecordset::dynaset, "select count(*) from sample");
    EXPECT_FALSE(count.CanUpdate());

    CSampleSet readOnly(&m_db);
    readOnly.Open(CRecordset::dynaset, nullptr, CRecordset::readOnly);
    EXPECT_FALSE(readOnly.IsEOF());
    EXPECT_THROW(readOnly.Edit(), CDBException);
    EXPECT_EQ(Count(), 2);
}

TEST_P(RecordsetTest, AppendOnlySetsRunNoQueryAndInsertRows) {
    AddRows(2);
    CSampleSet set(&m_db);
    set.Open(CRecordset::dynaset, nullptr, CRecordset::appendOnly);
    EXPECT_TRUE(set.IsEOF() && set.IsBOF());
    EXPECT_TRUE(set.CanAppend());
    EXPECT_FALSE(set.CanUpdate());
    EXPECT_THROW(set.Edit(), CDBException);
    set.SetReturnedColumn("ID");
    double last = 0;
    for (int i = 0; i < 3; ++i) {
        set.AddNew();
        set.SetFieldNull(&set.m_id);
        set.m_counter = 10 + i;
        set.m_name = "added";
        ASSERT_TRUE(set.Update());
        EXPECT_GT(set.m_id, last); // the number the database gave this row
        EXPECT_EQ(Count("ID = " + std::to_string(static_cast<long>(set.m_id)) +
                        " and COUNTER = " + std::to_string(10 + i)),
                  1);
        last = set.m_id;
    }
    EXPECT_EQ(Count("NAME = 'added'"), 3);
    // A field the row does not have cannot be returned.
    set.SetReturnedColumn("NOPE");
    set.AddNew();
    EXPECT_THROW(set.Update(), CDBException);
}

TEST_P(RecordsetTest, MismatchedFieldsAreErrors) {
    AddRows(1);
    CSampleSet set(&m_db);
    set.m_nFields = 6; // declares fewer than it binds
    EXPECT_THROW(set.Open(CRecordset::snapshot), CDBException);
    EXPECT_FALSE(set.IsOpen());
    set.m_nFields = 7;
    EXPECT_THROW(set.Open(CRecordset::snapshot, "select ID, NAME from sample"), CDBException);
    EXPECT_FALSE(set.IsOpen());
    EXPECT_THROW(set.Open(CRecordset::snapshot, "select * from missing_table"), CDBException);
    EXPECT_FALSE(set.IsOpen());
    set.Open(CRecordset::snapshot);
    EXPECT_EQ(set.GetSQL(), "SELECT ID,COUNTER,FLAG,WHEN_AT,NAME,MEMO,AMOUNT FROM sample");
    EXPECT_EQ(set.m_name, "row1");
}

INSTANTIATE_FOR_ENGINES(RecordsetTest);

TEST(RecordsetTableName, OnlyASingleTableOfPlainColumnsIsWritable) {
    EXPECT_EQ(CRecordset::ParseTableName("files"), "files");
    EXPECT_EQ(CRecordset::ParseTableName("  files ; "), "files");
    EXPECT_EQ(CRecordset::ParseTableName("select * from files where file_id = 3"), "files");
    EXPECT_EQ(CRecordset::ParseTableName("SELECT a, b FROM Download WHERE url = 'x from y, z'"),
              "Download");
    EXPECT_EQ(CRecordset::ParseTableName("select * from files f order by f.title"), "files");
    EXPECT_EQ(CRecordset::ParseTableName("select * from files as f"), "files");
    EXPECT_EQ(
        CRecordset::ParseTableName("select * from files f, areafile a where a.file_id = f.file_id"),
        "");
    EXPECT_EQ(CRecordset::ParseTableName("select * from files join areafile using (file_id)"), "");
    EXPECT_EQ(CRecordset::ParseTableName("select count(f.file_id) from files f"), "");
    EXPECT_EQ(CRecordset::ParseTableName("select * from (select * from files) x"), "");
    EXPECT_EQ(CRecordset::ParseTableName("select 1"), "");
    EXPECT_EQ(CRecordset::ParseTableName(""), "");
    EXPECT_EQ(CRecordset::ParseTableName("two words"), "");
}

} // namespace
