#include "FileAreaStore.h"

#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include <array>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using storetest::AreaBytes;
using storetest::CChildHolder;
using storetest::HeaderBytes;
using storetest::SucceedsInChild;
using storetest::U32;
using testsupport::CTempDir;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

AreaRecord MakeArea(const std::string& name, const std::string& path = {},
                    std::uint32_t flags = AREA_DOWNLOADABLE) {
    AreaRecord area;
    area.Name = name;
    area.Path = path;
    area.FtpAlias = name + "-ftp";
    area.HttpAlias = name + "-http";
    area.Flags = flags;
    return area;
}

std::vector<std::uint32_t> Ids(const CFileAreaStore& store) {
    std::vector<std::uint32_t> ids;
    for (const AreaRecord& area : store.EnumerateAreas()) {
        ids.push_back(area.Id);
    }
    return ids;
}

std::string Encoded(const AreaRecord& area) {
    std::array<unsigned char, AREA_RECORD_SIZE> record;
    record.fill(0xEE);
    EncodeAreaRecord(area, record.data());
    return std::string(reinterpret_cast<const char*>(record.data()), record.size());
}

} // namespace

TEST(FileAreaStore, RecordLayoutMatchesHandAssembledBytes) {
    AreaRecord area;
    area.Id = 0x01020304;
    area.Name = "Games";
    area.Path = "/srv/files/games";
    area.FtpAlias = "games-ftp";
    area.HttpAlias = "games-web";
    area.Flags = AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY;

    const std::string bytes = Encoded(area);
    ASSERT_EQ(bytes.size(), 868u);
    EXPECT_EQ(bytes,
              AreaBytes(0x01020304, "Games", "/srv/files/games", "games-ftp", "games-web", 5));
    // Field by field at the fixed offsets, least significant byte first.
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x04\x03\x02\x01", 4));
    EXPECT_EQ(bytes.substr(4, 6), std::string("Games\0", 6));
    EXPECT_EQ(bytes.substr(84, 17), std::string("/srv/files/games\0", 17));
    EXPECT_EQ(bytes.substr(344, 10), std::string("games-ftp\0", 10));
    EXPECT_EQ(bytes.substr(604, 10), std::string("games-web\0", 10));
    EXPECT_EQ(bytes.substr(864, 4), std::string("\x05\0\0\0", 4));

    // Decoding the hand-assembled bytes gives the values back.
    const std::string hand = AreaBytes(7, "Docs", "/d", "f", "h", AREA_UPLOADABLE);
    const AreaRecord decoded =
        DecodeAreaRecord(reinterpret_cast<const unsigned char*>(hand.data()));
    EXPECT_EQ(decoded.Id, 7u);
    EXPECT_EQ(decoded.Name, "Docs");
    EXPECT_EQ(decoded.Path, "/d");
    EXPECT_EQ(decoded.FtpAlias, "f");
    EXPECT_EQ(decoded.HttpAlias, "h");
    EXPECT_EQ(decoded.Flags, AREA_UPLOADABLE);

    // Header: {12, 0, next id}, the rest zero.
    std::array<unsigned char, AREA_RECORD_SIZE> header;
    header.fill(0xEE);
    EncodeAreaStoreHeader(AreaStoreHeader{12, 0, 0x0A0B0C0D}, header.data());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.data()), header.size()),
              HeaderBytes(0x0A0B0C0D));
    const AreaStoreHeader back = DecodeAreaStoreHeader(header.data());
    EXPECT_EQ(back.HeaderSize, 12u);
    EXPECT_EQ(back.Reserved, 0u);
    EXPECT_EQ(back.NextAreaId, 0x0A0B0C0Du);

    // Bits outside the three flags are never written.
    area.Flags = 0xFFFFFFFF;
    EXPECT_EQ(Encoded(area).substr(864, 4), std::string("\x07\0\0\0", 4));
}

