// A seeded library is one the generator can write a whole site from.

#include "FileAreaStore.h"
#include "RunTestSupport.h"
#include "SiteFixture.h"

#include <gtest/gtest.h>

using testsupport::RunProgram;

TEST(DorvaleSeed, TheGeneratorWritesTheSiteOfASeededLibrary) {
    runtest::CSite site(testsupport::EEngine::SQLite);
    ASSERT_TRUE(site.IsAvailable()) << site.why;
    const auto seeded =
        RunProgram({testsupport::BuiltProgram("dorvale-seed"), "--dir", site.Dir().string(),
                    "--files", "30", "--areas", "6", "--groups", "2", "--local-areas", "2"},
                   site.ChildEnvironment());
    ASSERT_EQ(seeded.exitCode, 0) << seeded.err;

    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForReading((site.Dir() / "db").string()));
    ASSERT_EQ(store.GetAreaCount(), 6u);
    store.Close();

    const auto generated =
        RunProgram({testsupport::BuiltProgram("sheetforge"), "--console"}, site.ChildEnvironment());
    ASSERT_EQ(generated.exitCode, 0) << generated.err << site.Log();
    const auto tree = runtest::ReadTree(site.SitePath());
    for (int id = 1; id <= 30; ++id) {
        EXPECT_EQ(tree.count("details/" + std::to_string(id) + ".asp"), 1u) << id;
        EXPECT_EQ(tree.count("download/" + std::to_string(id) + ".asp"), 1u) << id;
    }
    EXPECT_EQ(tree.count("areas/Utilities.asp"), 1u);
    EXPECT_EQ(tree.count("areas/Games.asp"), 1u);
    const std::string index = tree.at("index.asp");
    EXPECT_NE(index.find("Utilities"), std::string::npos) << index;
    EXPECT_NE(index.find("Games"), std::string::npos) << index;
}
