#include "RegText.h"

#include <gtest/gtest.h>

using namespace regtext;

namespace {

std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

std::string Text(const std::string& s) {
    return s + std::string(1, '\0');
}

// Parses a hive text and builds its tree, failing the test on a parse error.
std::unique_ptr<CKey> Load(const std::string& text, ERoot root = ERoot::LocalMachine) {
    std::vector<CEntry> entries;
    CParseError error;
    EXPECT_TRUE(ParseRegText(text, true, entries, error))
        << "line " << error.line << ": " << error.message;
    auto key = std::make_unique<CKey>(RootName(root));
    ApplyEntries(*key, root, entries);
    return key;
}

CParseError ParseFailure(const std::string& text) {
    std::vector<CEntry> entries;
    CParseError error;
    EXPECT_FALSE(ParseRegText(text, false, entries, error)) << text;
    return error;
}

void ExpectSameTree(const CKey& a, const CKey& b) {
    EXPECT_EQ(a.Name(), b.Name());
    ASSERT_EQ(a.Values().size(), b.Values().size()) << a.Name();
    for (std::size_t i = 0; i < a.Values().size(); ++i) {
        EXPECT_EQ(a.Values()[i].name, b.Values()[i].name);
        EXPECT_EQ(a.Values()[i].type, b.Values()[i].type) << a.Values()[i].name;
        EXPECT_EQ(a.Values()[i].data, b.Values()[i].data) << a.Values()[i].name;
    }
    ASSERT_EQ(a.Subkeys().size(), b.Subkeys().size()) << a.Name();
    auto ib = b.Subkeys().begin();
    for (const auto& [folded, sub] : a.Subkeys()) {
        ExpectSameTree(*sub, *ib->second);
        ++ib;
    }
}

} // namespace

TEST(RegText, EveryTypeIsWrittenInItsRegedit4FormAndReadBackByteForByte) {
    CKey root(RootName(ERoot::LocalMachine));
    CKey& key = root.CreateSubkey("Software").CreateSubkey("Halvren Software");
    key.SetValue("", REG_SZ, Text("default"));
    key.SetValue("Path", REG_SZ, Text("C:\\dir \"quoted\""));
    key.SetValue("Na\"me\\", REG_SZ, Text("x"));
    key.SetValue("Empty", REG_SZ, Text(""));
    key.SetValue("Expand", REG_EXPAND_SZ, Text("%HOME%/x"));
    key.SetValue("Count", REG_DWORD, Bytes({0x0a, 0, 0, 0x80}));
    key.SetValue("Blob", REG_BINARY, Bytes({0x00, 0xff, 0x10}));
    key.SetValue("NoBytes", REG_BINARY, "");
    key.SetValue("List", REG_MULTI_SZ, std::string("a\0bc\0\0", 6));
    key.SetValue("Quad", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    key.SetValue("None", REG_NONE, "");
    // Forms that cannot be written as "text" or dword: keep their exact bytes.
    key.SetValue("TwoLines", REG_SZ, Text("one\ntwo"));
    key.SetValue("NoNul", REG_SZ, "abc");
    key.SetValue("Short", REG_DWORD, Bytes({1, 2, 3}));
    key.SetValue("Utf8", REG_SZ, Text("Gr\xC3\xBC\xC3\x9F"));
    root.CreateSubkey("Software").CreateSubkey("Empty Key");

    const std::string text = WriteRegText(root, RootName(ERoot::LocalMachine), false);
    EXPECT_TRUE(text.starts_with("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n"));
    const std::string section = "[HKEY_LOCAL_MACHINE\\Software\\Halvren Software]\n";
    EXPECT_NE(text.find(section + "@=\"default\"\n\"Path\"=\"C:\\\\dir \\\"quoted\\\"\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Na\\\"me\\\\\"=\"x\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Empty\"=\"\"\n"), std::string::npos);
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,48,4f,4d,45,25,2f,78,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"Count\"=dword:8000000a\n"), std::string::npos);
    EXPECT_NE(text.find("\"Blob\"=hex:00,ff,10\n"), std::string::npos);
    EXPECT_NE(text.find("\"NoBytes\"=hex:\n"), std::string::npos);
    EXPECT_NE(text.find("\"List\"=hex(7):61,00,62,63,00,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"Quad\"=hex(b):01,02,03,04,05,06,07,08\n"), std::string::npos);
    EXPECT_NE(text.find("\"None\"=hex(0):\n"), std::string::npos);
    EXPECT_NE(text.find("\"TwoLines\"=hex(1):6f,6e,65,0a,74,77,6f,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"NoNul\"=hex(1):61,62,63\n"), std::string::npos);
    EXPECT_NE(text.find("\"Short\"=hex(4):01,02,03\n"), std::string::npos);
    EXPECT_NE(text.find("\"Utf8\"=\"Gr\xC3\xBC\xC3\x9F\"\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Empty Key]\n\n"), std::string::npos);
    // The root has no values: it is not written.
    EXPECT_EQ(text.find("[HKEY_LOCAL_MACHINE]"), std::string::npos);

    ExpectSameTree(root, *Load(text));
}