TEST(FileAreaStore, TextFieldsAreCutToFitWithoutSplittingCharacters) {
    AreaRecord area;
    // 79 characters fill the name; the NUL sits at offset 83 and Path still starts at 84.
    area.Name = std::string(79, 'N');
    area.Path = "P";
    std::string bytes = Encoded(area);
    EXPECT_EQ(bytes.substr(4, 79), std::string(79, 'N'));
    EXPECT_EQ(bytes[83], '\0');
    EXPECT_EQ(bytes.substr(84, 2), std::string("P\0", 2));
    EXPECT_EQ(DecodeAreaRecord(reinterpret_cast<const unsigned char*>(bytes.data())).Name,
              area.Name);

    // 80 characters lose the last one.
    area.Name = std::string(80, 'M');
    bytes = Encoded(area);
    EXPECT_EQ(DecodeAreaRecord(reinterpret_cast<const unsigned char*>(bytes.data())).Name,
              std::string(79, 'M'));
    EXPECT_EQ(bytes[83], '\0');

    // A two-byte character that would straddle the limit is left out whole.
    area.Name = std::string(78, 'a') + "\xC3\xA9" + "z"; // 78 + "é" + z = 81 bytes
    bytes = Encoded(area);
    EXPECT_EQ(DecodeAreaRecord(reinterpret_cast<const unsigned char*>(bytes.data())).Name,
              std::string(78, 'a'));
    // A four-byte character likewise, in a 260-byte field.
    area.Path = std::string(257, 'p') + "\xF0\x9F\x98\x80";
    bytes = Encoded(area);
    EXPECT_EQ(DecodeAreaRecord(reinterpret_cast<const unsigned char*>(bytes.data())).Path,
              std::string(257, 'p'));
    // One that ends exactly at the limit is kept.
    area.Path = std::string(255, 'p') + "\xF0\x9F\x98\x80" + "x";
    bytes = Encoded(area);
    EXPECT_EQ(DecodeAreaRecord(reinterpret_cast<const unsigned char*>(bytes.data())).Path,
              std::string(255, 'p') + "\xF0\x9F\x98\x80");
}

TEST(FileAreaStore, FieldWithoutNulIsReadToItsEndOnly) {
    // Every text field full to the brim and no NUL anywhere.
    const std::string bytes = U32(3) + std::string(80, 'N') + std::string(260, 'P') +
                              std::string(260, 'F') + std::string(260, 'H') + U32(1);
    ASSERT_EQ(bytes.size(), 868u);
    const AreaRecord area = DecodeAreaRecord(reinterpret_cast<const unsigned char*>(bytes.data()));
    EXPECT_EQ(area.Name, std::string(80, 'N'));
    EXPECT_EQ(area.Path, std::string(260, 'P'));
    EXPECT_EQ(area.FtpAlias, std::string(260, 'F'));
    EXPECT_EQ(area.HttpAlias, std::string(260, 'H'));

    // Bytes after the first NUL carry no meaning.
    std::string edited = AreaBytes(4, "Old name that was longer", "/p", "", "", 0);
    edited.replace(4, 4, std::string("New\0", 4));
    EXPECT_EQ(DecodeAreaRecord(reinterpret_cast<const unsigned char*>(edited.data())).Name, "New");
}

