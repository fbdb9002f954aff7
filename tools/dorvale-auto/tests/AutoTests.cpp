// dorvale-auto against the registered Catalink and QTRWeb libraries.

#include "AutoExpression.h"
#include "ComTestSupport.h"
#include "ScriptedSmtpServer.h"
#include "Settings.h"

#include <gtest/gtest.h>

#include <unistd.h>

using comtest::CComTestEnvironment;
using testsupport::BuiltProgram;
using testsupport::CProgramResult;
using testsupport::RunProgram;
using testsupport::WriteFile;

namespace {

std::string U32(std::uint32_t v) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return bytes;
}

std::string Area(std::uint32_t id, const std::string& name, std::uint32_t flags) {
    std::string record = U32(id) + name;
    record.resize(864, '\0');
    return record + U32(flags);
}

class DorvaleAuto : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* library : {CATALINK_LIBRARY, QTRWEB_LIBRARY}) {
            const auto r =
                RunProgram({BuiltProgram("dorvale-regsvr"), "-s", library}, {m_env.RegistryEnv()});
            ASSERT_EQ(r.exitCode, 0) << r.err;
        }
        const auto db = m_env.Dir() / "db";
        std::filesystem::create_directories(db);
        std::string header = U32(12) + U32(0) + U32(5);
        header.resize(868, '\0');
        WriteFile(db / "filearea.dat", header + Area(1, "Games", 3) + Area(3, "Utilities", 1) +
                                           Area(4, "Say \"hi\"", 0));
        WriteFile(db / "Games.group", U32(4) + U32(9) + U32(1));
        ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey,
                                      settings::DatabasePath, db.c_str()));
        ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey,
                                      settings::HttpServer, "http://files.example.org"));
    }

    CProgramResult Auto(const std::vector<std::string>& args) {
        std::vector<std::string> argv{BuiltProgram("dorvale-auto")};
        argv.insert(argv.end(), args.begin(), args.end());
        return RunProgram(argv, {m_env.RegistryEnv()});
    }

    CComTestEnvironment m_env;
};

} // namespace

TEST(AutoExpression, ParsesMemberPathsAndSaysWhereTheyGoWrong) {
    std::vector<autohost::CMemberCall> path;
    std::string error;
    ASSERT_TRUE(
        autohost::ParseMemberPath(" Find( \"Ga\"\"mes\" , -12,true ) . Count ", path, error))
        << error;
    ASSERT_EQ(path.size(), 2u);
    EXPECT_EQ(path[0].name, "Find");
    ASSERT_EQ(path[0].arguments.size(), 3u);
    EXPECT_EQ(std::get<std::string>(path[0].arguments[0]), "Ga\"mes");
    EXPECT_EQ(std::get<long long>(path[0].arguments[1]), -12);
    EXPECT_TRUE(std::get<autohost::CBoolean>(path[0].arguments[2]).value);
    EXPECT_EQ(path[1].name, "Count");
    EXPECT_FALSE(path[1].hasParentheses);
    EXPECT_EQ(autohost::FormatMemberCall(path[0]), "Find(\"Ga\"\"mes\",-12,True)");

    ASSERT_TRUE(autohost::ParseMemberPath("Refresh()", path, error));
    EXPECT_TRUE(path[0].hasParentheses);
    EXPECT_TRUE(path[0].arguments.empty());

    const std::pair<const char*, const char*> bad[] = {
        {"", "the expression is empty at character 1"},
        {"Item(2", "',' or ')' was expected at character 7"},
        {"Item(2).", "a member name was expected at character 9"},
        {"Find(\"Games)", "the text has no closing '\"' at character 13"},
        {"Item(2x)", "a number was expected at character 7"},
        {"Item(Games)",
         "an argument (\"text\", a number, True or False) was expected at character 6"},
        {"Count Name", "'.' or the end was expected at character 7"},
        {"2.Name", "a member name was expected at character 1"},
        {"Item(99999999999999999999)", "the number is too large at character 6"},
        {"Item(-)", "a number was expected at character 6"},
    };
    for (const auto& [text, message] : bad) {
        EXPECT_FALSE(autohost::ParseMemberPath(text, path, error)) << text;
        EXPECT_EQ(error, message) << text;
    }
}

TEST(AutoExpression, SeveralPathsAreSeparatedBySemicolonsOutsideTexts) {
    std::vector<std::vector<autohost::CMemberCall>> paths;
    std::string error;
    ASSERT_TRUE(autohost::ParseMemberPaths("AddFileArea(\"a;b\", \"in\") ; Areas;Item(1).Name",
                                           paths, error))
        << error;
    ASSERT_EQ(paths.size(), 3u);
    EXPECT_EQ(std::get<std::string>(paths[0][0].arguments[0]), "a;b");
    EXPECT_EQ(paths[1][0].name, "Areas");
    EXPECT_EQ(paths[2].size(), 2u);
    EXPECT_FALSE(autohost::ParseMemberPaths("Areas;", paths, error));
    EXPECT_EQ(error, "the expression is empty at character 7");
    EXPECT_FALSE(autohost::ParseMemberPaths("Count Name", paths, error));
    EXPECT_EQ(error, "'.', ';' or the end was expected at character 7");
    // A single path still ends at the end only.
    std::vector<autohost::CMemberCall> path;
    EXPECT_FALSE(autohost::ParseMemberPath("Areas;Count", path, error));
}

