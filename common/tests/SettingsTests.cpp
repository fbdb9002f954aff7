#include "Settings.h"
#include "TestSupport.h"

#include <cstdio>
#include <gtest/gtest.h>

using testsupport::CTempDir;
using testsupport::ReadFile;
using testsupport::WriteFile;

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("DORVALE_REGISTRY", m_dir.Path().c_str(), 1); }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    std::string Hive(const char* root) const { return m_dir / (std::string(root) + ".reg"); }

    // Stores a value of any type and bytes straight through the registry.
    static void Store(HKEY root, const char* key, const char* name, DWORD type,
                      const std::string& data) {
        CRegKey handle;
        ASSERT_EQ(handle.Create(root, key), ERROR_SUCCESS);
        ASSERT_EQ(handle.SetValue(name, type, data.data(), static_cast<ULONG>(data.size())),
                  ERROR_SUCCESS);
    }

    static std::string Stored(HKEY root, const char* key, const char* name, DWORD* type) {
        CRegKey handle;
        if (handle.Open(root, key, KEY_READ) != ERROR_SUCCESS) {
            return "<no key>";
        }
        ULONG size = 0;
        if (handle.QueryValue(name, type, nullptr, &size) != ERROR_SUCCESS) {
            return "<absent>";
        }
        std::string data(size, '\0');
        EXPECT_EQ(handle.QueryValue(name, type, data.data(), &size), ERROR_SUCCESS);
        return data;
    }

    CTempDir m_dir;
};

} // namespace

TEST_F(SettingsTest, WritesStoreTextWithItsNulAndNumbersAsFourBytesCreatingTheKey) {
    using namespace settings;
    EXPECT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, DatabasePath, "/srv/db"));
    EXPECT_TRUE(WriteRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, AllowUploads, 3));
    EXPECT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, SendMailKey, SMTPServer, ""));

    DWORD type = 0;
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, SettingsKey, DatabasePath, &type),
              std::string("/srv/db\0", 8));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, SettingsKey, AllowUploads, &type),
              std::string("\x03\0\0\0", 4));
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, SendMailKey, SMTPServer, &type), std::string(1, '\0'));

    char buffer[TEXT_SIZE];
    EXPECT_TRUE(
        ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, "DATABASEPATH", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "/srv/db");
    // The setup program's first start asks under another spelling: the same value.
    std::string text;
    EXPECT_TRUE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, DatabasePathFirstRun, text));
    EXPECT_EQ(text, "/srv/db");
    DWORD number = 99;
    EXPECT_TRUE(ReadRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, AllowUploads, number));
    EXPECT_EQ(number, 3u);
    EXPECT_TRUE(ReadRegistryText(HKEY_LOCAL_MACHINE, SendMailKey, SMTPServer, text));
    EXPECT_EQ(text, "");

    // Rewriting a value replaces it, whatever its type was.
    EXPECT_TRUE(WriteRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, DatabasePath, 7));
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, DatabasePath, text));
    EXPECT_TRUE(ReadRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, DatabasePath, number));
    EXPECT_EQ(number, 7u);
}