TEST(FileAreaStore, NewStoreGetsHeaderAndIdsAreNeverReused) {
    CTempDir dir;
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(dir.Path().string()));
    EXPECT_EQ(ReadFile(dir / "filearea.dat"), HeaderBytes(1));
    EXPECT_EQ(store.GetAreaCount(), 0u);

    AreaRecord a = MakeArea("One", "/srv/one", AREA_DOWNLOADABLE | AREA_HOSTED_LOCALLY);
    AreaRecord b = MakeArea("Two");
    AreaRecord c = MakeArea("Three", "", AREA_UPLOADABLE);
    ASSERT_TRUE(store.AddArea(a));
    ASSERT_TRUE(store.AddArea(b));
    ASSERT_TRUE(store.AddArea(c));
    EXPECT_EQ(a.Id, 1u);
    EXPECT_EQ(b.Id, 2u);
    EXPECT_EQ(c.Id, 3u);
    AreaStoreHeader header;
    ASSERT_TRUE(store.ReadHeader(header));
    EXPECT_EQ(header.NextAreaId, 4u);

    ASSERT_TRUE(store.DeleteArea(2));
    EXPECT_EQ(Ids(store), (std::vector<std::uint32_t>{1, 3}));
    EXPECT_FALSE(store.DeleteArea(2));
    ASSERT_TRUE(store.ReadHeader(header));
    EXPECT_EQ(header.NextAreaId, 4u);
    EXPECT_EQ(ReadFile(dir / "filearea.dat"),
              HeaderBytes(4) + AreaBytes(1, "One", "/srv/one", "One-ftp", "One-http", 5) +
                  AreaBytes(3, "Three", "", "Three-ftp", "Three-http", 2));

    AreaRecord d = MakeArea("Four");
    ASSERT_TRUE(store.AddArea(d));
    EXPECT_EQ(d.Id, 4u);
    EXPECT_EQ(Ids(store), (std::vector<std::uint32_t>{1, 3, 4}));

    // The next id survives closing and opening again, even after deleting the newest area.
    ASSERT_TRUE(store.DeleteArea(4));
    store.Close();
    ASSERT_TRUE(store.OpenForWriting(dir.Path().string()));
    AreaRecord e = MakeArea("Five");
    ASSERT_TRUE(store.AddArea(e));
    EXPECT_EQ(e.Id, 5u);
}

TEST(FileAreaStore, UpdateRewritesOneAreaAndKeepsHeader) {
    CTempDir dir;
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(dir.Path().string()));
    AreaRecord a = MakeArea("A with a long name");
    AreaRecord b = MakeArea("B");
    ASSERT_TRUE(store.AddArea(a));
    ASSERT_TRUE(store.AddArea(b));

    AreaRecord edited = a;
    edited.Name = "A";
    edited.Path = "/srv/a";
    edited.Flags = AREA_UPLOADABLE | AREA_HOSTED_LOCALLY;
    ASSERT_TRUE(store.UpdateArea(edited));
    AreaRecord found;
    ASSERT_TRUE(store.FindArea(a.Id, found));
    EXPECT_EQ(found.Name, "A");
    EXPECT_EQ(found.Path, "/srv/a");
    EXPECT_EQ(found.Flags, AREA_UPLOADABLE | AREA_HOSTED_LOCALLY);
    ASSERT_TRUE(store.FindArea(b.Id, found));
    EXPECT_EQ(found.Name, "B");
    EXPECT_EQ(ReadFile(dir / "filearea.dat").substr(0, 868), HeaderBytes(3));

    AreaRecord unknown = MakeArea("X");
    unknown.Id = 9;
    EXPECT_FALSE(store.UpdateArea(unknown));
    EXPECT_EQ(store.GetAreaCount(), 2u);
}

TEST(FileAreaStore, FindByIdOverManyAreasAndGaps) {
    CTempDir dir;
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(dir.Path().string()));
    for (int i = 0; i < 40; ++i) {
        AreaRecord area = MakeArea("Area " + std::to_string(i));
        ASSERT_TRUE(store.AddArea(area));
    }
    for (std::uint32_t id = 2; id <= 40; id += 3) {
        ASSERT_TRUE(store.DeleteArea(id));
    }
    for (std::uint32_t id = 0; id <= 42; ++id) {
        const bool present = id >= 1 && id <= 40 && (id < 2 || (id - 2) % 3 != 0);
        AreaRecord area;
        EXPECT_EQ(store.FindArea(id, area), present) << id;
        if (present) {
            EXPECT_EQ(area.Id, id);
            EXPECT_EQ(area.Name, "Area " + std::to_string(id - 1));
            const std::size_t index = store.FindArea(id);
            AreaRecord at;
            ASSERT_TRUE(store.GetAreaAt(index - 1, at));
            EXPECT_EQ(at.Id, id);
        } else {
            EXPECT_EQ(store.FindArea(id), 0u);
        }
    }
}

