// The profile-file reader and writer: what it changes, and that it leaves every other line,
// and the file's line endings, exactly as they were.

#include "IniFile.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::ElementsAre;
using ::testing::Pair;

namespace {

TEST(IniFileTest, ReadsSectionsAndKeepsWhatItDoesNotChange) {
    inifile::CIniFile file;
    const std::string text = "; written by hand\r\n"
                             "[ODBC Remove]\r\n"
                             "DataSource1 = SQLite3 ; Dorvale \r\n"
                             "garbage line without equals\r\n"
                             "\r\n"
                             "[Other]\r\n"
                             "Key=\"quoted value\"\r\n"
                             "Command=\"/usr/bin/prog\" -u \"lib.so\"\r\n"
                             "[odbc remove]\r\n"
                             "Late=ignored, the first section of a name is the one\r\n";
    file.Parse(text);
    EXPECT_EQ(file.Text(), text);
    EXPECT_THAT(file.Section("odbc REMOVE"), ElementsAre(Pair("DataSource1", "SQLite3 ; Dorvale")));
    std::string value;
    EXPECT_TRUE(file.Get("other", "KEY", value));
    EXPECT_EQ(value, "quoted value");
    EXPECT_TRUE(file.Get("other", "command", value));
    EXPECT_EQ(value, "\"/usr/bin/prog\" -u \"lib.so\"");
    EXPECT_FALSE(file.Get("Other", "Missing", value));
    EXPECT_TRUE(file.Section("Absent").empty());

    // A changed value stays where it was; a new key goes after the section's last entry, so
    // the blank line before the next section stays there; CRLF as the file has it.
    file.Set("ODBC REMOVE", "datasource1", "x;y");
    file.Set("ODBC Remove", "DataSource2", "z");
    file.Set("New Section", "A", "1");
    EXPECT_EQ(file.Text(), "; written by hand\r\n"
                           "[ODBC Remove]\r\n"
                           "datasource1=x;y\r\n"
                           "DataSource2=z\r\n"
                           "garbage line without equals\r\n"
                           "\r\n"
                           "[Other]\r\n"
                           "Key=\"quoted value\"\r\n"
                           "Command=\"/usr/bin/prog\" -u \"lib.so\"\r\n"
                           "[odbc remove]\r\n"
                           "Late=ignored, the first section of a name is the one\r\n"
                           "[New Section]\r\n"
                           "A=1\r\n");
    EXPECT_TRUE(file.Remove("other", "key"));
    EXPECT_FALSE(file.Remove("other", "key"));
    EXPECT_THAT(file.Section("Other"),
                ElementsAre(Pair("Command", "\"/usr/bin/prog\" -u \"lib.so\"")));
}

TEST(IniFileTest, WritesWholeFilesAndStartsMissingOnes) {
    testsupport::CTempDir dir;
    const std::string path = dir / "_UNINST.INI";
    std::string error;
    inifile::CIniFile file;
    ASSERT_TRUE(file.Load(path, error));
    EXPECT_FALSE(file.Exists());

    ASSERT_TRUE(inifile::WriteEntry(path, "Service Remove", "DorvaleIndex", "NTSERVICE", error));
    // A last line without its line ending gets one before anything is added after it.
    testsupport::WriteFile(path, testsupport::ReadFile(path) + "; note");
    ASSERT_TRUE(inifile::WriteEntry(path, "Service Remove", "Other", "NTSERVICE", error));
    EXPECT_EQ(testsupport::ReadFile(path),
              "[Service Remove]\nDorvaleIndex=NTSERVICE\nOther=NTSERVICE\n; note\n");

    const std::string blocked = dir / "missing-dir/_UNINST.INI";
    EXPECT_FALSE(inifile::WriteEntry(blocked, "A", "B", "C", error));
    EXPECT_NE(error.find("missing-dir"), std::string::npos) << error;
}

} // namespace
