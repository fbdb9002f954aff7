// A library configured from nothing with the setup commands alone, then generated: the
// settings, areas and groups come from `dorvale config`, `dorvale area` and `dorvale group`,
// a file from `dorvale add-file`, and sheetforge writes the site from them. Only what the
// installer writes (the installation directory, the registered Catalink, the data source)
// comes from the test's installation.

#include "FileAreaStore.h"
#include "RunTestSupport.h"
#include "SiteFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using testsupport::RunProgram;

TEST(SetupCommandsSite, FromNothingToAGeneratedSite) {
    runtest::CSite site(testsupport::EEngine::SQLite);
    ASSERT_TRUE(site.IsAvailable()) << site.why;
    const auto env = site.ChildEnvironment();
    const auto dorvale = [&env](std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::BuiltProgram("dorvale"));
        return RunProgram(args, env);
    };
    const std::string root = (site.Dir() / "fresh").string();
    auto result = dorvale({"config", "set", "DatabasePath", root + "/db", "HttpPath",
                           root + "/site", "HttpServer", "http://files.example.org/", "--yes"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    result = dorvale({"area", "add", "--name", "Shareware", "--path", root + "/files",
                      "--http-alias", "/shareware", "--yes"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    // No web server roots are known here: told, and the alias kept.
    EXPECT_EQ(result.out, "Warning: Could not retrieve path information for the specified HTTP "
                          "virtual root.\n1\n");
    ASSERT_EQ(dorvale({"area", "add", "--name", "Mirrors"}).exitCode, 0);
    ASSERT_EQ(dorvale({"group", "add", "Downloads", "--area", "1", "--area", "2"}).exitCode, 0);
    result = dorvale({"add-file", "--title", "Fresh Tool", "--area", "2", "--url",
                      "http://mirror.example.org/fresh.zip", "--email", "a@example.org"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    const auto generated = RunProgram({testsupport::BuiltProgram("sheetforge"), "--console"}, env);
    ASSERT_EQ(generated.exitCode, 0) << generated.err << site.Log();
    const auto tree = runtest::ReadTree(root + "/site");
    ASSERT_EQ(tree.count("index.asp"), 1u);
    EXPECT_THAT(tree.at("index.asp"), HasSubstr("Downloads"));
    EXPECT_EQ(tree.count("details/1.asp"), 1u);
    EXPECT_THAT(tree.at("details/1.asp"), HasSubstr("Fresh Tool"));
}
