#include "TestSupport.h"
#include "Unzip.h"
#include "ZipTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>

using testsupport::CZipMember;
using testsupport::MakeZip;
using testsupport::ReadFile;

namespace {

class Dunzip : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(Out()); }
    std::filesystem::path Out() const { return m_dir.Path() / "work"; }
    std::string Zip(const std::vector<CZipMember>& members, const std::string& name = "a.zip") {
        const std::string path = m_dir / name;
        EXPECT_TRUE(MakeZip(path, members));
        return path;
    }
    int Extract(const std::string& archive, const char* members = "file_id.diz desc.sdi") {
        const std::string out = Out().string();
        unsigned char block[DUNZIP_BLOCK_SIZE];
        unzip::BuildExtractBlock(block, archive.c_str(), members, out.c_str());
        return dunzip(block);
    }
    std::set<std::string> Extracted() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Out())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    testsupport::CTempDir m_dir;
};

} // namespace

TEST_F(Dunzip, ExtractsOnlyTheNamedMembersByTheirExactNames) {
    const std::string diz = "Best tool\r\nof the year   \r\n";
    const std::string archive = Zip({{"readme.txt", "other", 0},
                                     {"docs/desc.sdi", "in a folder", 0},
                                     {"file_id.diz", diz, 0},
                                     {"DESC.SDI", "capitals", 0}});
    EXPECT_EQ(Extract(archive), 0);
    EXPECT_EQ(Extracted(), std::set<std::string>{"file_id.diz"});
    EXPECT_EQ(ReadFile(Out() / "file_id.diz"), diz);

    // The block as the programs fill it.
    unsigned char block[DUNZIP_BLOCK_SIZE];
    unzip::BuildExtractBlock(block, "a", "b", "c");
    std::uint32_t size = 0, operation = 0, overwrite = 0, quiet = 0;
    std::int32_t count = 0;
    std::memcpy(&size, block + 0, 4);
    std::memcpy(&operation, block + 4, 4);
    std::memcpy(&count, block + DUNZIP_OFFSET_COUNT, 4);
    std::memcpy(&overwrite, block + DUNZIP_OFFSET_OVERWRITE, 4);
    std::memcpy(&quiet, block + DUNZIP_OFFSET_QUIET, 4);
    EXPECT_EQ(size, 142u);
    EXPECT_EQ(operation, 8u);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(overwrite, 1u);
    EXPECT_EQ(quiet, 1u);
    EXPECT_LE(DUNZIP_OFFSET_QUIET + 4, DUNZIP_BLOCK_SIZE);
    if (sizeof(void*) == 4) {
        EXPECT_EQ(DUNZIP_OFFSET_MEMBERS, 16u);
        EXPECT_EQ(DUNZIP_OFFSET_COUNT, 20u);
        EXPECT_EQ(DUNZIP_OFFSET_OUTPUT, 24u);
        EXPECT_EQ(DUNZIP_OFFSET_OVERWRITE, 36u);
        EXPECT_EQ(DUNZIP_OFFSET_QUIET, 40u);
    }

    // Overwrite 1 replaces an earlier file; 0 keeps it.
    const std::string second = Zip({{"desc.sdi", "new", 0}}, "b.zip");
    testsupport::WriteFile(Out() / "desc.sdi", "old");
    EXPECT_EQ(Extract(second), 0);
    EXPECT_EQ(ReadFile(Out() / "desc.sdi"), "new");
    testsupport::WriteFile(Out() / "desc.sdi", "old");
    const std::string out = Out().string();
    unzip::BuildExtractBlock(block, second.c_str(), "desc.sdi", out.c_str());
    const std::uint32_t keep = 0;
    std::memcpy(block + DUNZIP_OFFSET_OVERWRITE, &keep, 4);
    EXPECT_EQ(dunzip(block), 0);
    EXPECT_EQ(ReadFile(Out() / "desc.sdi"), "old");
}