TEST_F(DorvaleAuto, PrintsNumbersTextAndBooleansOfCatalinkObjects) {
    auto r = Auto({"Catalink.AreaCollection", "Count"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "3\n");
    r = Auto({"Catalink.AreaCollection", "Item(2).Name"});
    EXPECT_EQ(r.out, "Utilities\n");
    r = Auto({"Catalink.AreaCollection", "FindId(4).Name"});
    EXPECT_EQ(r.out, "Say \"hi\"\n");
    r = Auto({"Catalink.AreaCollection", "item(1).uploadable"});
    EXPECT_EQ(r.out, "-1\n");
    r = Auto({"Catalink.AreaCollection.1", "Item(2).Uploadable"});
    EXPECT_EQ(r.out, "0\n");
    r = Auto({"Catalink.GroupCollection", "Find(\"Games\").Count"});
    EXPECT_EQ(r.out, "2\n");
    r = Auto({"Catalink.GroupCollection", "Find(\"Games\").Item(1).Id"});
    EXPECT_EQ(r.out, "4\n");
    r = Auto({"Catalink.Config", "HttpServer"});
    EXPECT_EQ(r.out, "http://files.example.org\n");
    // An empty text prints an empty line.
    r = Auto({"Catalink.Config", "FtpServer"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "\n");
    // The class may be named by its id.
    r = Auto({"{1686F37F-4FBD-4F9E-B5AA-A84D4E3884E0}", "Count"});
    EXPECT_EQ(r.out, "3\n");
    // Text that is a number is taken as one where a number is wanted.
    r = Auto({"Catalink.AreaCollection", "Item(\"3\").Id"});
    EXPECT_EQ(r.out, "4\n");
}

TEST_F(DorvaleAuto, FailuresPrintTheirCodeAndDescription) {
    auto r = Auto({"Catalink.AreaCollection", "Item(9).Name"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "dorvale-auto: Item(9): 0x80070057: The parameter is incorrect.\n");
    r = Auto({"Catalink.GroupCollection", "Find(\"games\")"});
    EXPECT_EQ(r.err, "dorvale-auto: Find(\"games\"): 0x80070057: The parameter is incorrect.\n");
    r = Auto({"Catalink.AreaCollection", "Colour"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "dorvale-auto: Colour: 0x80020006: Unknown name.\n");
    r = Auto({"Catalink.AreaCollection", "Item(1,2)"});
    EXPECT_EQ(r.err, "dorvale-auto: Item(1,2): 0x8002000E: Invalid number of parameters.\n");
    r = Auto({"Catalink.AreaCollection", "Item(\"two\")"});
    EXPECT_EQ(r.err, "dorvale-auto: Item(\"two\"): 0x80020005: Type mismatch. (argument 1)\n");
    r = Auto({"Catalink.Nothing", "Count"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "dorvale-auto: Catalink.Nothing: 0x800401F3: Invalid class string\n");
    r = Auto({"{00000000-0000-0000-0000-000000000001}", "Count"});
    EXPECT_EQ(r.err, "dorvale-auto: {00000000-0000-0000-0000-000000000001}: 0x80040154: Class not "
                     "registered\n");
    r = Auto({"Catalink.AreaCollection", "Count.Name"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "dorvale-auto: Count is not an object, so it has no member Name\n");
    r = Auto({"Catalink.AreaCollection", "Item(1)"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "dorvale-auto: Item(1) is an object: name one of its members to print\n");
}

TEST_F(DorvaleAuto, SendsMailAndReportsTheMailComponentsErrors) {
    auto r = Auto({"QTRWeb.SendMail", R"(SendMail("a@example.org","b@example.org","Hi","Body"))"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "dorvale-auto: SendMail(\"a@example.org\",\"b@example.org\",\"Hi\",\"Body\"): "
                     "0x80020009: Unable to read mail server from registry.\n");

    mailtest::CScriptedSmtpServer server(mailtest::CScript{});
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SendMailKey, settings::SMTPServer,
                                  server.Address().c_str()));
    r = Auto({"QTRWeb.SendMail", R"(SendMail("a@example.org","b@example.org","Hi","Body"))"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "-1\n");
    EXPECT_NE(server.Transcript().find("\r\n\r\nBody\r\n.\r\nQUIT\r\n"), std::string::npos);

    // A fifth argument would have to be a variable for the result.
    r = Auto({"QTRWeb.SendMail", R"(SendMail("a@example.org","b@example.org","Hi","Body", 1))"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(": 0x80020005: Type mismatch. (argument 5)\n"), std::string::npos)
        << r.err;
    r = Auto({"QTRWeb.SendMail", R"(SendMail("a","b","c","d","e","f"))"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(": 0x8002000E: Invalid number of parameters.\n"), std::string::npos)
        << r.err;
}

TEST_F(DorvaleAuto, BadUsageExitsWith2AndHelpExplains) {
    for (const auto& args : std::vector<std::vector<std::string>>{{},
                                                                  {"Catalink.Config"},
                                                                  {"a", "b", "c"},
                                                                  {"-x", "a", "b"},
                                                                  {"Catalink.Config", "Item("}}) {
        const auto r = Auto(args);
        EXPECT_EQ(r.exitCode, 2) << args.size();
        EXPECT_NE(r.err.find("usage: dorvale-auto PROGID EXPRESSION"), std::string::npos);
    }
    auto r = Auto({"Catalink.Config", "Item("});
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "dorvale-auto: cannot read the expression: an argument (\"text\", a number, True or "
              "False) was expected at character 6");
    r = Auto({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("Booleans as -1 (true) and 0 (false)"), std::string::npos);
}