TEST(RegText, LongDataIsWrappedUnder80ColumnsAndJoinedBackOnReading) {
    CKey root(RootName(ERoot::ClassesRoot));
    std::string blob;
    for (int i = 0; i < 300; ++i) {
        blob.push_back(static_cast<char>(i));
    }
    root.CreateSubkey("k").SetValue("Blob", REG_BINARY, blob);
    const std::string text = WriteRegText(root, RootName(ERoot::ClassesRoot), false);
    std::size_t lines = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
        start = end + 1;
        ++lines;
    }
    EXPECT_GT(lines, 10u);
    EXPECT_NE(text.find(",\\\n  "), std::string::npos);
    const auto back = Load(text, ERoot::ClassesRoot);
    ASSERT_NE(back->FindSubkey("K"), nullptr);
    ASSERT_NE(back->FindSubkey("K")->FindValue("blob"), nullptr);
    EXPECT_EQ(back->FindSubkey("K")->FindValue("blob")->data, blob);
}

TEST(RegText, NamesCompareWithoutCaseAndKeepTheirFirstSpelling) {
    const auto tree = Load("REGEDIT4\n\n"
                           "[HKEY_LOCAL_MACHINE\\Software\\MixedCase]\n"
                           "\"DatabasePath\"=\"one\"\n"
                           "[hkey_local_machine\\SOFTWARE\\mixedcase]\n"
                           "\"DATABASEPATH\"=\"two\"\n"
                           "\"Other\"=dword:1\n");
    const CKey* key = tree->Find({"software", "MIXEDCASE"});
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->Name(), "MixedCase");
    ASSERT_EQ(key->Values().size(), 2u);
    EXPECT_EQ(key->Values()[0].name, "DatabasePath");
    EXPECT_EQ(key->Values()[0].data, Text("two"));
    EXPECT_EQ(key->FindValue("other")->data, Bytes({1, 0, 0, 0}));
    EXPECT_EQ(tree->FindSubkey("sOfTwArE")->Name(), "Software");
    // Only ASCII letters fold; other bytes must match exactly.
    EXPECT_TRUE(NamesEqual("Ab\xC3\xA9", "aB\xC3\xA9"));
    EXPECT_FALSE(NamesEqual("\xC3\xA9", "\xC3\x89"));
}