TEST(FileAreaStore, AbsentEmptyAndHeaderOnlyStoresForReaders) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    {
        // Absent: created empty; no header, no areas.
        CFileAreaStore store;
        ASSERT_TRUE(store.OpenForReading(db));
        EXPECT_TRUE(std::filesystem::exists(dir / "filearea.dat"));
        EXPECT_FALSE(store.HasHeader());
        AreaStoreHeader header;
        EXPECT_FALSE(store.ReadHeader(header));
        EXPECT_EQ(store.GetAreaCount(), 0u);
        EXPECT_TRUE(store.EnumerateAreas().empty());
        AreaRecord area;
        EXPECT_FALSE(store.FindArea(1, area));
        EXPECT_FALSE(store.GetAreaAt(0, area));
        // A reader changes nothing.
        EXPECT_FALSE(store.AddArea(area));
        EXPECT_FALSE(store.Initialise());
    }
    EXPECT_EQ(std::filesystem::file_size(dir / "filearea.dat"), 0u);

    // Header only: accepted, no areas.
    WriteFile(dir / "filearea.dat", HeaderBytes(7));
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForReading(db));
    ASSERT_TRUE(store.HasHeader());
    AreaStoreHeader header;
    ASSERT_TRUE(store.ReadHeader(header));
    EXPECT_EQ(header.HeaderSize, 12u);
    EXPECT_EQ(header.NextAreaId, 7u);
    EXPECT_EQ(store.GetAreaCount(), 0u);
    AreaRecord area;
    EXPECT_FALSE(store.FindArea(0, area));
    store.Close();

    // A writer opening a header-only store keeps its next id.
    ASSERT_TRUE(store.OpenForWriting(db));
    area = MakeArea("Seven");
    ASSERT_TRUE(store.AddArea(area));
    EXPECT_EQ(area.Id, 7u);
}

TEST(FileAreaStore, TrailingPartialRecordIsIgnored) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    WriteFile(dir / "filearea.dat", HeaderBytes(3) + AreaBytes(1, "One", "/o", "", "", 1) +
                                        AreaBytes(2, "Two", "/t", "", "", 1) +
                                        std::string(500, 'x'));
    {
        CFileAreaStore store;
        ASSERT_TRUE(store.OpenForReading(db));
        EXPECT_EQ(Ids(store), (std::vector<std::uint32_t>{1, 2}));
        AreaRecord area;
        EXPECT_FALSE(store.GetAreaAt(2, area));
    }
    // A writer appends in place of the partial record; the store is whole again.
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(db));
    AreaRecord area = MakeArea("Three");
    ASSERT_TRUE(store.AddArea(area));
    EXPECT_EQ(area.Id, 3u);
    EXPECT_EQ(std::filesystem::file_size(dir / "filearea.dat"), 4u * 868u);
    EXPECT_EQ(Ids(store), (std::vector<std::uint32_t>{1, 2, 3}));

    // A file shorter than one record has no header.
    store.Close();
    WriteFile(dir / "filearea.dat", std::string(867, '\x01'));
    ASSERT_TRUE(store.OpenForReading(db));
    EXPECT_FALSE(store.HasHeader());
    EXPECT_EQ(store.GetAreaCount(), 0u);
}

TEST(FileAreaStore, DamagedStoresAreRefusedWithTheirProblem) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    const std::string path = dir / "filearea.dat";
    const std::string one = AreaBytes(1, "One", "/o", "", "", 1);
    const std::string two = AreaBytes(2, "Two", "/t", "", "", 1);
    const std::string three = AreaBytes(3, "Three", "/3", "", "", 1);
    struct CCase {
        std::string bytes;
        std::string problem;
    };
    const std::vector<CCase> cases = {
        // Found by a binary search, area 2 would be lost without a word.
        {HeaderBytes(4) + one + three + two,
         path + " is damaged: its area ids are not in ascending order (record 3 has id 2 after "
                "3)"},
        {HeaderBytes(4) + one + one, "(record 2 has id 1 after 1)"},
        // A hole of zeros, as a file grown past its end reads.
        {HeaderBytes(4) + one + std::string(AREA_RECORD_SIZE, '\0') + two,
         "(record 2 has id 0 after 1)"},
    };
    for (const CCase& c : cases) {
        WriteFile(path, c.bytes);
        CFileAreaStore store;
        EXPECT_FALSE(store.OpenForReading(db));
        EXPECT_NE(store.GetProblem().find(c.problem), std::string::npos) << store.GetProblem();
        EXPECT_FALSE(store.IsOpen());
        EXPECT_FALSE(store.OpenForWriting(db));
        EXPECT_NE(store.GetProblem().find(c.problem), std::string::npos) << store.GetProblem();
        EXPECT_EQ(ReadFile(path), c.bytes); // left as it was
    }

    // A sparse file of 2 GiB would read as millions of areas.
    WriteFile(path, HeaderBytes(2) + one);
    std::filesystem::resize_file(path, 2ULL << 30);
    CFileAreaStore store;
    EXPECT_FALSE(store.OpenForReading(db));
    EXPECT_EQ(store.GetProblem(), path + " holds 2474058 area records, more than the 100000 a "
                                         "store may hold: it is damaged");

    // Once whole again it opens, and the problem is gone.
    WriteFile(path, HeaderBytes(4) + one + two + three);
    ASSERT_TRUE(store.OpenForReading(db));
    EXPECT_EQ(store.GetProblem(), "");
    EXPECT_EQ(Ids(store), (std::vector<std::uint32_t>{1, 2, 3}));
}

