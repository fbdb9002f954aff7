// The recordset of a record: opening with and without keeping it, walking an area's
// files, and changing rows through it.

#include "CatalogFixture.h"

#include "DownloadRecord.h"

#include <set>

namespace {

using NavigationTest = CatalogTest;

TEST_P(NavigationTest, OpenAnswersWhetherARowExistsAndKeepsTheCursorOnlyWhenAsked) {
    CFileRecord file(m_manager.get());
    // No rows.
    EXPECT_TRUE(file.Open("select * from files", false, false));
    EXPECT_FALSE(file.IsRecordset());
    EXPECT_FALSE(file.Open("select * from files", false, true));
    EXPECT_TRUE(file.Open("select * from files", true, false));
    ASSERT_TRUE(file.IsRecordset());
    EXPECT_TRUE(file.IsEOF());
    EXPECT_TRUE(file.IsBOF());
    EXPECT_FALSE(file.Open("select * from files", true, true));
    EXPECT_TRUE(file.IsRecordset()); // opened, but without the row asked for

    double first = AddFile("first", 10);
    AddFile("second", 20);
    // The first row lands in the fields, and without keepOpen the cursor is gone.
    ASSERT_TRUE(file.Open("select * from files order by file_id", false, true));
    EXPECT_FALSE(file.IsRecordset());
    EXPECT_EQ(file.m_TITLE, "first");
    EXPECT_EQ(file.m_FILE_ID, first);
    // The default statement is the whole table.
    ASSERT_TRUE(file.Open(nullptr, true, true));
    int rows = 0;
    while (!file.IsEOF()) {
        ++rows;
        ASSERT_TRUE(file.MoveNext());
    }
    EXPECT_EQ(rows, 2);
    file.Close();
    EXPECT_FALSE(file.IsRecordset());
    EXPECT_TRUE(file.IsEOF());
    EXPECT_FALSE(file.MoveNext());
    EXPECT_FALSE(file.MoveFirst());
    EXPECT_FALSE(file.SetAbsolutePosition(1));
}

TEST_P(NavigationTest, AFailedOpenLeavesARecordsetOnlyWhenOneWasToBeKept) {
    CFileRecord file(m_manager.get());
    EXPECT_FALSE(file.Open("select * from no_such_table", false, false));
    EXPECT_FALSE(file.IsRecordset());
    EXPECT_NE(LogText().find("no_such_table"), std::string::npos) << LogText();
    EXPECT_FALSE(file.Open("select * from no_such_table", true, false));
    EXPECT_TRUE(file.IsRecordset());
    EXPECT_TRUE(file.IsEOF());
    EXPECT_FALSE(file.MoveNext());
    AddFile("present");
    EXPECT_TRUE(file.Open("select * from files", true, true)); // replaces it
    EXPECT_EQ(file.m_TITLE, "present");
    EXPECT_FALSE(file.Open("select * from no_such_table", true, false));
    file.Close();
    EXPECT_FALSE(file.IsRecordset());
}

TEST_P(NavigationTest, TheFilesOfAnAreaAreWalkedEveryWay) {
    std::set<std::string> inArea;
    for (int i = 0; i < 5; ++i) {
        CFileRecord file(m_manager.get());
        file.m_TITLE = "area7-" + std::to_string(i);
        ASSERT_TRUE(file.Add());
        ASSERT_TRUE(file.AddToFileArea(7));
        inArea.insert(file.m_TITLE);
    }
    for (int i = 0; i < 2; ++i) {
        CFileRecord file(m_manager.get());
        file.m_TITLE = "area8-" + std::to_string(i);
        ASSERT_TRUE(file.Add());
        ASSERT_TRUE(file.AddToFileArea(8));
    }
    CFileRecord walker(m_manager.get());
    ASSERT_TRUE(walker.GetAllFilesInArea(7));
    std::vector<std::string> order;
    while (!walker.IsEOF()) {
        order.push_back(walker.m_TITLE);
        ASSERT_TRUE(walker.MoveNext());
    }
    EXPECT_EQ(std::set<std::string>(order.begin(), order.end()), inArea);
    ASSERT_EQ(order.size(), 5u);
    EXPECT_FALSE(walker.MoveNext()); // past the end: false, logged
    ASSERT_TRUE(walker.MovePrev());
    EXPECT_EQ(walker.m_TITLE, order[4]);
    ASSERT_TRUE(walker.MoveFirst());
    EXPECT_EQ(walker.m_TITLE, order[0]);
    EXPECT_FALSE(walker.IsBOF());
    ASSERT_TRUE(walker.MovePrev());
    EXPECT_TRUE(walker.IsBOF());
    ASSERT_TRUE(walker.MoveLast());
    EXPECT_EQ(walker.m_TITLE, order[4]);
    ASSERT_TRUE(walker.SetAbsolutePosition(3));
    EXPECT_EQ(walker.m_TITLE, order[2]);
    ASSERT_TRUE(walker.SetAbsolutePosition(6));
    EXPECT_TRUE(walker.IsEOF());

    EXPECT_FALSE(walker.GetAllFilesInArea(99)); // at least one file is required
    // A join cannot be changed through its recordset.
    ASSERT_TRUE(walker.GetAllFilesInArea(7));
    EXPECT_FALSE(walker.BeginEdit());
}

TEST_P(NavigationTest, AreaIdsOfAMillionAndMoreAreWrittenInFull) {
    // Written with six significant digits, 1234567 would become 1.23457e+06.
    CFileRecord file(m_manager.get());
    file.m_TITLE = "far";
    ASSERT_TRUE(file.Add());
    ASSERT_TRUE(file.AddToFileArea(1234567));
    EXPECT_EQ(m_manager->GetNumberOfFilesInArea(1234567), 1);
    EXPECT_EQ(m_manager->GetNumberOfFilesInArea(1234570), 0);
    CFileRecord walker(m_manager.get());
    ASSERT_TRUE(walker.GetAllFilesInArea(1234567));
    EXPECT_EQ(walker.m_TITLE, "far");
    std::vector<double> areas;
    ASSERT_TRUE(m_manager->GetAreaIDsForFile(file.m_FILE_ID, areas));
    EXPECT_EQ(areas, std::vector<double>{1234567});
}

TEST_P(NavigationTest, RowsAreChangedThroughAnOpenRecord) {
    double id = AddFile("edited");
    // Fetch by key, edit, store: the way a properties dialog saves a file.
    CFileRecord file(m_manager.get());
    CFileRecord key(m_manager.get());
    key.m_FILE_ID = id;
    ASSERT_TRUE(file.GetByPrimaryKey(key, true, true));
    ASSERT_TRUE(file.BeginEdit());
    file.m_TITLE = "saved";
    file.m_VERSION = "2.0";
    ASSERT_TRUE(file.StoreRow()) << LogText();
    EXPECT_EQ(CountRows("files", "TITLE = 'saved' and VERSION = '2.0'"), 1);
    // Storing without a pending edit fails without touching anything.
    EXPECT_FALSE(file.StoreRow());

    // A file's locations, opened on their own statement, added to and deleted from.
    CDownloadRecord locations(m_manager.get());
    std::string statement =
        "select * from download where file_id = " + std::to_string(static_cast<long>(id));
    ASSERT_TRUE(locations.Open(statement, true, false));
    ASSERT_TRUE(locations.BeginAddNew());
    locations.m_FILE_ID = id;
    locations.m_URL = "http://example.org/one";
    ASSERT_TRUE(locations.StoreRow()) << LogText();
    ASSERT_TRUE(locations.BeginAddNew());
    locations.m_URL = "http://example.org/two";
    ASSERT_TRUE(locations.StoreRow());
    ASSERT_TRUE(locations.Open(statement + " order by url", true, true));
    EXPECT_EQ(locations.m_URL, "http://example.org/one");
    ASSERT_TRUE(locations.BeginEdit());
    locations.m_URL = "http://example.org/uno";
    ASSERT_TRUE(locations.StoreRow());
    ASSERT_TRUE(locations.MoveNext());
    ASSERT_TRUE(locations.DeleteCurrentRow());
    EXPECT_EQ(CountRows("download"), 1);
    EXPECT_EQ(CountRows("download", "URL = 'http://example.org/uno'"), 1);
    // A duplicate key is refused by the table and reported as a failure.
    ASSERT_TRUE(locations.BeginAddNew());
    locations.m_URL = "http://example.org/uno";
    EXPECT_FALSE(locations.StoreRow());
    EXPECT_EQ(CountRows("download"), 1);
}

INSTANTIATE_FOR_CATALOG_ENGINES(NavigationTest);

} // namespace