TEST_F(SettingsTest, PrefixesChooseTheRootAndNoPrefixMeansTheCurrentUser) {
    using namespace settings;
    EXPECT_TRUE(WriteRegistryText(SettingsKeyHKLM, HttpPath, "/var/www/dorvale"));
    EXPECT_TRUE(WriteRegistryNumber(ExplorerKeyHKCU, VPosition, 180));
    EXPECT_TRUE(WriteRegistryNumber(ExplorerKey, Columns[5], 64));
    char position[64];
    std::snprintf(position, sizeof position, WindowPositionFormat, 0, 1, 2, 3, 40, 50, 600, 700);
    EXPECT_TRUE(WriteRegistryText(ExplorerKey, WindowPosition, position));

    DWORD type = 0;
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, SettingsKey, HttpPath, &type),
              std::string("/var/www/dorvale\0", 17));
    // (The key exists there only as the parent of the explorer key.)
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, SettingsKey, HttpPath, &type), "<absent>");
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, ExplorerKey, VPosition, &type),
              std::string("\xb4\0\0\0", 4));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, ExplorerKey, "column5", &type),
              std::string("\x40\0\0\0", 4));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, ExplorerKey, WindowPosition, &type),
              std::string("0000 0001 0002 0003 0040 0050 0600 0700\0", 40));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, ExplorerKey, VPosition, &type), "<no key>");

    std::string text;
    EXPECT_TRUE(ReadRegistryText(SettingsKeyHKLM, HttpPath, text));
    EXPECT_EQ(text, "/var/www/dorvale");
    EXPECT_FALSE(ReadRegistryText(SettingsKey, HttpPath, text)); // that is HKCU
    DWORD number = 0;
    EXPECT_TRUE(ReadRegistryNumber("HKCU\\Software\\Halvren Software\\Quenwick\\Dorvale\\explorer",
                                   "VPOSITION", number));
    EXPECT_EQ(number, 180u);

    // Only the exact prefixes name a root; anything else is a path under the current user.
    EXPECT_TRUE(WriteRegistryNumber("hklm\\Odd", "v", 1));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, "hklm\\Odd", "v", &type), std::string("\1\0\0\0", 4));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, "Odd", "v", &type), "<no key>");
    HKEY root = nullptr;
    const char* path = nullptr;
    SplitRegistryKey("HKLM\\", root, path);
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);
    EXPECT_STREQ(path, "");
    SplitRegistryKey("HKLMx\\a", root, path);
    EXPECT_EQ(root, HKEY_CURRENT_USER);
    EXPECT_STREQ(path, "HKLMx\\a");
}

TEST_F(SettingsTest, AReadSucceedsOnlyForTheTypeAskedFor) {
    using namespace settings;
    Store(HKEY_LOCAL_MACHINE, SettingsKey, VirusChecker, REG_EXPAND_SZ,
          std::string("/usr/bin/clamscan\0", 18));
    Store(HKEY_LOCAL_MACHINE, SettingsKey, VirusExitCode, REG_SZ, std::string("1\0", 2));
    Store(HKEY_LOCAL_MACHINE, SettingsKey, Overwrite, REG_BINARY, std::string("\2\0\0\0", 4));
    Store(HKEY_LOCAL_MACHINE, SettingsKey, LastFilesProcessed, REG_DWORD, std::string("\5\0", 2));
    Store(HKEY_LOCAL_MACHINE, SettingsKey, DIZSDIPrecedence, REG_DWORD,
          std::string("\1\0\0\0\0\0\0\0", 8));
    Store(HKEY_LOCAL_MACHINE, SettingsKey, FtpServer, REG_MULTI_SZ, std::string("a\0\0", 3));
    Store(HKEY_LOCAL_MACHINE, SettingsKey, AdminEmail, REG_DWORD, std::string("\1\0\0\0", 4));

    // A virus checker stored as REG_EXPAND_SZ is no virus checker at all.
    char buffer[TEXT_SIZE] = "previous";
    EXPECT_FALSE(
        ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, VirusChecker, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "");
    std::string text = "previous";
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, FtpServer, text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, AdminEmail, text));

    // Numbers of another type, or REG_DWORDs of another size, leave the default standing.
    for (const char* name : {VirusExitCode, Overwrite, LastFilesProcessed, DIZSDIPrecedence,
                             VirusChecker, "Missing"}) {
        DWORD number = 12345;
        EXPECT_FALSE(ReadRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, name, number)) << name;
        EXPECT_EQ(number, 12345u) << name;
        // The settings key's own readers: the fallback stands for the same values.
        EXPECT_EQ(ReadSettingNumber(name, 77), 77u) << name;
    }
    EXPECT_EQ(ReadSettingText(VirusChecker), "");
    EXPECT_EQ(ReadSettingText(AdminEmail), "");
    Store(HKEY_LOCAL_MACHINE, SettingsKey, HttpPath, REG_SZ, std::string("/srv/site\0", 10));
    Store(HKEY_LOCAL_MACHINE, SettingsKey, AllowUploads, REG_DWORD, std::string("\2\0\0\0", 4));
    EXPECT_EQ(ReadSettingText(HttpPath), "/srv/site");
    EXPECT_EQ(ReadSettingText(HttpPath, 9), ""); // too long for its buffer: absent
    EXPECT_EQ(ReadSettingNumber(AllowUploads, 77), 2u);
    EXPECT_EQ(ReadSettingNumber(HttpPath), 0u);
    // An absent key: nothing read, and reading does not create it.
    DWORD number = 4;
    EXPECT_FALSE(ReadRegistryNumber(HKEY_LOCAL_MACHINE, SendMailKey, SMTPServer, number));
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, SendMailKey, SMTPServer, text));
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, SendMailKey, SMTPServer, nullptr), "<no key>");
    EXPECT_FALSE(ReadRegistryText(ExplorerKeyHKCU, WindowPosition, text));
    EXPECT_FALSE(std::filesystem::exists(Hive("HKEY_CURRENT_USER")));
}