TEST(FileAreaStore, DamagedNextIdNeverHandsOutAnIdInUse) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    // The header claims 2 although area 5 exists.
    WriteFile(dir / "filearea.dat", HeaderBytes(2) + AreaBytes(1, "One", "", "", "", 0) +
                                        AreaBytes(5, "Five", "", "", "", 0));
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(db));
    AreaRecord area = MakeArea("New");
    ASSERT_TRUE(store.AddArea(area));
    EXPECT_EQ(area.Id, 6u);
    AreaStoreHeader header;
    ASSERT_TRUE(store.ReadHeader(header));
    EXPECT_EQ(header.NextAreaId, 7u);
    AreaRecord found;
    EXPECT_TRUE(store.FindArea(5, found));
    EXPECT_TRUE(store.FindArea(6, found));

    // No id is left to give once the next one would not fit.
    store.Close();
    WriteFile(dir / "filearea.dat", HeaderBytes(0xFFFFFFFF));
    ASSERT_TRUE(store.OpenForWriting(db));
    EXPECT_FALSE(store.AddArea(area));
    EXPECT_EQ(store.GetAreaCount(), 0u);
}

TEST(FileAreaStore, WriterAndReadersExcludeEachOtherAcrossProcesses) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    {
        CFileAreaStore setup;
        ASSERT_TRUE(setup.OpenForWriting(db));
        AreaRecord area = MakeArea("Shared");
        ASSERT_TRUE(setup.AddArea(area));
    }
    auto readAreas = [&] {
        CFileAreaStore reader;
        return reader.OpenForReading(db) && reader.GetAreaCount() == 1;
    };
    auto openWriter = [&] { return CFileAreaStore().OpenForWriting(db); };

    {
        CFileAreaStore setup;
        CChildHolder writer([&] { return setup.OpenForWriting(db); });
        ASSERT_TRUE(writer.Opened());
        EXPECT_FALSE(readAreas());
        EXPECT_FALSE(SucceedsInChild(readAreas));
        EXPECT_FALSE(openWriter());
    }
    {
        CFileAreaStore explorer;
        CChildHolder reader([&] { return explorer.OpenForReading(db); });
        ASSERT_TRUE(reader.Opened());
        EXPECT_FALSE(openWriter());
        EXPECT_TRUE(readAreas());
        EXPECT_TRUE(SucceedsInChild(readAreas));
        reader.Release();
        EXPECT_TRUE(openWriter());
    }
}

TEST(FileAreaStore, PathsJoinDirectoryAndName) {
    EXPECT_EQ(JoinPath("/var/db", "filearea.dat"), "/var/db/filearea.dat");
    EXPECT_EQ(JoinPath("/var/db/", "filearea.dat"), "/var/db/filearea.dat");
    EXPECT_EQ(JoinPath("", "filearea.dat"), "filearea.dat");
    EXPECT_EQ(JoinPath("/", "x"), "/x");
    EXPECT_EQ(GetFileAreaStorePath("db"), "db/filearea.dat");
}
