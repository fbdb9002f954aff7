#include "RecordFile.h"

#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>

using storetest::CChildHolder;
using storetest::SucceedsInChild;
using testsupport::CTempDir;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

std::string RecordText(const RecordFile& file, std::size_t index) {
    const unsigned char* r = file.GetRecord(index);
    return r ? std::string(reinterpret_cast<const char*>(r), file.GetRecordSize()) : "<none>";
}

} // namespace

TEST(RecordFile, AbsentFileIsCreatedEmptyAndHasNoRecords) {
    CTempDir dir;
    for (bool writable : {false, true}) {
        const std::string path = dir / (writable ? "w.dat" : "r.dat");
        RecordFile file(8, writable);
        ASSERT_TRUE(file.Open(path, 0));
        EXPECT_TRUE(std::filesystem::exists(path));
        EXPECT_EQ(std::filesystem::file_size(path), 0u);
        EXPECT_EQ(file.GetRecordCount(), 0u);
        EXPECT_EQ(file.GetRecord(0), nullptr);
    }

    // Asked not to create, an absent file is an error and stays absent.
    RecordFile file(8, false);
    EXPECT_FALSE(file.Open(dir / "missing.dat", 0, false));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.dat"));
    EXPECT_FALSE(file.IsOpen());
}

TEST(RecordFile, CountIgnoresTrailingPartialRecordAndRecordsReadInPlace) {
    CTempDir dir;
    WriteFile(dir / "f", "AAAABBBBCC");
    RecordFile file(4, false);
    ASSERT_TRUE(file.Open(dir / "f"));
    EXPECT_EQ(file.GetRecordCount(), 2u);
    EXPECT_EQ(RecordText(file, 0), "AAAA");
    EXPECT_EQ(RecordText(file, 1), "BBBB");
    EXPECT_EQ(file.GetRecord(2), nullptr);

    // Shorter than one record: no records at all.
    WriteFile(dir / "g", "xyz");
    RecordFile small(4, false);
    ASSERT_TRUE(small.Open(dir / "g"));
    EXPECT_EQ(small.GetRecordCount(), 0u);
    EXPECT_EQ(small.GetRecord(0), nullptr);
}

TEST(RecordFile, MinimumCountGrowsWithZeroRecords) {
    CTempDir dir;
    WriteFile(dir / "f", "abc");
    {
        // 10000 bytes needs several growth blocks and a last partial one.
        RecordFile file(1000, true);
        ASSERT_TRUE(file.Open(dir / "f", 10));
        EXPECT_EQ(file.GetRecordCount(), 10u);
    }
    const std::string bytes = ReadFile(dir / "f");
    ASSERT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(bytes.substr(0, 3), "abc");
    EXPECT_EQ(bytes.find_first_not_of('\0', 3), std::string::npos);

    // A reader cannot grow the file, so it cannot satisfy a larger minimum.
    RecordFile reader(1000, false);
    EXPECT_FALSE(reader.Open(dir / "f", 11));
    EXPECT_TRUE(reader.Open(dir / "f", 10));
    EXPECT_EQ(reader.GetRecordCount(), 10u);
}

TEST(RecordFile, WriteRecordAppendsOverwritesAndFillsGaps) {
    CTempDir dir;
    RecordFile file(4, true);
    ASSERT_TRUE(file.Open(dir / "f"));

    ASSERT_TRUE(file.WriteRecord(0, "AAAA"));
    EXPECT_EQ(file.GetRecordCount(), 1u);
    ASSERT_TRUE(file.WriteRecord(1, "BBBB"));
    ASSERT_TRUE(file.WriteRecord(0, "aaaa"));
    EXPECT_EQ(file.GetRecordCount(), 2u);
    // Past the end: the records in between are zero.
    ASSERT_TRUE(file.WriteRecord(4, "EEEE"));
    EXPECT_EQ(file.GetRecordCount(), 5u);
    EXPECT_EQ(RecordText(file, 0), "aaaa");
    EXPECT_EQ(RecordText(file, 4), "EEEE");
    EXPECT_EQ(ReadFile(dir / "f"), std::string("aaaaBBBB") + std::string(8, '\0') + "EEEE");

    // A trailing partial record is overwritten by the next appended record, not kept in
    // front of it.
    WriteFile(dir / "p", "AAAABB");
    RecordFile partial(4, true);
    ASSERT_TRUE(partial.Open(dir / "p"));
    ASSERT_TRUE(partial.WriteRecord(2, "CCCC"));
    EXPECT_EQ(ReadFile(dir / "p"), std::string("AAAA") + std::string(4, '\0') + "CCCC");
    EXPECT_EQ(partial.GetRecordCount(), 3u);
}

