// The record classes: adding, changing and deleting rows, links and locations, copies,
// and adding from several threads at once.

#include "CatalogFixture.h"

#include "AreaFileRecord.h"
#include "DownloadRecord.h"
#include "Recordset.h"

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

namespace {

using RecordTest = CatalogTest;

TEST(FileRecordDefaults, ANewRecordIsEmptyAndDatedNow) {
    CDateTime before = CDateTime::GetCurrentTime();
    CFileRecord file(nullptr);
    CDateTime after = CDateTime::GetCurrentTime();
    EXPECT_EQ(file.GetDefaultSQL(), "files");
    EXPECT_EQ(file.GetFields(), 16);
    EXPECT_EQ(file.m_FILE_ID, 0);
    EXPECT_EQ(file.m_SIZE, 0);
    EXPECT_EQ(file.m_TYPE_ID, 0);
    EXPECT_EQ(file.m_RATING, 0);
    EXPECT_EQ(file.m_DOWNLOADS, 0);
    EXPECT_EQ(file.m_PRICE, 0);
    EXPECT_TRUE(file.m_TITLE.empty() && file.m_SHORT_DESC.empty() && file.m_LONG_DESC.empty() &&
                file.m_UPLD_NAME.empty() && file.m_UPLD_EMAIL.empty() && file.m_UPLD_HOME.empty() &&
                file.m_VERSION.empty());
    EXPECT_FALSE(file.m_REQ_FORM);
    EXPECT_TRUE(before <= file.m_FILE_DATE && file.m_FILE_DATE <= after);
    EXPECT_EQ(file.m_LAST_DWNLD, file.m_FILE_DATE);
    EXPECT_FALSE(file.IsRecordset());
    // Without a manager nothing can be done, and nothing breaks.
    EXPECT_FALSE(file.Add());
    EXPECT_FALSE(file.Get(1, false));
    EXPECT_FALSE(file.MoveNext());

    CAreaFileRecord link(nullptr);
    CDownloadRecord location(nullptr);
    EXPECT_EQ(link.GetDefaultSQL(), "areafile");
    EXPECT_EQ(link.GetFields(), 2);
    EXPECT_EQ(location.GetDefaultSQL(), "download");
    EXPECT_EQ(location.GetFields(), 2);
}

TEST_P(RecordTest, AddStoresEveryFieldAndTakesTheNumberTheDatabaseGave) {
    std::string longText(60000, 'x');
    longText += "\xE2\x82\xAC end"; // €
    CFileRecord file(m_manager.get());
    file.m_FILE_ID = 999; // not used: the database numbers the row
    file.m_TITLE = "Title";
    file.m_SIZE = 5e9; // over 32 bits
    file.m_SHORT_DESC = "short";
    file.m_LONG_DESC = longText;
    file.m_UPLD_NAME = "Zoë";
    file.m_UPLD_EMAIL = "zoe@example.org";
    file.m_UPLD_HOME = "http://example.org/";
    file.m_TYPE_ID = 3;
    file.m_RATING = 4;
    file.m_DOWNLOADS = 17;
    file.m_LAST_DWNLD = CDateTime(2003, 4, 5, 6, 7, 8);
    file.m_FILE_DATE = CDateTime(1999, 12, 31, 23, 59, 59);
    file.m_PRICE = 12;
    file.m_VERSION = "1.2.3";
    file.m_REQ_FORM = true;
    ASSERT_TRUE(file.Add()) << LogText();
    EXPECT_NE(file.m_FILE_ID, 999);
    EXPECT_GE(file.m_FILE_ID, 1);
    EXPECT_FALSE(file.IsRecordset());

    double second = AddFile("second");
    double third = AddFile("third");
    EXPECT_GT(second, file.m_FILE_ID);
    EXPECT_GT(third, second);
    EXPECT_EQ(CountRows("files"), 3);

    CFileRecord read(m_manager.get());
    ASSERT_TRUE(read.Get(static_cast<int32_t>(file.m_FILE_ID), false));
    EXPECT_EQ(read.m_FILE_ID, file.m_FILE_ID);
    EXPECT_EQ(read.m_TITLE, "Title");
    EXPECT_EQ(read.m_SIZE, 5e9);
    EXPECT_EQ(read.m_SHORT_DESC, "short");
    EXPECT_EQ(read.m_LONG_DESC, longText);
    EXPECT_EQ(read.m_UPLD_NAME, "Zoë");
    EXPECT_EQ(read.m_UPLD_EMAIL, "zoe@example.org");
    EXPECT_EQ(read.m_UPLD_HOME, "http://example.org/");
    EXPECT_EQ(read.m_TYPE_ID, 3);
    EXPECT_EQ(read.m_RATING, 4);
    EXPECT_EQ(read.m_DOWNLOADS, 17);
    EXPECT_EQ(read.m_LAST_DWNLD, CDateTime(2003, 4, 5, 6, 7, 8));
    EXPECT_EQ(read.m_FILE_DATE, CDateTime(1999, 12, 31, 23, 59, 59));
    EXPECT_EQ(read.m_PRICE, 12);
    EXPECT_EQ(read.m_VERSION, "1.2.3");
    EXPECT_TRUE(read.m_REQ_FORM);

    CFileRecord key(m_manager.get());
    key.m_FILE_ID = second;
    EXPECT_TRUE(read.GetByPrimaryKey(key, false, true));
    EXPECT_EQ(read.m_TITLE, "second");
    key.m_FILE_ID = 424242;
    EXPECT_FALSE(read.GetByPrimaryKey(key, false, true));
    EXPECT_TRUE(read.GetByPrimaryKey(key, false, false));
    EXPECT_FALSE(read.Get(424242, false));
}

TEST_P(RecordTest, UpdateWritesTheRowWithTheRecordsKey) {
    double id = AddFile("before");
    AddFile("untouched");
    CFileRecord file(m_manager.get());
    ASSERT_TRUE(file.Get(static_cast<int32_t>(id), false));
    file.m_TITLE = "after";
    file.m_DOWNLOADS = 41;
    file.m_REQ_FORM = true;
    ASSERT_TRUE(file.Update()) << LogText();
    // The key finds the row but is never written: SQL Server and Access number it
    // themselves and refuse a value for it.
    const std::vector<std::string> statements = m_manager->GetPreparedStatementTexts();
    EXPECT_NE(std::find(statements.begin(), statements.end(),
                        "UPDATE files SET TITLE=?,SIZE=?,SHORT_DESC=?,LONG_DESC=?,UPLD_NAME=?,"
                        "UPLD_EMAIL=?,UPLD_HOME=?,TYPE_ID=?,RATING=?,DOWNLOADS=?,LAST_DWNLD=?,"
                        "FILE_DATE=?,PRICE=?,VERSION=?,REQ_FORM=? WHERE FILE_ID=?"),
              statements.end())
        << ::testing::PrintToString(statements);
    EXPECT_EQ(CountRows("files", "TITLE = 'after'"), 1);
    EXPECT_EQ(CountRows("files", "TITLE = 'untouched'"), 1);
    CFileRecord read(m_manager.get());
    ASSERT_TRUE(read.Get(static_cast<int32_t>(id), false));
    EXPECT_EQ(read.m_DOWNLOADS, 41);
    EXPECT_TRUE(read.m_REQ_FORM);

    file.m_FILE_ID = 424242;
    EXPECT_FALSE(file.Update());
    EXPECT_EQ(CountRows("files"), 2);

    // The link tables hold nothing but keys: their Update does nothing and says so.
    CAreaFileRecord link(m_manager.get());
    link.m_AREA_ID = 1;
    link.m_FILE_ID = id;
    ASSERT_TRUE(link.Add());
    EXPECT_FALSE(link.Update());
    CDownloadRecord location(m_manager.get());
    location.m_FILE_ID = id;
    location.m_URL = "http://example.org/";
    ASSERT_TRUE(location.Add());
    EXPECT_FALSE(location.Update());
    EXPECT_EQ(CountRows("areafile", "AREA_ID = 1"), 1);
    EXPECT_EQ(CountRows("download", "URL = 'http://example.org/'"), 1);
}

TEST_P(RecordTest, LinksAndLocationsAreAddedOnceAndDeletedOnce) {
    CFileRecord file(m_manager.get());
    file.m_TITLE = "linked";
    ASSERT_TRUE(file.Add());
    EXPECT_TRUE(file.AddToFileArea(1));
    EXPECT_FALSE(file.AddToFileArea(1));
    EXPECT_EQ(CountRows("areafile"), 1);
    EXPECT_FALSE(file.DeleteFromFileArea(2));
    EXPECT_TRUE(file.DeleteFromFileArea(1));
    EXPECT_FALSE(file.DeleteFromFileArea(1));
    EXPECT_EQ(CountRows("areafile"), 0);

    EXPECT_TRUE(file.AddDownloadURL("http://example.org/x.zip"));
    EXPECT_FALSE(file.AddDownloadURL("http://example.org/x.zip"));
    EXPECT_EQ(CountRows("download"), 1);
    // The same location of another file is another row.
    CFileRecord other(m_manager.get());
    other.m_TITLE = "other";
    ASSERT_TRUE(other.Add());
    EXPECT_TRUE(other.AddDownloadURL("http://example.org/x.zip"));
    EXPECT_EQ(CountRows("download"), 2);
    EXPECT_TRUE(file.DeleteDownloadURL("http://example.org/x.zip"));
    EXPECT_FALSE(file.DeleteDownloadURL("http://example.org/x.zip"));
    EXPECT_EQ(CountRows("download"), 1);

    CAreaFileRecord link(m_manager.get());
    EXPECT_FALSE(link.Get(1, file.m_FILE_ID, false));
    ASSERT_TRUE(file.AddToFileArea(1));
    EXPECT_TRUE(link.Get(1, file.m_FILE_ID, false));
    EXPECT_EQ(link.m_AREA_ID, 1);
    EXPECT_EQ(link.m_FILE_ID, file.m_FILE_ID);

    // With the tables gone every operation fails instead of claiming success.
    ASSERT_TRUE(m_manager->DropAllTables());
    EXPECT_FALSE(file.AddToFileArea(2));
    EXPECT_FALSE(file.AddDownloadURL("http://example.org/y.zip"));
    EXPECT_FALSE(file.DeleteFromFileArea(1));
    EXPECT_FALSE(file.Add());
    EXPECT_FALSE(file.Update());
    EXPECT_FALSE(file.Delete());
}

TEST_P(RecordTest, DeletingAFileRemovesItsLinksAndLocations) {
    CFileRecord file(m_manager.get());
    file.m_TITLE = "doomed";
    ASSERT_TRUE(file.Add());
    ASSERT_TRUE(file.AddToFileArea(1));
    ASSERT_TRUE(file.AddToFileArea(2));
    for (const char* location : {"http://a/", "http://b/", "local://1/doomed.zip"}) {
        ASSERT_TRUE(file.AddDownloadURL(location));
    }
    CFileRecord kept(m_manager.get());
    kept.m_TITLE = "kept";
    ASSERT_TRUE(kept.Add());
    ASSERT_TRUE(kept.AddToFileArea(1));
    ASSERT_TRUE(kept.AddDownloadURL("http://a/"));
    long before = CountRows("files") + CountRows("areafile") + CountRows("download");

    EXPECT_TRUE(file.Delete()) << LogText();
    long after = CountRows("files") + CountRows("areafile") + CountRows("download");
    EXPECT_EQ(before - after, 6);
    EXPECT_EQ(CountRows("files", "TITLE = 'kept'"), 1);
    EXPECT_EQ(CountRows("areafile"), 1);
    EXPECT_EQ(CountRows("download"), 1);
    EXPECT_FALSE(file.Delete());
}

TEST_P(RecordTest, CopiesTakeTheValuesButNeverTheRecordset) {
    AddFile("one");
    AddFile("two");
    CFileRecord walker(m_manager.get());
    ASSERT_TRUE(walker.Open("select * from files order by file_id", true, true));
    CFileRecord copy(walker);
    EXPECT_FALSE(copy.IsRecordset());
    EXPECT_EQ(copy.GetManager(), m_manager.get());
    EXPECT_EQ(copy.m_TITLE, "one");
    ASSERT_TRUE(walker.MoveNext());
    EXPECT_EQ(walker.m_TITLE, "two");
    EXPECT_EQ(copy.m_TITLE, "one"); // the copy's fields are its own

    CDorvaleDatabaseManager other(false);
    CFileRecord target(&other);
    target = walker;
    EXPECT_EQ(target.m_TITLE, "two");
    EXPECT_EQ(target.GetManager(), &other); // the manager stays
    EXPECT_FALSE(target.IsRecordset());
    // Assigning into a record with an open recordset keeps that recordset.
    copy = target;
    ASSERT_TRUE(walker.IsRecordset());
    walker = copy;
    EXPECT_TRUE(walker.IsRecordset());
    EXPECT_EQ(walker.m_TITLE, "two");
    EXPECT_EQ(walker.GetManager(), m_manager.get());
}

TEST_P(RecordTest, TwoThreadsAddingThroughOneManagerGetDistinctNumbers) {
    constexpr int PER_THREAD = 150;
    std::vector<double> ids[2];
    std::atomic<int> failures{0};
    auto work = [&](int thread) {
        for (int i = 0; i < PER_THREAD; ++i) {
            CFileRecord file(m_manager.get());
            file.m_TITLE = "t" + std::to_string(thread) + "-" + std::to_string(i);
            if (!file.Add() || !file.AddToFileArea(thread + 1) ||
                !file.AddDownloadURL("http://example.org/" + file.m_TITLE)) {
                ++failures;
                continue;
            }
            ids[thread].push_back(file.m_FILE_ID);
        }
    };
    std::thread first(work, 0);
    std::thread second(work, 1);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0) << LogText();
    std::set<double> distinct(ids[0].begin(), ids[0].end());
    distinct.insert(ids[1].begin(), ids[1].end());
    EXPECT_EQ(distinct.size(), 2u * PER_THREAD);
    EXPECT_EQ(CountRows("files"), 2 * PER_THREAD);
    EXPECT_EQ(CountRows("areafile"), 2 * PER_THREAD);
    EXPECT_EQ(CountRows("download"), 2 * PER_THREAD);
    // Each number belongs to the row its thread added.
    for (int thread = 0; thread < 2; ++thread) {
        for (size_t i = 0; i < ids[thread].size(); ++i) {
            CFileRecord read(m_manager.get());
            ASSERT_TRUE(read.Get(static_cast<int32_t>(ids[thread][i]), false));
            EXPECT_EQ(read.m_TITLE, "t" + std::to_string(thread) + "-" + std::to_string(i));
        }
    }
}