TEST(RegText, ToleratesWhatHandEditedAndWindowsFilesContain) {
    const auto tree = Load("\xEF\xBB\xBFREGEDIT4\r\n"
                           "\r\n"
                           "; a comment\r\n"
                           "  [HKLM\\A]  \r\n"
                           "\"x\" = dword:FFFFFFFF\r\n"
                           "\"b\"=HEX:01, 02,\\\r\n"
                           "    03,\\\r\n"
                           "  04\r\n"
                           "\"t\"=\"ends with backslash\\\\\"\r\n"
                           "\"after\"=\"still read\"\r\n"
                           "[HKEY_LOCAL_MACHINE]\r\n"
                           "@=\"root default\"\r\n");
    const CKey* a = tree->FindSubkey("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->FindValue("x")->data, Bytes({0xff, 0xff, 0xff, 0xff}));
    EXPECT_EQ(a->FindValue("b")->data, Bytes({1, 2, 3, 4}));
    EXPECT_EQ(a->FindValue("t")->data, Text("ends with backslash\\"));
    EXPECT_EQ(a->FindValue("after")->data, Text("still read"));
    EXPECT_EQ(tree->FindValue("")->data, Text("root default"));

    std::vector<CEntry> entries;
    CParseError error;
    EXPECT_TRUE(ParseRegText("Windows Registry Editor Version 5.00\n", false, entries, error));
    EXPECT_TRUE(ParseRegText("", true, entries, error));
    EXPECT_TRUE(ParseRegText("\n\n  \n", true, entries, error));
    EXPECT_FALSE(ParseRegText("", false, entries, error));
}

TEST(RegText, ParseErrorsNameTheirLine) {
    struct CCase {
        std::string text;
        int line;
        std::string words;
    };
    const std::string h = "REGEDIT4\n\n";
    const CCase cases[] = {
        {"REGEDIT5\n", 1, "REGEDIT4"},
        {"garbage\n[HKLM\\a]\n", 1, "REGEDIT4"},
        {h + "\"v\"=\"x\"\n", 3, "before the first [key]"},
        {h + "[HKEY_USERS\\x]\n", 3, "unknown root key \"HKEY_USERS\""},
        {h + "[HKLM\\a\n", 3, "must end with ]"},
        {h + "[HKLM\\a\\\\b]\n", 3, "empty key name"},
        {h + "[HKLM\\]\n", 3, "empty key name"},
        {h + "[-HKLM]\n", 3, "root key cannot be deleted"},
        {h + "[HKLM\\" + std::string(256, 'k') + "]\n", 3, "longer than 255"},
        {h + "[HKLM\\a]\n\"v\"=\"C:\\dir\"\n", 4, "unknown escape"},
        {h + "[HKLM\\a]\n\"v\"=\"open\n", 4, "missing closing quote"},
        {h + "[HKLM\\a]\n\"v\n", 4, "missing closing quote"},
        {h + "[HKLM\\a]\n\"v\"=\"x\" trailing\n", 4, "after the closing quote"},
        {h + "[HKLM\\a]\n\"v\"\"x\"\n", 4, "expected ="},
        {h + "[HKLM\\a]\n\"v\"=dword:123456789\n", 4, "1 to 8 hexadecimal"},
        {h + "[HKLM\\a]\n\"v\"=dword:\n", 4, "1 to 8 hexadecimal"},
        {h + "[HKLM\\a]\n\"v\"=dword:12g4\n", 4, "1 to 8 hexadecimal"},
        {h + "[HKLM\\a]\n\"v\"=hex:0g\n", 4, "bad byte"},
        {h + "[HKLM\\a]\n\"v\"=hex:123\n", 4, "bad byte"},
        {h + "[HKLM\\a]\n\"v\"=hex:01,,02\n", 4, "missing byte"},
        {h + "[HKLM\\a]\n\"v\"=hex(z):01\n", 4, "type number"},
        {h + "[HKLM\\a]\n\"v\"=hex(2)01\n", 4, "expected :"},
        {h + "[HKLM\\a]\n\n\"v\"=hex:01,\\\n", 5, "past the end"},
        {h + "[HKLM\\a]\n\"v\"=text\n", 4, "unknown value data"},
        {h + "[-HKLM\\a]\n\"v\"=\"x\"\n", 4, "under a deleted key"},
        {h + "[HKLM\\a]\nstray words\n", 4, "expected a [key]"},
    };
    for (const auto& c : cases) {
        const CParseError error = ParseFailure(c.text);
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.message.find(c.words), std::string::npos)
            << c.text << " -> " << error.message;
    }
}

TEST(RegText, DeletionsAndOtherRootsApplyInOrder) {
    std::vector<CEntry> entries;
    CParseError error;
    ASSERT_TRUE(ParseRegText("REGEDIT4\n"
                             "[HKLM\\a\\b]\n\"keep\"=\"1\"\n\"gone\"=\"2\"\n"
                             "[HKCU\\elsewhere]\n\"u\"=\"3\"\n"
                             "[HKLM\\a\\b]\n\"gone\"=-\n"
                             "[HKLM\\x\\y]\n"
                             "[-HKLM\\x]\n"
                             "[-HKLM\\never\\there]\n",
                             false, entries, error))
        << error.message;
    CKey machine(RootName(ERoot::LocalMachine));
    ApplyEntries(machine, ERoot::LocalMachine, entries);
    ASSERT_NE(machine.Find({"a", "b"}), nullptr);
    EXPECT_NE(machine.Find({"a", "b"})->FindValue("keep"), nullptr);
    EXPECT_EQ(machine.Find({"a", "b"})->FindValue("gone"), nullptr);
    EXPECT_EQ(machine.FindSubkey("x"), nullptr);
    EXPECT_EQ(machine.FindSubkey("elsewhere"), nullptr);
    CKey user(RootName(ERoot::CurrentUser));
    ApplyEntries(user, ERoot::CurrentUser, entries);
    EXPECT_NE(user.Find({"elsewhere"}), nullptr);
    EXPECT_EQ(user.FindSubkey("a"), nullptr);
}

