#include "GroupFiles.h"
#include "RecordFile.h"

#include "StoreTestHelpers.h"
#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using storetest::U32;
using testsupport::CTempDir;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(GroupFiles, WriteStoresIdsInListOrderAsLittleEndianRecords) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    ASSERT_TRUE(WriteGroup(db, "Games", {3, 1, 0x01020304}));
    EXPECT_EQ(ReadFile(dir / "Games.group"), U32(3) + U32(1) + U32(0x01020304));
    std::vector<std::uint32_t> ids;
    ASSERT_TRUE(ReadGroup(db, "Games", ids));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{3, 1, 0x01020304}));

    // Writing again replaces the whole list, also with a shorter or empty one.
    ASSERT_TRUE(WriteGroup(db, "Games", {2}));
    EXPECT_EQ(ReadFile(dir / "Games.group"), U32(2));
    ASSERT_TRUE(WriteGroup(db, "Games", {}));
    EXPECT_EQ(ReadFile(dir / "Games.group"), "");
    ASSERT_TRUE(ReadGroup(db, "Games", ids));
    EXPECT_TRUE(ids.empty());
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(GroupFiles, RenameRemovesTheOldFile) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    ASSERT_TRUE(WriteGroup(db, "Old", {1, 2}));
    ASSERT_TRUE(WriteGroup(db, "New", {2, 5}, "Old"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Old.group"));
    EXPECT_EQ(ReadFile(dir / "New.group"), U32(2) + U32(5));
    EXPECT_EQ(EnumerateGroups(db), (std::vector<std::string>{"New"}));

    // The same name given as the old one is not a rename.
    ASSERT_TRUE(WriteGroup(db, "New", {7}, "New"));
    EXPECT_EQ(ReadFile(dir / "New.group"), U32(7));

    // When the new group cannot be written, the old one is kept.
    std::filesystem::create_directory(dir / "Blocked.group");
    EXPECT_FALSE(WriteGroup(db, "Blocked", {1}, "New"));
    EXPECT_EQ(ReadFile(dir / "New.group"), U32(7));
}

TEST(GroupFiles, EnumerateListsOnlyGroupFiles) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    WriteFile(dir / "Alpha.group", U32(1));
    WriteFile(dir / "Beta.group", "");
    WriteFile(dir / "two.dots.group", U32(1));
    WriteFile(dir / "filearea.dat", std::string(868, '\0'));
    WriteFile(dir / "notes.group.txt", "");
    WriteFile(dir / "Upper.GROUP", "");
    WriteFile(dir / ".group", "");
    std::filesystem::create_directory(dir / "Folder.group");
    EXPECT_EQ(Sorted(EnumerateGroups(db)), (std::vector<std::string>{"Alpha", "Beta", "two.dots"}));

    EXPECT_TRUE(EnumerateGroups(db + "/missing").empty());
}

TEST(GroupFiles, ReadIgnoresTrailingBytesAndDoesNotCreate) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    WriteFile(dir / "Odd.group", U32(4) + U32(9) + "\x01\x02\x03");
    std::vector<std::uint32_t> ids{99};
    ASSERT_TRUE(ReadGroup(db, "Odd", ids));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{4, 9}));

    WriteFile(dir / "Short.group", "\x01\x02");
    ASSERT_TRUE(ReadGroup(db, "Short", ids));
    EXPECT_TRUE(ids.empty());

    EXPECT_FALSE(ReadGroup(db, "Missing", ids));
    EXPECT_FALSE(std::filesystem::exists(dir / "Missing.group"));
}

TEST(GroupFiles, AFileOfMoreIdsThanAGroupMayHoldIsRefused) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    std::string most;
    for (std::size_t i = 0; i < MAX_GROUP_IDS; ++i) {
        most += U32(static_cast<std::uint32_t>(i % 7 + 1));
    }
    WriteFile(dir / "Most.group", most);
    WriteFile(dir / "Damaged.group", most + U32(1));
    std::vector<std::uint32_t> ids;
    std::string problem;
    ASSERT_TRUE(ReadGroup(db, "Most", ids, &problem));
    EXPECT_EQ(ids.size(), MAX_GROUP_IDS);
    EXPECT_TRUE(problem.empty());
    EXPECT_FALSE(ReadGroup(db, "Damaged", ids, &problem));
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(problem, (dir / "Damaged.group") + " holds 100001 ids, more than the " +
                           "100000 a group may hold: it is damaged");
    EXPECT_FALSE(ReadGroup(db, "Damaged", ids));
}