TEST_F(SettingsTest, ATextTooLongForItsBufferIsAbsent) {
    using namespace settings;
    const std::string fits(TEXT_SIZE - 1, 'p');
    const std::string tooLong(TEXT_SIZE, 'p');
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, HttpPath, fits.c_str()));
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, TempPath, tooLong.c_str()));
    std::string text;
    EXPECT_TRUE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, HttpPath, text));
    EXPECT_EQ(text, fits);
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, TempPath, text));
    EXPECT_EQ(text, "");

    // The generator's last run date is read into 64 bytes.
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, LastDateProcessed,
                                  std::string(63, 'd').c_str()));
    EXPECT_TRUE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, LastDateProcessed, text,
                                 LAST_DATE_PROCESSED_SIZE));
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, LastDateProcessed,
                                  std::string(64, 'd').c_str()));
    char date[LAST_DATE_PROCESSED_SIZE];
    EXPECT_FALSE(
        ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, LastDateProcessed, date, sizeof date));
    EXPECT_STREQ(date, "");

    // Text stored without its NUL is terminated when there is room for it, else too long.
    Store(HKEY_LOCAL_MACHINE, SettingsKey, FtpServer, REG_SZ, "ftp.example.org");
    char small[16];
    EXPECT_TRUE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, FtpServer, small, sizeof small));
    EXPECT_STREQ(small, "ftp.example.org");
    char exact[15];
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, FtpServer, exact, sizeof exact));
    EXPECT_STREQ(exact, "");
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, FtpServer, small, 0));
}

TEST_F(SettingsTest, DirectoryValuesEndInOneSlashSoBothSpellingsNameTheSameStore) {
    using namespace settings;
    EXPECT_EQ(DirectoryWithSlash("/srv/db") + "filearea.dat", "/srv/db/filearea.dat");
    EXPECT_EQ(DirectoryWithSlash("/srv/db/") + "filearea.dat", "/srv/db/filearea.dat");
    EXPECT_EQ(DirectoryWithSlash("") + "filearea.dat", "filearea.dat");
    EXPECT_EQ(DirectoryWithSlash("/"), "/");
    EXPECT_EQ(DirectoryWithoutSlash("/srv/db//"), "/srv/db");
    EXPECT_EQ(DirectoryWithoutSlash("/srv/db"), "/srv/db");
    EXPECT_EQ(DirectoryWithoutSlash("//"), "/");
    EXPECT_EQ(DirectoryWithoutSlash(""), "");

    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, DatabasePath, "/srv/db"));
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, HttpPath, "/var/www/d/"));
    EXPECT_EQ(ReadDirectoryValue(HKEY_LOCAL_MACHINE, SettingsKey, DatabasePath), "/srv/db/");
    EXPECT_EQ(ReadDirectoryValue(HKEY_LOCAL_MACHINE, SettingsKey, HttpPath), "/var/www/d/");
    // Absent, or of another type: an empty directory.
    Store(HKEY_LOCAL_MACHINE, SettingsKey, TempPath, REG_EXPAND_SZ, std::string("/tmp\0", 5));
    EXPECT_EQ(ReadDirectoryValue(HKEY_LOCAL_MACHINE, SettingsKey, TempPath), "");
    EXPECT_EQ(ReadDirectoryValue(HKEY_LOCAL_MACHINE, SettingsKey, BadPath), "");
}