TEST(RegText, KeyPathsSplitOnBackslashesOnly) {
    std::vector<std::string> names;
    EXPECT_TRUE(SplitKeyPath("Software\\Halvren Software\\a/b", names));
    EXPECT_EQ(names, (std::vector<std::string>{"Software", "Halvren Software", "a/b"}));
    EXPECT_TRUE(SplitKeyPath("trailing\\", names));
    EXPECT_EQ(names, (std::vector<std::string>{"trailing"}));
    EXPECT_TRUE(SplitKeyPath("", names));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(SplitKeyPath("\\leading", names));
    EXPECT_FALSE(SplitKeyPath("a\\\\b", names));
    ERoot root;
    EXPECT_TRUE(ParseRootName("hkcr", root));
    EXPECT_EQ(root, ERoot::ClassesRoot);
    EXPECT_TRUE(ParseRootName("HKEY_CURRENT_USER", root));
    EXPECT_EQ(root, ERoot::CurrentUser);
    EXPECT_FALSE(ParseRootName("HKU", root));
}

TEST(RegText, ValuesAsTypedAndShownMatchTheirRegedit4Bytes) {
    // A number typed in either base is stored as the dword: line reads it back.
    DWORD number = 0;
    ASSERT_TRUE(ParseDwordText("0x500000", number));
    std::vector<CEntry> entries;
    CParseError error;
    ASSERT_TRUE(ParseRegText("REGEDIT4\n[HKLM\\A]\n\"n\"=dword:00500000\n", false, entries, error));
    EXPECT_EQ(entries.back().data, DwordData(number));
    ASSERT_TRUE(ParseDwordText("4294967295", number));
    EXPECT_EQ(number, 0xFFFFFFFFu);
    for (const char* bad : {"", "-1", "4294967296", "0x", "0x1FFFFFFFF", "12x", " 1", "1a"}) {
        EXPECT_FALSE(ParseDwordText(bad, number)) << bad;
    }
    DWORD back = 0;
    EXPECT_TRUE(DwordFromData(DwordData(0x12345678), back));
    EXPECT_EQ(back, 0x12345678u);
    EXPECT_FALSE(DwordFromData("abc", back));

    // Bytes typed with any separators are the bytes a hex: line holds.
    std::string bytes;
    ASSERT_TRUE(ParseHexBytes("00,ff 10:7A", bytes));
    EXPECT_EQ(bytes, Bytes({0x00, 0xff, 0x10, 0x7a}));
    for (const char* bad : {"abc", "zz", "0-0"}) {
        std::string ignored;
        EXPECT_FALSE(ParseHexBytes(bad, ignored)) << bad;
    }

    // Types by name, with or without REG_; shown with their data.
    DWORD type = REG_NONE;
    EXPECT_TRUE(ParseTypeName("multi_sz", type));
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_TRUE(ParseTypeName("REG_EXPAND_SZ", type));
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_FALSE(ParseTypeName("REG_", type));
    EXPECT_FALSE(ParseTypeName("QWORD", type));
    EXPECT_EQ(TypeName(REG_QWORD), "REG_QWORD");
    EXPECT_EQ(TypeName(0x42), "REG_TYPE_0x42");
    EXPECT_EQ(FormatValueData(REG_DWORD, DwordData(42)), "0x0000002a (42)");
    EXPECT_EQ(FormatValueData(REG_SZ, Text("text")), "text");
    EXPECT_EQ(FormatValueData(REG_MULTI_SZ, MultiStringData({"a", "bc"})), "a\\0bc");
    EXPECT_EQ(MultiStringData({}), std::string(2, '\0'));
    EXPECT_EQ(FormatValueData(REG_MULTI_SZ, MultiStringData({})), "");
    EXPECT_EQ(FormatValueData(REG_BINARY, Bytes({0x00, 0xab})), "00ab");
    EXPECT_EQ(FormatValueData(REG_DWORD, "odd"), "6f6464");
    EXPECT_EQ(FormatValueData(REG_QWORD, Bytes({1, 0, 0, 0, 0, 0, 0, 1})),
              "0x0100000000000001 (72057594037927937)");
}