TEST_P(RecordTest, TheNumberIsThisRowsEvenWhenAnotherConnectionAddsMeanwhile) {
    // Another program adding rows through its own connection, outside this process's lock.
    std::atomic<bool> stop{false};
    std::atomic<bool> broken{false};
    std::atomic<int> foreign{0};
    std::thread other([&] {
        CDatabase connection;
        try {
            connection.OpenEx("DSN=" + m_source->Name(), CDatabase::noOdbcDialog);
        } catch (const CDBException&) {
            broken = true;
            return;
        }
        while (!stop) {
            try {
                connection.ExecuteSQL(
                    "insert into files (TITLE, SIZE, TYPE_ID) values ('foreign', 1, 0)");
                ++foreign;
            } catch (const CDBException&) {
                // a busy file database: try again
            }
        }
    });
    while (foreign == 0 && !broken) {
        std::this_thread::yield();
    }
    std::vector<std::pair<double, std::string>> added;
    for (int i = 0; i < 100 && !broken; ++i) {
        CFileRecord file(m_manager.get());
        file.m_TITLE = "mine " + std::to_string(i);
        if (file.Add()) {
            added.emplace_back(file.m_FILE_ID, file.m_TITLE);
        }
    }
    stop = true;
    other.join();
    ASSERT_FALSE(broken);
    EXPECT_EQ(added.size(), 100u) << LogText();
    EXPECT_GT(CountRows("files", "TITLE = 'foreign'"), 0);
    for (const auto& [id, title] : added) {
        CFileRecord read(m_manager.get());
        ASSERT_TRUE(read.Get(static_cast<int32_t>(id), false));
        EXPECT_EQ(read.m_TITLE, title);
    }
}

INSTANTIATE_FOR_CATALOG_ENGINES(RecordTest);

} // namespace