TEST(GroupFiles, DeleteAndUnsafeNames) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    ASSERT_TRUE(WriteGroup(db, "Gone", {1}));
    EXPECT_TRUE(DeleteGroup(db, "Gone"));
    EXPECT_FALSE(std::filesystem::exists(dir / "Gone.group"));
    EXPECT_TRUE(DeleteGroup(db, "Gone")); // nothing left of that name is fine

    // A name becomes a file name in the database directory; it may not leave it.
    std::filesystem::create_directory(dir / "sub");
    std::vector<std::uint32_t> ids;
    for (const std::string& bad :
         std::vector<std::string>{"", "../escape", "sub/inner", std::string("nul\0x", 5)}) {
        EXPECT_FALSE(IsValidGroupName(bad)) << bad;
        EXPECT_FALSE(WriteGroup(db + "/sub", bad, {1})) << bad;
        EXPECT_FALSE(ReadGroup(db, bad, ids)) << bad;
        EXPECT_FALSE(DeleteGroup(db, bad)) << bad;
    }
    EXPECT_FALSE(WriteGroup(db, "Good", {1}, "../escape"));
    EXPECT_FALSE(std::filesystem::exists(dir / "escape.group"));
    EXPECT_FALSE(std::filesystem::exists(dir / "sub/inner.group"));
    EXPECT_TRUE(IsValidGroupName("Games & Tools"));
}

TEST(GroupFiles, NamesNewGroupsAndAreasMayHave) {
    for (const std::string good : {"Games & Tools", "a.b", "body2", "Body", "Ünïcode", "x"}) {
        EXPECT_EQ(GetGroupNameProblem(good), "") << good;
        EXPECT_EQ(GetAreaNameProblem(good), "") << good;
    }
    EXPECT_EQ(GetGroupNameProblem(std::string(GROUP_NAME_MAX_BYTES, 'g')), "");
    EXPECT_EQ(GetGroupNameProblem(std::string(GROUP_NAME_MAX_BYTES + 1, 'g')),
              "A group name can be at most 249 bytes long.");
    for (const std::string own : {"body", "header", "~top"}) {
        EXPECT_EQ(GetGroupNameProblem(own),
                  "The name \"" + own +
                      "\" is used by the site's own pages and cannot name a group.");
    }
    EXPECT_EQ(GetAreaNameProblem("body"), ""); // areas' pages are named by id
    for (const std::string hidden : {".", "..", ".hidden"}) {
        EXPECT_EQ(GetGroupNameProblem(hidden), "A group name cannot begin with \".\".");
        EXPECT_EQ(GetAreaNameProblem(hidden), "A file area name cannot begin with \".\".");
    }
    for (const std::string& bad :
         {std::string("a/b"), std::string("nul\0x", 5), std::string("line\nbreak"),
          std::string("tab\t"), std::string("del\x7f")}) {
        EXPECT_EQ(GetGroupNameProblem(bad),
                  "A group name cannot contain \"/\" or control characters.")
            << bad;
        EXPECT_NE(GetAreaNameProblem(bad), "") << bad;
    }
    EXPECT_EQ(GetGroupNameProblem(""), "A group name cannot be empty.");
}

TEST(GroupFiles, ReadWhileWriterHoldsIsRefused) {
    CTempDir dir;
    const std::string db = dir.Path().string();
    ASSERT_TRUE(WriteGroup(db, "G", {1}));
    RecordFile writer(GROUP_RECORD_SIZE, true);
    ASSERT_TRUE(writer.Open(GetGroupFilePath(db, "G")));
    std::vector<std::uint32_t> ids;
    EXPECT_FALSE(ReadGroup(db, "G", ids));
    writer.Close();
    EXPECT_TRUE(ReadGroup(db, "G", ids));
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1}));
}

TEST(GroupFiles, EmptyDirectoryMeansCurrentDirectory) {
    CTempDir dir;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const bool written = WriteGroup("", "Here", {8});
    const std::vector<std::string> names = EnumerateGroups("");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(written);
    EXPECT_EQ(ReadFile(dir / "Here.group"), U32(8));
    EXPECT_EQ(names, (std::vector<std::string>{"Here"}));
}
