#include "Registry.h"
#include "TestSupport.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::CTempDir;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

// Each test gets hives of its own.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("DORVALE_REGISTRY", m_dir.Path().c_str(), 1); }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    std::string Hive(const char* root) const { return m_dir / (std::string(root) + ".reg"); }

    CTempDir m_dir;
};

HKEY Create(HKEY parent, const char* path, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyEx(parent, path, 0, nullptr, 0, sam, nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
}

LONG Set(HKEY key, const char* name, DWORD type, const std::string& data) {
    return RegSetValueEx(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
}

// The whole value, through a buffer of exactly its size.
std::string Get(HKEY key, const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    if (RegQueryValueEx(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
        return "<absent>";
    }
    std::string data(size, '?');
    EXPECT_EQ(
        RegQueryValueEx(key, name, nullptr, type, reinterpret_cast<BYTE*>(data.data()), &size),
        ERROR_SUCCESS);
    data.resize(size);
    return data;
}

std::string Sz(const std::string& s) {
    return s + std::string(1, '\0');
}

} // namespace

TEST_F(RegistryTest, ValuesKeepTheirTypeAndBytesAndReachTheHiveFile) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Software\\Halvren Software\\Quenwick\\Dorvale");
    DWORD disposition = 0;
    HKEY again = nullptr;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\halvren software\\QUENWICK\\dorvale", 0,
                             nullptr, 0, KEY_READ, nullptr, &again, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));

    EXPECT_EQ(Set(key, "DatabasePath", REG_SZ, Sz("/srv/dorvale/db")), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "VirusChecker", REG_EXPAND_SZ, Sz("$HOME/scan")), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "AllowUploads", REG_DWORD, std::string("\x03\0\0\0", 4)), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "Blob", REG_BINARY, std::string("\0\x01\xff", 3)), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "List", REG_MULTI_SZ, std::string("a\0b\0\0", 5)), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, nullptr, REG_SZ, Sz("default")), ERROR_SUCCESS);

    DWORD type = 0;
    EXPECT_EQ(Get(again, "databasepath", &type), Sz("/srv/dorvale/db"));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(Get(again, "VIRUSCHECKER", &type), Sz("$HOME/scan"));
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(Get(again, "AllowUploads", &type), std::string("\x03\0\0\0", 4));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(Get(again, "Blob", &type), std::string("\0\x01\xff", 3));
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(Get(again, "List", &type), std::string("a\0b\0\0", 5));
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(Get(again, ""), Sz("default"));
    EXPECT_EQ(Get(again, nullptr), Sz("default"));
    EXPECT_EQ(Get(again, "Missing"), "<absent>");

    // Changing a value through another spelling keeps the stored one.
    EXPECT_EQ(Set(key, "DATABASEPATH", REG_SZ, Sz("/other")), ERROR_SUCCESS);
    const std::string text = ReadFile(Hive("HKEY_LOCAL_MACHINE"));
    EXPECT_TRUE(text.starts_with("REGEDIT4\n")) << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Halvren Software\\Quenwick\\Dorvale]\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"DatabasePath\"=\"/other\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"AllowUploads\"=dword:00000003\n"), std::string::npos) << text;
    EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos) << text;
    EXPECT_FALSE(std::filesystem::exists(Hive("HKEY_LOCAL_MACHINE") + ".tmp"));
    // The other hives are untouched.
    EXPECT_FALSE(std::filesystem::exists(Hive("HKEY_CURRENT_USER")));
    EXPECT_FALSE(std::filesystem::exists(Hive("HKEY_CLASSES_ROOT")));

    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, QueryReportsSizesAndRefusesBuffersThatAreTooSmall) {
    HKEY key = Create(HKEY_CURRENT_USER, "k");
    ASSERT_EQ(Set(key, "Text", REG_SZ, Sz("12345")), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueEx(key, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    char buffer[8] = "xxxxxxx";
    size = 5;
    EXPECT_EQ(RegQueryValueEx(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    size = 6;
    EXPECT_EQ(RegQueryValueEx(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "12345");
    EXPECT_EQ(
        RegQueryValueEx(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), nullptr),
        ERROR_INVALID_PARAMETER);
    // Type only.
    type = 0;
    EXPECT_EQ(RegQueryValueEx(key, "Text", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    RegCloseKey(key);
}

TEST_F(RegistryTest, KeysOpenDeleteAndRefuseStaleOrWrongHandles) {
    HKEY missing = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "No\\Such", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "a\\\\b", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);

    HKEY parent = Create(HKEY_LOCAL_MACHINE, "Top\\Parent");
    HKEY child = Create(parent, "Child\\Grandchild");
    ASSERT_EQ(Set(child, "v", REG_SZ, Sz("x")), ERROR_SUCCESS);
    HKEY opened = nullptr;
    ASSERT_EQ(
        RegOpenKeyEx(HKEY_LOCAL_MACHINE, "top\\parent\\child\\GRANDCHILD", 0, KEY_READ, &opened),
        ERROR_SUCCESS);
    EXPECT_EQ(Get(opened, "V"), Sz("x"));

    EXPECT_EQ(RegDeleteValue(child, "nope"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValue(child, "V"), ERROR_SUCCESS);
    EXPECT_EQ(Get(opened, "v"), "<absent>");

    // A key with subkeys is not deleted by RegDeleteKey; RegDeleteTree takes all.
    EXPECT_EQ(RegDeleteKey(parent, "Child"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(parent, "Nothing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKey(parent, ""), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKey(parent, "Child\\Grandchild"), ERROR_SUCCESS);
    HKEY grand = Create(parent, "Child\\Grandchild");
    ASSERT_EQ(Set(grand, "w", REG_DWORD, std::string(4, '\0')), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "TOP\\Parent"), ERROR_SUCCESS);

    // Handles to deleted keys fail rather than write into nothing.
    EXPECT_EQ(Get(grand, "w"), "<absent>");
    EXPECT_EQ(Set(grand, "w", REG_DWORD, std::string(4, '\0')), ERROR_KEY_DELETED);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(grand, "w", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    HKEY under = nullptr;
    EXPECT_EQ(RegCreateKeyEx(parent, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &under, nullptr),
              ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Top", 0, KEY_READ, &under), ERROR_SUCCESS);
    RegCloseKey(under);

    // A root is never deleted or emptied.
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, nullptr), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);

    for (HKEY h : {parent, child, opened, grand}) {
        EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
    }
    EXPECT_EQ(RegCloseKey(parent), ERROR_INVALID_HANDLE);
    EXPECT_EQ(Set(parent, "v", REG_SZ, Sz("x")), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
}

TEST_F(RegistryTest, BadNamesAndDataAreRefusedBeforeTouchingTheHive) {
    HKEY key = Create(HKEY_CLASSES_ROOT, "k");
    HKEY out = nullptr;
    const std::string longName(256, 'n');
    EXPECT_EQ(RegCreateKeyEx(key, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out,
                             nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyEx(key, "\\lead", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(
        RegCreateKeyEx(key, "line\nbreak", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &out, nullptr),
        ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Set(key, "two\nlines", REG_SZ, Sz("x")), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key, "n", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    // Data the text form cannot hold as "text" still survives exactly.
    EXPECT_EQ(Set(key, "odd", REG_SZ, std::string("a\r\nb\0c", 6)), ERROR_SUCCESS);
    EXPECT_EQ(Set(key, "quote\"back\\slash", REG_SZ, Sz("]\"[\\")), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "odd"), std::string("a\r\nb\0c", 6));
    EXPECT_EQ(Get(key, "QUOTE\"BACK\\SLASH"), Sz("]\"[\\"));
    EXPECT_EQ(RegSetValueEx(key, "empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "empty"), "");
    HKEY odd = Create(key, "[brackets] and ]");
    EXPECT_EQ(Set(odd, "v", REG_DWORD, std::string("\1\0\0\0", 4)), ERROR_SUCCESS);
    RegCloseKey(odd);
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "K\\[BRACKETS] AND ]", 0, KEY_READ, &odd),
              ERROR_SUCCESS);
    EXPECT_EQ(Get(odd, "v"), std::string("\1\0\0\0", 4));
    EXPECT_EQ(RegGetHiveError(HKEY_CLASSES_ROOT), "");
    RegCloseKey(odd);
    RegCloseKey(key);
}

TEST_F(RegistryTest, EnumerationListsSubkeysByNameAndValuesInStoredOrder) {
    HKEY key = Create(HKEY_LOCAL_MACHINE, "Enum");
    for (const char* name : {"beta", "Alpha", "gamma"}) {
        RegCloseKey(Create(key, name));
    }
    ASSERT_EQ(Set(key, "Zed", REG_SZ, Sz("z")), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "Ann", REG_DWORD, std::string("\7\0\0\0", 4)), ERROR_SUCCESS);

    std::vector<std::string> names;
    char name[64];
    for (DWORD i = 0;; ++i) {
        DWORD size = sizeof name;
        const LONG r = RegEnumKeyEx(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) {
            break;
        }
        ASSERT_EQ(r, ERROR_SUCCESS);
        EXPECT_EQ(size, std::strlen(name));
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
    DWORD small = 5; // "Alpha" needs 6 with its NUL
    EXPECT_EQ(RegEnumKeyEx(key, 0, name, &small, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(small, 6u);

    DWORD nameSize = sizeof name, type = 0, dataSize = 0;
    ASSERT_EQ(RegEnumValue(key, 0, name, &nameSize, nullptr, &type, nullptr, &dataSize),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Zed");
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(dataSize, 2u);
    BYTE data[4];
    nameSize = sizeof name;
    dataSize = sizeof data;
    ASSERT_EQ(RegEnumValue(key, 1, name, &nameSize, nullptr, &type, data, &dataSize),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Ann");
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(data[0], 7);
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValue(key, 2, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    dataSize = 1;
    nameSize = sizeof name;
    EXPECT_EQ(RegEnumValue(key, 0, name, &nameSize, nullptr, nullptr, data, &dataSize),
              ERROR_MORE_DATA);

    DWORD subkeys = 0, values = 0, maxSub = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKey(key, nullptr, nullptr, nullptr, &subkeys, &maxSub, nullptr, &values,
                              &maxName, &maxData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(maxSub, 5u);
    EXPECT_EQ(maxName, 3u);
    EXPECT_EQ(maxData, 4u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, AccessRightsOfAHandleAreEnforced) {
    // Opening by creating with read access brings the key into being (as the settings reader
    // of the automation library does) but gives no right to write through that handle.
    HKEY readOnly = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Made", 0, nullptr, 0, KEY_READ, nullptr,
                             &readOnly, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(Set(readOnly, "v", REG_SZ, Sz("x")), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValue(readOnly, "v"), ERROR_ACCESS_DENIED);
    HKEY sub = nullptr;
    EXPECT_EQ(
        RegCreateKeyEx(readOnly, "sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
        ERROR_ACCESS_DENIED);

    HKEY writeOnly = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Made", 0, KEY_SET_VALUE, &writeOnly),
              ERROR_SUCCESS);
    EXPECT_EQ(Set(writeOnly, "v", REG_SZ, Sz("x")), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(writeOnly, "v", nullptr, nullptr, nullptr, &size),
              ERROR_ACCESS_DENIED);
    char name[8];
    DWORD nameSize = sizeof name;
    EXPECT_EQ(RegEnumKeyEx(writeOnly, 0, name, &nameSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(Get(readOnly, "v"), Sz("x"));
    RegCloseKey(readOnly);
    RegCloseKey(writeOnly);
}

TEST_F(RegistryTest, AHiveThatCannotBeParsedIsReportedAndNeverRewritten) {
    const std::string bad = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Dorvale]\n"
                            "\"DatabasePath\"=\"/db\"\n"
                            "\"Broken\"=dword:xyz\n";
    WriteFile(Hive("HKEY_LOCAL_MACHINE"), bad);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Dorvale", 0, KEY_READ, &key),
              ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Dorvale", 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, &key, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(Set(HKEY_LOCAL_MACHINE, "v", REG_SZ, Sz("x")), ERROR_BADDB);
    EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Software"), ERROR_BADDB);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(HKEY_LOCAL_MACHINE, "v", nullptr, nullptr, nullptr, &size),
              ERROR_BADDB);
    std::string importError;
    EXPECT_EQ(RegImportText("REGEDIT4\n[HKLM\\x]\n\"a\"=\"b\"\n", "in.reg", &importError),
              ERROR_BADDB);
    EXPECT_EQ(importError,
              Hive("HKEY_LOCAL_MACHINE") + ":5: dword: needs 1 to 8 hexadecimal digits");

    EXPECT_EQ(ReadFile(Hive("HKEY_LOCAL_MACHINE")), bad);
    EXPECT_EQ(RegGetHiveError(HKEY_LOCAL_MACHINE),
              Hive("HKEY_LOCAL_MACHINE") + ":5: dword: needs 1 to 8 hexadecimal digits");
    EXPECT_EQ(RegGetHiveError(HKEY_CURRENT_USER), "");

    // The other hives go on working.
    HKEY user = Create(HKEY_CURRENT_USER, "fine");
    EXPECT_EQ(Set(user, "v", REG_SZ, Sz("x")), ERROR_SUCCESS);
    RegCloseKey(user);

    // A hive naming keys of another root is refused too, with the line.
    WriteFile(Hive("HKEY_CLASSES_ROOT"), "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\.htm]\n"
                                         "@=\"htmlfile\"\n\n[HKEY_CURRENT_USER\\x]\n");
    EXPECT_EQ(RegGetHiveError(HKEY_CLASSES_ROOT),
              Hive("HKEY_CLASSES_ROOT") + ":6: a key outside HKEY_CLASSES_ROOT");

    // Once mended by hand, it is read again.
    WriteFile(Hive("HKEY_LOCAL_MACHINE"), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Dorvale]\n"
                                          "\"DatabasePath\"=\"/db\"\n");
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Dorvale", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "DatabasePath"), Sz("/db"));
    EXPECT_EQ(RegGetHiveError(HKEY_LOCAL_MACHINE), "");
    RegCloseKey(key);
}

TEST_F(RegistryTest, AHiveDirectoryThatIsAFileFailsReadsAndWritesAndIsLeftAlone) {
    const std::string notADirectory = m_dir / "file";
    WriteFile(notADirectory, "x");
    setenv("DORVALE_REGISTRY", notADirectory.c_str(), 1);
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "k", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                             nullptr),
              ERROR_CANTREAD);
    EXPECT_EQ(RegSetValueEx(HKEY_LOCAL_MACHINE, "v", 0, REG_BINARY, nullptr, 0), ERROR_CANTWRITE);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "k", 0, KEY_READ, &key), ERROR_CANTREAD);
    EXPECT_EQ(ReadFile(notADirectory), "x");
}

TEST_F(RegistryTest, AWriteThatChangesNothingLeavesTheFileAlone) {
    HKEY key = Create(HKEY_CURRENT_USER, "Same");
    ASSERT_EQ(Set(key, "v", REG_SZ, Sz("x")), ERROR_SUCCESS);
    struct stat before, after;
    ASSERT_EQ(stat(Hive("HKEY_CURRENT_USER").c_str(), &before), 0);
    ASSERT_EQ(Set(key, "V", REG_SZ, Sz("x")), ERROR_SUCCESS);
    RegCloseKey(Create(HKEY_CURRENT_USER, "same"));
    ASSERT_EQ(stat(Hive("HKEY_CURRENT_USER").c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
    // The user hive is private to its user.
    EXPECT_EQ(after.st_mode & 0777, 0600u);
    ASSERT_EQ(Set(key, "v", REG_EXPAND_SZ, Sz("x")), ERROR_SUCCESS);
    ASSERT_EQ(stat(Hive("HKEY_CURRENT_USER").c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    RegCloseKey(key);
}

TEST(RegistryLocation, HivesLiveWhereTheEnvironmentSays) {
    const char* saved = std::getenv("DORVALE_REGISTRY");
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string keep = saved ? saved : "", keepXdg = savedXdg ? savedXdg : "",
                      keepHome = savedHome ? savedHome : "";

    setenv("DORVALE_REGISTRY", "/some/dir", 1);
    EXPECT_EQ(RegGetHivePath(HKEY_LOCAL_MACHINE), "/some/dir/HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(RegGetHivePath(HKEY_CURRENT_USER), "/some/dir/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(RegGetHivePath(HKEY_CLASSES_ROOT), "/some/dir/HKEY_CLASSES_ROOT.reg");
    unsetenv("DORVALE_REGISTRY");
    setenv("XDG_CONFIG_HOME", "/xdg", 1);
    EXPECT_EQ(RegGetHivePath(HKEY_LOCAL_MACHINE),
              "/var/lib/dorvale/registry/HKEY_LOCAL_MACHINE.reg");
    EXPECT_EQ(RegGetHivePath(HKEY_CLASSES_ROOT), "/var/lib/dorvale/registry/HKEY_CLASSES_ROOT.reg");
    EXPECT_EQ(RegGetHivePath(HKEY_CURRENT_USER), "/xdg/dorvale/HKEY_CURRENT_USER.reg");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(RegGetHivePath(HKEY_CURRENT_USER),
              "/home/someone/.config/dorvale/HKEY_CURRENT_USER.reg");
    EXPECT_EQ(RegGetHivePath(reinterpret_cast<HKEY>(42)), "");

    saved ? setenv("DORVALE_REGISTRY", keep.c_str(), 1) : unsetenv("DORVALE_REGISTRY");
    savedXdg ? setenv("XDG_CONFIG_HOME", keepXdg.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
    savedHome ? setenv("HOME", keepHome.c_str(), 1) : unsetenv("HOME");
}

TEST_F(RegistryTest, OnlyThisMachineCanBeConnected) {
    char host[256] = {};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    for (const std::string& name : {std::string(), std::string("."), std::string("localhost"),
                                    std::string(host), "\\\\" + std::string(host)}) {
        HKEY remote = nullptr;
        ASSERT_EQ(
            RegConnectRegistry(name.empty() ? nullptr : name.c_str(), HKEY_LOCAL_MACHINE, &remote),
            ERROR_SUCCESS)
            << name;
        HKEY key = Create(remote, "Via\\Remote");
        EXPECT_EQ(Set(key, "v", REG_SZ, Sz("x")), ERROR_SUCCESS);
        RegCloseKey(key);
        EXPECT_EQ(RegCloseKey(remote), ERROR_SUCCESS);
    }
    HKEY remote = reinterpret_cast<HKEY>(1);
    EXPECT_EQ(RegConnectRegistry("\\\\fileserver-elsewhere", HKEY_LOCAL_MACHINE, &remote),
              ERROR_BAD_NETPATH);
    EXPECT_EQ(remote, nullptr);
    EXPECT_EQ(RegConnectRegistry(nullptr, HKEY_CURRENT_USER, &remote), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, ExportedTextImportsIntoAnotherRegistryUnchanged) {
    HKEY key = Create(HKEY_CLASSES_ROOT, "Catalink.Config\\CLSID");
    ASSERT_EQ(Set(key, "", REG_SZ, Sz("{0B1C7A52-1111-4AF0-9C11-222233334444}")), ERROR_SUCCESS);
    ASSERT_EQ(Set(key, "Bytes", REG_BINARY, std::string(200, '\xab')), ERROR_SUCCESS);
    RegCloseKey(Create(HKEY_CLASSES_ROOT, "Catalink.Config\\Empty"));
    RegCloseKey(key);
    HKEY top = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CATALINK.CONFIG", 0, KEY_READ, &top), ERROR_SUCCESS);
    std::string text;
    ASSERT_EQ(RegExportKey(top, text), ERROR_SUCCESS);
    RegCloseKey(top);
    EXPECT_TRUE(text.starts_with("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Catalink.Config]\n\n"
                                 "[HKEY_CLASSES_ROOT\\Catalink.Config\\CLSID]\n"
                                 "@=\"{0B1C7A52-1111-4AF0-9C11-222233334444}\"\n"))
        << text;
    EXPECT_NE(text.find("[HKEY_CLASSES_ROOT\\Catalink.Config\\Empty]\n"), std::string::npos);

    CTempDir other;
    setenv("DORVALE_REGISTRY", other.Path().c_str(), 1);
    std::string error;
    ASSERT_EQ(RegImportText(text, "export.reg", &error), ERROR_SUCCESS) << error;
    std::string again;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "Catalink.Config", 0, KEY_READ, &top), ERROR_SUCCESS);
    ASSERT_EQ(RegExportKey(top, again), ERROR_SUCCESS);
    RegCloseKey(top);
    EXPECT_EQ(again, text);

    // A text with a fault applies nothing, not even its good first part.
    EXPECT_EQ(RegImportText("REGEDIT4\n[HKCR\\New]\n\"a\"=\"b\"\n[HKCR\\Bad\n", "bad.reg", &error),
              ERROR_BADDB);
    EXPECT_EQ(error, "bad.reg:4: a key line must end with ]");
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "New", 0, KEY_READ, &top), ERROR_FILE_NOT_FOUND);

    // Deletions.
    ASSERT_EQ(RegImportText("REGEDIT4\n[-HKEY_CLASSES_ROOT\\Catalink.Config\\Empty]\n"
                            "[HKEY_CLASSES_ROOT\\Catalink.Config\\CLSID]\n\"Bytes\"=-\n",
                            "del.reg", &error),
              ERROR_SUCCESS)
        << error;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "Catalink.Config\\Empty", 0, KEY_READ, &top),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "Catalink.Config\\CLSID", 0, KEY_READ, &top),
              ERROR_SUCCESS);
    EXPECT_EQ(Get(top, "Bytes"), "<absent>");
    EXPECT_EQ(Get(top, ""), Sz("{0B1C7A52-1111-4AF0-9C11-222233334444}"));
    RegCloseKey(top);
}

TEST_F(RegistryTest, CRegKeyWrapsTypedAccessAndClosesItsHandle) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, "Software\\Wrapped"), ERROR_SUCCESS);
    EXPECT_TRUE(key.IsOpen());
    EXPECT_EQ(key.SetStringValue("Text", "hello"), ERROR_SUCCESS);
    EXPECT_EQ(key.SetStringValue("Expand", "$X", REG_EXPAND_SZ), ERROR_SUCCESS);
    EXPECT_EQ(key.SetDWORDValue("Number", 0xDEADBEEF), ERROR_SUCCESS);
    EXPECT_EQ(key.SetBinaryValue("Bin", "\x01\x02", 2), ERROR_SUCCESS);
    EXPECT_EQ(key.SetMultiStringValue("Multi", "one\0two\0"), ERROR_SUCCESS);

    std::string text;
    EXPECT_EQ(key.QueryStringValue("text", text), ERROR_SUCCESS);
    EXPECT_EQ(text, "hello");
    char buffer[6];
    ULONG chars = sizeof buffer;
    EXPECT_EQ(key.QueryStringValue("Text", buffer, &chars), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(chars, 6u);
    chars = 5;
    EXPECT_EQ(key.QueryStringValue("Text", buffer, &chars), ERROR_MORE_DATA);
    DWORD number = 0;
    EXPECT_EQ(key.QueryDWORDValue("Number", number), ERROR_SUCCESS);
    EXPECT_EQ(number, 0xDEADBEEFu);
    EXPECT_EQ(key.QueryDWORDValue("Text", number), ERROR_INVALID_DATA);
    EXPECT_EQ(key.QueryStringValue("Number", text), ERROR_INVALID_DATA);
    std::string bytes;
    EXPECT_EQ(key.QueryBinaryValue("Bin", bytes), ERROR_SUCCESS);
    EXPECT_EQ(bytes, "\x01\x02");
    DWORD type = 0;
    ULONG size = 0;
    EXPECT_EQ(key.QueryValue("Multi", &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_MULTI_SZ);
    EXPECT_EQ(size, 9u); // "one\0two\0\0"

    // Text stored without its NUL comes back terminated when there is room, else not at all.
    EXPECT_EQ(key.SetValue("Bare", REG_SZ, "abc", 3), ERROR_SUCCESS);
    chars = sizeof buffer;
    EXPECT_EQ(key.QueryStringValue("Bare", buffer, &chars), ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "abc");
    chars = 3;
    EXPECT_EQ(key.QueryStringValue("Bare", buffer, &chars), ERROR_MORE_DATA);

    CRegKey moved(std::move(key));
    EXPECT_FALSE(key.IsOpen());
    ASSERT_TRUE(moved.IsOpen());
    HKEY raw = moved;
    {
        CRegKey scoped;
        ASSERT_EQ(scoped.Open(HKEY_CURRENT_USER, "Software"), ERROR_SUCCESS);
        char name[32];
        DWORD length = sizeof name;
        EXPECT_EQ(scoped.EnumKey(0, name, &length), ERROR_SUCCESS);
        EXPECT_STREQ(name, "Wrapped");
        EXPECT_EQ(scoped.RecurseDeleteKey("wrapped"), ERROR_SUCCESS);
    }
    EXPECT_EQ(moved.QueryStringValue("Text", text), ERROR_KEY_DELETED);
    EXPECT_EQ(moved.Close(), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(raw), ERROR_INVALID_HANDLE);
    EXPECT_EQ(CRegKey().Open(HKEY_CURRENT_USER, "Software\\Wrapped"), ERROR_FILE_NOT_FOUND);
}