TEST(RecordFile, RemoveRecordClosesTheGapAndShortensTheFile) {
    CTempDir dir;
    WriteFile(dir / "f", "AAAABBBBCCCCDDDD");
    RecordFile file(4, true);
    ASSERT_TRUE(file.Open(dir / "f"));
    ASSERT_TRUE(file.RemoveRecord(1));
    EXPECT_EQ(file.GetRecordCount(), 3u);
    EXPECT_EQ(ReadFile(dir / "f"), "AAAACCCCDDDD");
    ASSERT_TRUE(file.RemoveRecord(2));
    EXPECT_EQ(ReadFile(dir / "f"), "AAAACCCC");
    ASSERT_TRUE(file.RemoveRecord(0));
    EXPECT_EQ(RecordText(file, 0), "CCCC");
    EXPECT_FALSE(file.RemoveRecord(1));
    ASSERT_TRUE(file.RemoveRecord(0));
    EXPECT_EQ(file.GetRecordCount(), 0u);
    EXPECT_EQ(std::filesystem::file_size(dir / "f"), 0u);
    EXPECT_FALSE(file.RemoveRecord(0));

    // And the emptied file still takes new records.
    ASSERT_TRUE(file.WriteRecord(0, "ZZZZ"));
    EXPECT_EQ(ReadFile(dir / "f"), "ZZZZ");
}

TEST(RecordFile, ReadOnlyFileRefusesChanges) {
    CTempDir dir;
    WriteFile(dir / "f", "AAAABBBB");
    RecordFile file(4, false);
    ASSERT_TRUE(file.Open(dir / "f"));
    EXPECT_FALSE(file.WriteRecord(0, "XXXX"));
    EXPECT_FALSE(file.WriteRecord(2, "XXXX"));
    EXPECT_FALSE(file.RemoveRecord(0));
    EXPECT_EQ(ReadFile(dir / "f"), "AAAABBBB");
    EXPECT_EQ(file.GetRecordCount(), 2u);
}

TEST(RecordFile, OpenRefusesWhatIsNotARegularFile) {
    CTempDir dir;
    std::filesystem::create_directory(dir / "sub");
    RecordFile reader(4, false);
    EXPECT_FALSE(reader.Open(dir / "sub"));
    RecordFile writer(4, true);
    EXPECT_FALSE(writer.Open(dir / "sub"));
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_FALSE(reader.Open(dir / "fifo")); // and does not hang waiting for a writer
    EXPECT_FALSE(writer.Open(dir / "missing-dir/f"));
    EXPECT_FALSE(reader.Open(""));
}

TEST(RecordFile, SharingInOneProcessAndReleaseOnCloseAndMove) {
    CTempDir dir;
    const std::string path = dir / "f";
    RecordFile reader1(4, false);
    RecordFile reader2(4, false);
    RecordFile writer(4, true);
    ASSERT_TRUE(reader1.Open(path));
    EXPECT_TRUE(reader2.Open(path));
    EXPECT_FALSE(writer.Open(path));
    reader1.Close();
    EXPECT_FALSE(writer.Open(path));
    reader2.Close();
    ASSERT_TRUE(writer.Open(path));
    EXPECT_FALSE(reader1.Open(path));

    // The lock travels with a moved file and ends with its last owner.
    RecordFile moved(std::move(writer));
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_FALSE(reader1.Open(path));
    {
        RecordFile last(1, false);
        last = std::move(moved);
        EXPECT_EQ(last.GetRecordSize(), 4u);
        EXPECT_TRUE(last.IsWritable());
    }
    EXPECT_TRUE(reader1.Open(path));
}

TEST(RecordFile, WriterExcludesReadersAndReadersExcludeWriterAcrossProcesses) {
    CTempDir dir;
    const std::string path = dir / "f";
    auto openReader = [&] { return RecordFile(4, false).Open(path); };
    auto openWriter = [&] { return RecordFile(4, true).Open(path); };

    {
        RecordFile held(4, true);
        CChildHolder writer([&] { return held.Open(path); });
        ASSERT_TRUE(writer.Opened());
        // Refused at once, in this process and in a third one.
        EXPECT_FALSE(openReader());
        EXPECT_FALSE(openWriter());
        EXPECT_FALSE(SucceedsInChild(openReader));
        writer.Release();
        EXPECT_TRUE(openReader());
        EXPECT_TRUE(openWriter());
    }
    {
        RecordFile held(4, false);
        CChildHolder reader([&] { return held.Open(path); });
        ASSERT_TRUE(reader.Opened());
        EXPECT_FALSE(openWriter());
        EXPECT_FALSE(SucceedsInChild(openWriter));
        // Readers share.
        EXPECT_TRUE(openReader());
        EXPECT_TRUE(SucceedsInChild(openReader));
        RecordFile held2(4, false);
        CChildHolder reader2([&] { return held2.Open(path); });
        EXPECT_TRUE(reader2.Opened());
        reader.Release();
        EXPECT_FALSE(openWriter()); // the second reader still holds it
        reader2.Release();
        EXPECT_TRUE(openWriter());
    }
}
