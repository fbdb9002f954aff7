#include "Registry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using testsupport::BuiltProgram;
using testsupport::CProgramResult;
using testsupport::CTempDir;
using testsupport::ReadFile;
using testsupport::RunProgram;
using testsupport::WriteFile;

namespace {

const std::string SETTINGS = "HKLM\\Software\\Halvren Software\\Quenwick\\Dorvale";

class DorvaleRegTest : public ::testing::Test {
protected:
    CProgramResult Reg(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.begin(), BuiltProgram("dorvale-reg"));
        return RunProgram(args, {"DORVALE_REGISTRY=" + m_dir.Path().string()}, input);
    }
    std::string Hive(const char* root) const { return m_dir / (std::string(root) + ".reg"); }

    // One line on stderr, naming the program.
    static void ExpectOneLineError(const CProgramResult& r, int status, const std::string& words) {
        EXPECT_EQ(r.exitCode, status) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(r.err.starts_with("dorvale-reg: ")) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
    }

    CTempDir m_dir;
};

} // namespace

TEST_F(DorvaleRegTest, SetStoresEachTypeAndQueryPrintsNameTypeAndData) {
    struct CCase {
        std::vector<std::string> set;
        std::string line;
    };
    const CCase cases[] = {
        {{"DatabasePath", "REG_SZ", "/srv/dorvale/db"}, "DatabasePath\tREG_SZ\t/srv/dorvale/db\n"},
        {{"VirusChecker", "REG_EXPAND_SZ", "$HOME/scan"},
         "VirusChecker\tREG_EXPAND_SZ\t$HOME/scan\n"},
        {{"AllowUploads", "REG_DWORD", "3"}, "AllowUploads\tREG_DWORD\t0x00000003 (3)\n"},
        {{"FreeSpaceThreshold", "dword", "0x500000"},
         "FreeSpaceThreshold\tREG_DWORD\t0x00500000 (5242880)\n"},
        {{"Max", "REG_DWORD", "4294967295"}, "Max\tREG_DWORD\t0xffffffff (4294967295)\n"},
        {{"Blob", "REG_BINARY", "00,ff 10:7A"}, "Blob\tREG_BINARY\t00ff107a\n"},
        {{"Nothing", "binary", ""}, "Nothing\tREG_BINARY\t\n"},
        {{"List", "REG_MULTI_SZ", "one", "two words"}, "List\tREG_MULTI_SZ\tone\\0two words\n"},
        {{"", "REG_SZ", "the default"}, "(Default)\tREG_SZ\tthe default\n"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"set", SETTINGS};
        args.insert(args.end(), c.set.begin(), c.set.end());
        const auto set = Reg(args);
        EXPECT_EQ(set.exitCode, 0) << set.err;
        EXPECT_EQ(set.err, "");
        const auto query = Reg({"query", SETTINGS, c.set[0]});
        EXPECT_EQ(query.exitCode, 0) << query.err;
        EXPECT_EQ(query.out, c.line);
    }

    // The stored types are what the library reads.
    setenv("DORVALE_REGISTRY", m_dir.Path().c_str(), 1);
    CRegKey key;
    ASSERT_EQ(
        key.Open(HKEY_LOCAL_MACHINE, "SOFTWARE\\Halvren Software\\Quenwick\\Dorvale", KEY_READ),
        ERROR_SUCCESS);
    DWORD number = 0;
    EXPECT_EQ(key.QueryDWORDValue("freespacethreshold", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 5u << 20);
    DWORD type = 0;
    ULONG size = 0;
    EXPECT_EQ(key.QueryValue("VirusChecker", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(key.QueryValue("List", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 15u); // "one\0two words\0\0"
    unsetenv("DORVALE_REGISTRY");

    // The whole key: its name, each value indented, then its subkeys; roots in any spelling.
    ASSERT_EQ(Reg({"set", SETTINGS + "\\Sub", "x", "REG_SZ", "y"}).exitCode, 0);
    const auto whole = Reg({"query", "hkey_local_machine\\software\\halvren software\\quenwick\\"
                                     "dorvale"});
    EXPECT_EQ(whole.exitCode, 0);
    EXPECT_TRUE(
        whole.out.starts_with("HKEY_LOCAL_MACHINE\\software\\halvren software\\quenwick\\dorvale\n"
                              "    DatabasePath\tREG_SZ\t/srv/dorvale/db\n"))
        << whole.out;
    EXPECT_NE(whole.out.find("    AllowUploads\tREG_DWORD\t0x00000003 (3)\n"), std::string::npos);
    EXPECT_TRUE(whole.out.ends_with("    (Default)\tREG_SZ\tthe default\n"
                                    "HKEY_LOCAL_MACHINE\\software\\halvren software\\quenwick\\"
                                    "dorvale\\Sub\n"))
        << whole.out;
}

TEST_F(DorvaleRegTest, MissingKeysAndValuesExitOneAndDeleteRemovesThem) {
    ExpectOneLineError(Reg({"query", "HKCU\\Nope"}), 1, "key HKEY_CURRENT_USER\\Nope not found");
    ASSERT_EQ(Reg({"set", "HKCU\\K\\Deep", "v", "REG_SZ", "x"}).exitCode, 0);
    ASSERT_EQ(Reg({"set", "HKCU\\K", "w", "REG_SZ", "x"}).exitCode, 0);
    ExpectOneLineError(Reg({"query", "HKCU\\K", "nope"}), 1, "value \"nope\"");
    ExpectOneLineError(Reg({"delete", "HKCU\\K", "nope"}), 1, "not found");
    ExpectOneLineError(Reg({"delete", "HKCU\\Gone"}), 1, "not found");
    ExpectOneLineError(Reg({"delete", "HKCU\\Gone", "v"}), 1, "not found");
    ExpectOneLineError(Reg({"export", "HKCR\\Gone"}), 1, "not found");

    EXPECT_EQ(Reg({"delete", "HKCU\\K", "W"}).exitCode, 0);
    ExpectOneLineError(Reg({"query", "HKCU\\K", "w"}), 1, "not found");
    EXPECT_EQ(Reg({"query", "HKCU\\K\\Deep", "v"}).exitCode, 0);
    // Deleting a key takes everything below it.
    EXPECT_EQ(Reg({"delete", "HKEY_CURRENT_USER\\k"}).exitCode, 0);
    ExpectOneLineError(Reg({"query", "HKCU\\K\\Deep"}), 1, "not found");
}

TEST_F(DorvaleRegTest, BadUsageExitsTwoWithOneLine) {
    ExpectOneLineError(Reg({}), 2, "no command");
    ExpectOneLineError(Reg({"frobnicate"}), 2, "unknown command \"frobnicate\"");
    ExpectOneLineError(Reg({"query"}), 2, "query takes KEY [NAME]");
    ExpectOneLineError(Reg({"query", "HKU\\x"}), 2, "unknown root \"HKU\"");
    ExpectOneLineError(Reg({"query", "Software\\x"}), 2, "unknown root");
    ExpectOneLineError(Reg({"query", "HKLM\\a\\\\b"}), 2, "bad key name");
    ExpectOneLineError(Reg({"set", "HKLM\\a", "v"}), 2, "set takes");
    ExpectOneLineError(Reg({"set", "HKLM\\a", "v", "REG_LINK", "x"}), 2, "unknown type");
    ExpectOneLineError(Reg({"set", "HKLM\\a", "v", "REG_SZ"}), 2, "exactly one DATA");
    ExpectOneLineError(Reg({"set", "HKLM\\a", "v", "REG_SZ", "a", "b"}), 2, "exactly one DATA");
    for (const char* bad : {"-1", "4294967296", "12x", "0x", "0x1FFFFFFFF", "", " 1"}) {
        ExpectOneLineError(Reg({"set", "HKLM\\a", "v", "REG_DWORD", bad}), 2, "bad REG_DWORD");
    }
    ExpectOneLineError(Reg({"set", "HKLM\\a", "v", "REG_BINARY", "abc"}), 2, "bad REG_BINARY");
    ExpectOneLineError(Reg({"set", "HKLM\\a", "v", "REG_BINARY", "zz"}), 2, "bad REG_BINARY");
    ExpectOneLineError(Reg({"set", "HKLM\\a", "v", "REG_MULTI_SZ", "a", ""}), 2, "cannot be empty");
    ExpectOneLineError(Reg({"set", "HKLM\\a", "two\nlines", "REG_SZ", "x"}), 2, "bad value name");
    ExpectOneLineError(Reg({"delete", "HKLM"}), 2, "root key cannot be deleted");
    ExpectOneLineError(Reg({"export"}), 2, "export takes KEY");
    ExpectOneLineError(Reg({"import", (m_dir / "missing.reg")}), 2, "cannot read");
    // Nothing of that reached a hive.
    EXPECT_FALSE(std::filesystem::exists(Hive("HKEY_LOCAL_MACHINE")));

    const auto help = Reg({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: dorvale-reg COMMAND"), std::string::npos);
    EXPECT_NE(help.out.find("Examples:"), std::string::npos);
    EXPECT_NE(help.out.find("dorvale-reg import settings.reg"), std::string::npos);
    EXPECT_EQ(Reg({"set", "--help"}).out, help.out);
}

TEST_F(DorvaleRegTest, AHiveThatCannotBeParsedIsReportedWithFileAndLineAndLeftAlone) {
    const std::string bad = "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\.htm]\n@=\"htmlfile\"\noops\n";
    WriteFile(Hive("HKEY_CLASSES_ROOT"), bad);
    const std::string where = Hive("HKEY_CLASSES_ROOT") + ":5: ";
    ExpectOneLineError(Reg({"query", "HKCR\\.htm"}), 2, where);
    ExpectOneLineError(Reg({"query", "HKCR\\.htm", ""}), 2, where);
    ExpectOneLineError(Reg({"set", "HKCR\\.htm", "", "REG_SZ", "x"}), 2, where);
    ExpectOneLineError(Reg({"delete", "HKCR\\.htm"}), 2, where);
    ExpectOneLineError(Reg({"export", "HKCR"}), 2, where);
    EXPECT_EQ(ReadFile(Hive("HKEY_CLASSES_ROOT")), bad);
    // Other hives are not held up by it.
    EXPECT_EQ(Reg({"set", "HKLM\\x", "v", "REG_SZ", "y"}).exitCode, 0);
}

TEST_F(DorvaleRegTest, ExportThenImportCarriesAKeyToAnotherRegistry) {
    ASSERT_EQ(Reg({"set", SETTINGS, "DatabasePath", "REG_SZ", "C:\\quoted \"path\""}).exitCode, 0);
    ASSERT_EQ(Reg({"set", SETTINGS, "AllowUploads", "REG_DWORD", "2"}).exitCode, 0);
    ASSERT_EQ(Reg({"set", SETTINGS + "\\Explorer", "Column0", "REG_DWORD", "120"}).exitCode, 0);
    const auto exported = Reg({"export", "HKLM\\Software\\Halvren Software"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    EXPECT_EQ(exported.out,
              "REGEDIT4\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Halvren Software]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Halvren Software\\Quenwick]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Halvren Software\\Quenwick\\Dorvale]\n"
              "\"DatabasePath\"=\"C:\\\\quoted \\\"path\\\"\"\n"
              "\"AllowUploads\"=dword:00000002\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Halvren Software\\Quenwick\\Dorvale\\Explorer]\n"
              "\"Column0\"=dword:00000078\n\n");
    const std::string file = m_dir / "settings.reg";
    WriteFile(file, exported.out);

    CTempDir other;
    const auto import = RunProgram({BuiltProgram("dorvale-reg"), "import", file},
                                   {"DORVALE_REGISTRY=" + other.Path().string()});
    EXPECT_EQ(import.exitCode, 0) << import.err;
    EXPECT_EQ(import.out + import.err, "");
    const auto again =
        RunProgram({BuiltProgram("dorvale-reg"), "export", "HKLM\\Software\\Halvren Software"},
                   {"DORVALE_REGISTRY=" + other.Path().string()});
    EXPECT_EQ(again.out, exported.out);

    // From standard input, with deletions.
    const std::string explorer =
        "HKEY_LOCAL_MACHINE\\Software\\Halvren Software\\Quenwick\\Dorvale\\Explorer";
    const auto fromStdin = Reg({"import", "-"}, "REGEDIT4\n\n[-" + explorer + "]\n");
    EXPECT_EQ(fromStdin.exitCode, 0) << fromStdin.err;
    ExpectOneLineError(Reg({"query", SETTINGS + "\\Explorer"}), 1, "not found");

    // A file with a fault is refused whole, naming its line.
    const std::string bad = m_dir / "bad.reg";
    WriteFile(bad, "REGEDIT4\n\n[HKCU\\Fresh]\n\"a\"=\"b\"\n\"c\"=dword:1234567890\n");
    ExpectOneLineError(Reg({"import", bad}), 2, bad + ":5: dword: needs 1 to 8 hexadecimal");
    ExpectOneLineError(Reg({"query", "HKCU\\Fresh"}), 1, "not found");
    ExpectOneLineError(Reg({"import", "-"}, "not a registry file\n"), 2,
                       "(standard input):1: the first line must be REGEDIT4");
}