TEST_F(SettingsTest, HttpServerWithATrailingSlashGivesTheSameAddresses) {
    char with[128], without[128];
    std::snprintf(with, sizeof with, "%s/dorvale/details/%d.asp",
                  HttpServerBase("http://files.example.org/").c_str(), 42);
    std::snprintf(without, sizeof without, "%s/dorvale/details/%d.asp",
                  HttpServerBase("http://files.example.org").c_str(), 42);
    EXPECT_STREQ(with, "http://files.example.org/dorvale/details/42.asp");
    EXPECT_STREQ(without, with);
    // Only one slash goes.
    EXPECT_EQ(HttpServerBase("http://x//"), "http://x/");
    EXPECT_EQ(HttpServerBase("/"), "");
    EXPECT_EQ(HttpServerBase(""), "");
}

TEST_F(SettingsTest, FreeSpaceThresholdIsStoredInBytesAndShownInMiB) {
    using namespace settings;
    EXPECT_EQ(FreeSpaceThresholdToBytes(FREE_SPACE_THRESHOLD_DEFAULT_MIB), 5u * 1048576u);
    ASSERT_TRUE(WriteRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, FreeSpaceThreshold,
                                    FreeSpaceThresholdToBytes(5)));
    DWORD stored = 0;
    ASSERT_TRUE(ReadRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, FreeSpaceThreshold, stored));
    EXPECT_EQ(stored, 5242880u);
    EXPECT_EQ(FreeSpaceThresholdToMiB(stored), 5u);

    EXPECT_EQ(FreeSpaceThresholdToBytes(0), 0u);
    EXPECT_EQ(FreeSpaceThresholdToBytes(FREE_SPACE_THRESHOLD_MAX_MIB), 4095u << 20);
    EXPECT_EQ(FreeSpaceThresholdToMiB(FreeSpaceThresholdToBytes(4095)), 4095u);
    // 4096 MiB would wrap to 0 bytes, which is no threshold at all.
    EXPECT_EQ(FreeSpaceThresholdToBytes(4096), 4095u << 20);
    EXPECT_EQ(FreeSpaceThresholdToBytes(0xFFFFFFFF), 4095u << 20);
    // Bytes that are not whole MiB (written by hand) show the whole MiB below.
    EXPECT_EQ(FreeSpaceThresholdToMiB(5242879), 4u);
    EXPECT_EQ(FreeSpaceThresholdToMiB(0xFFFFFFFF), 4095u);
}

TEST_F(SettingsTest, AnUnreadableHiveReadsAsAbsentAndIsNotOverwritten) {
    using namespace settings;
    const std::string bad = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Halvren Software\\"
                            "Quenwick\\Dorvale]\n\"HttpServer\"=\"http://x\"\n\"broken\n";
    WriteFile(Hive("HKEY_LOCAL_MACHINE"), bad);
    std::string text = "previous";
    EXPECT_FALSE(ReadRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, HttpServer, text));
    EXPECT_EQ(text, "");
    DWORD number = 8;
    EXPECT_FALSE(ReadRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, AllowUploads, number));
    EXPECT_EQ(number, 8u);
    EXPECT_FALSE(WriteRegistryText(HKEY_LOCAL_MACHINE, SettingsKey, HttpServer, "http://y"));
    EXPECT_FALSE(WriteRegistryNumber(HKEY_LOCAL_MACHINE, SettingsKey, AllowUploads, 1));
    EXPECT_EQ(ReadFile(Hive("HKEY_LOCAL_MACHINE")), bad);
    // The per-user hive is separate and still works.
    EXPECT_TRUE(WriteRegistryNumber(ExplorerKeyHKCU, WindowStyle, 3));
    EXPECT_TRUE(ReadRegistryNumber(ExplorerKeyHKCU, WindowStyle, number));
    EXPECT_EQ(number, 3u);
}