TEST_F(Dunzip, NothingLeavesTheOutputDirectoryAndNoBombIsUnpacked) {
    // Members that try to climb out, absolute ones, and one of 8 MiB that packs into kilobytes.
    const std::string archive = Zip({{"../x", "climbed", 0},
                                     {"/tmp/abs", "absolute", 0},
                                     {"file_id.diz", "", 8 * DUNZIP_MEMBER_LIMIT},
                                     {"desc.sdi", "small", 0}});
    EXPECT_LT(std::filesystem::file_size(archive), 100000u);
    EXPECT_EQ(Extract(archive, "../x /tmp/abs file_id.diz desc.sdi . .."), 0);
    EXPECT_EQ(Extracted(), std::set<std::string>{"desc.sdi"});
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "x"));
    EXPECT_FALSE(std::filesystem::exists("/tmp/abs") && ReadFile("/tmp/abs") == "absolute");

    // Exactly the limit is still extracted.
    const std::string limit = Zip({{"file_id.diz", "", DUNZIP_MEMBER_LIMIT}}, "limit.zip");
    EXPECT_EQ(Extract(limit), 0);
    EXPECT_EQ(std::filesystem::file_size(Out() / "file_id.diz"), DUNZIP_MEMBER_LIMIT);

    // A link planted in the output directory is replaced, not followed.
    std::filesystem::remove(Out() / "desc.sdi");
    testsupport::WriteFile(m_dir / "victim", "untouched");
    std::filesystem::create_symlink(m_dir / "victim", Out() / "desc.sdi");
    EXPECT_EQ(Extract(archive, "desc.sdi"), 0);
    EXPECT_EQ(ReadFile(m_dir / "victim"), "untouched");
    EXPECT_FALSE(std::filesystem::is_symlink(Out() / "desc.sdi"));
    EXPECT_EQ(ReadFile(Out() / "desc.sdi"), "small");
}

TEST_F(Dunzip, FailuresAreReportedByResult) {
    testsupport::WriteFile(m_dir / "fake.zip", "PK\x03\x04 but nothing more");
    EXPECT_EQ(Extract(m_dir / "fake.zip"), DUNZIP_NO_ARCHIVE);
    EXPECT_EQ(Extract(m_dir / "missing.zip"), DUNZIP_NO_ARCHIVE);

    const std::string archive = Zip({{"desc.sdi", "x", 0}});
    unsigned char block[DUNZIP_BLOCK_SIZE];
    const std::string missing = (m_dir / "no-such-dir");
    unzip::BuildExtractBlock(block, archive.c_str(), "desc.sdi", missing.c_str());
    EXPECT_EQ(dunzip(block), DUNZIP_NO_OUTPUT);

    const std::string out = Out().string();
    unzip::BuildExtractBlock(block, archive.c_str(), "desc.sdi", out.c_str());
    const std::uint32_t wrongSize = 140;
    std::memcpy(block, &wrongSize, 4);
    EXPECT_EQ(dunzip(block), DUNZIP_BAD_BLOCK);
    unzip::BuildExtractBlock(block, archive.c_str(), "desc.sdi", out.c_str());
    const std::uint32_t otherOperation = 7;
    std::memcpy(block + 4, &otherOperation, 4);
    EXPECT_EQ(dunzip(block), DUNZIP_BAD_BLOCK);
    unzip::BuildExtractBlock(block, archive.c_str(), nullptr, out.c_str());
    EXPECT_EQ(dunzip(block), DUNZIP_BAD_BLOCK);
    EXPECT_EQ(dunzip(nullptr), DUNZIP_BAD_BLOCK);
    EXPECT_TRUE(Extracted().empty());

    // A member that is absent is simply not there afterwards.
    EXPECT_EQ(Extract(archive, "file_id.diz"), 0);
    EXPECT_TRUE(Extracted().empty());
}
