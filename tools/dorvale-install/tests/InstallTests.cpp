// dorvale-install and dorvale-uninstall as a user runs them, in a temporary prefix with a
// private registry, metabase and ODBC files: installed, the pieces of a working Dorvale are
// there; removed, the registry, the metabase, the ODBC files and the prefix are exactly as
// they were before, while what was there before the installation is untouched.

#include "IniFile.h"
#include "InstallExt.h"
#include "MetabaseFile.h"
#include "OdbcTestSupport.h"
#include "Registry.h"
#include "TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {

// Everything an installation may touch, as text, to compare before and after.
struct CSnapshot {
    std::map<std::string, std::string> registry;
    std::string metabase;
    std::string systemOdbc;
    std::string userOdbc;
    std::map<std::string, std::string> prefix;

    bool operator==(const CSnapshot&) const = default;
};

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(Registry());
        setenv("DORVALE_REGISTRY", Registry().c_str(), 1);
        for (const auto& [name, value] : testsupport::UseOdbcIniFiles(m_dir.Path())) {
            m_env.push_back(name + "=" + value);
        }
        m_env.push_back("DORVALE_REGISTRY=" + Registry());
    }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    std::string Registry() const { return m_dir / "registry"; }
    std::string Prefix() const { return m_dir / "srv/dorvale"; }

    testsupport::CProgramResult Run(const std::string& program, std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::BuiltProgram(program));
        return testsupport::RunProgram(args, m_env);
    }

    CSnapshot Snapshot() const {
        CSnapshot snapshot;
        for (const auto& [name, root] : {std::pair{"HKLM", HKEY_LOCAL_MACHINE},
                                         {"HKCR", HKEY_CLASSES_ROOT},
                                         {"HKCU", HKEY_CURRENT_USER}}) {
            std::string text;
            RegExportKey(root, text);
            snapshot.registry[name] = text;
        }
        metabase::CTree tree;
        std::string error;
        EXPECT_TRUE(metabase::LoadTree(Registry(), tree, error)) << error;
        snapshot.metabase = tree.Write();
        const char* system = std::getenv("ODBCSYSINI");
        snapshot.systemOdbc = testsupport::ReadFile(std::string(system) + "/odbc.ini");
        snapshot.userOdbc = testsupport::ReadFile(std::getenv("ODBCINI"));
        std::error_code ec;
        for (const fs::directory_entry& entry :
             fs::recursive_directory_iterator(m_dir / "srv", ec)) {
            snapshot.prefix[entry.path().string()] =
                entry.is_regular_file() ? testsupport::ReadFile(entry.path()) : "<dir>";
        }
        return snapshot;
    }

    // Someone else's things, there before the installation and to be there after it.
    void OthersThings() {
        fs::create_directories(m_dir / "srv");
        testsupport::WriteFile(m_dir / "srv/neighbour.txt", "not Dorvale's\n");
        CRegKey other;
        ASSERT_EQ(other.Create(HKEY_LOCAL_MACHINE, "Software\\Other Vendor"), ERROR_SUCCESS);
        ASSERT_EQ(other.SetStringValue("Keep", "me"), ERROR_SUCCESS);
        testsupport::WriteDataSource("Other", {{"Driver", testsupport::SQLITE_DRIVER_NAME},
                                               {"Database", m_dir / "other.db"}});
    }

    static bool HasTables(const std::string& connection) {
        testsupport::CTempDir dir;
        testsupport::WriteFile(dir / "probe.sql", "SELECT COUNT(*) FROM files\nGO\n");
        return ExecuteSQLScript(connection.c_str(), (dir / "probe.sql").c_str()) == 1;
    }

    testsupport::CTempDir m_dir;
    std::vector<std::string> m_env;
};

TEST_F(InstallTest, InstallThenUninstallLeavesEverythingAsItWas) {
    OthersThings();
    const CSnapshot before = Snapshot();

    testsupport::CProgramResult result = Run(
        "dorvale-install", {"--prefix", Prefix(), "--web-port", "18081", "--ftp-port", "18021"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_THAT(result.out, HasSubstr("made the virtual directory /dorvale"));
    // The pieces of a working Dorvale.
    CRegKey settings;
    ASSERT_EQ(settings.Open(HKEY_LOCAL_MACHINE, "Software\\Halvren Software\\Quenwick\\Dorvale"),
              ERROR_SUCCESS);
    std::string value;
    EXPECT_EQ(settings.QueryStringValue("HttpPath", value), ERROR_SUCCESS);
    EXPECT_EQ(value, Prefix() + "/site");
    EXPECT_EQ(settings.QueryStringValue("FtpServerName", value), ERROR_SUCCESS);
    EXPECT_EQ(value, "Default FTP Site");
    CRegKey catalink;
    EXPECT_EQ(catalink.Open(HKEY_CLASSES_ROOT, "Catalink.AreaCollection\\CLSID", KEY_READ),
              ERROR_SUCCESS);
    const CSnapshot installed = Snapshot();
    EXPECT_THAT(installed.metabase, HasSubstr("[/LM/W3SVC/1/ROOT/dorvale]"));
    EXPECT_THAT(installed.metabase, HasSubstr("127.0.0.1:18021:"));
    EXPECT_THAT(installed.systemOdbc, HasSubstr("[Dorvale]"));
    EXPECT_TRUE(HasTables("DSN=Dorvale"));
    EXPECT_TRUE(fs::exists(Prefix() + "/templates/grouplist.tmpl"));
    EXPECT_TRUE(fs::exists(Prefix() + "/site/assets/dorvale.css"));

    // Again: nothing twice, nothing lost; the catalogue's rows stay.
    testsupport::WriteFile(m_dir / "row.sql",
                           "INSERT INTO files (TITLE, SIZE, TYPE_ID) VALUES ('kept', 1, 1)\nGO\n");
    ASSERT_EQ(ExecuteSQLScript("DSN=Dorvale", (m_dir / "row.sql").c_str()), 1);
    result = Run("dorvale-install",
                 {"--prefix", Prefix(), "--web-port", "18081", "--ftp-port", "18021"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("kept the catalogue's tables"));
    inifile::CIniFile record;
    std::string error;
    ASSERT_TRUE(record.Load(Prefix() + "/_UNINST.INI", error));
    EXPECT_EQ(record.Section("Executed Programs Remove").size(), 4u);

    // Removed without --purge: everything but the catalogue.
    result = Run("dorvale-uninstall", {"--prefix", Prefix()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const CSnapshot removed = Snapshot();
    EXPECT_EQ(removed.registry, before.registry);
    EXPECT_EQ(removed.metabase, before.metabase);
    EXPECT_EQ(removed.systemOdbc, before.systemOdbc);
    EXPECT_TRUE(fs::exists(Prefix() + "/data/dorvale.db"));
    EXPECT_FALSE(fs::exists(Prefix() + "/templates"));
    EXPECT_TRUE(HasTables("Driver=" + testsupport::SqliteDriverPath() + ";Database=" + Prefix() +
                          "/data/dorvale.db"));

    // Purged through the uninstall program's own "-c" argument: nothing is left.
    result = Run("dorvale-uninstall", {"-c", Prefix() + "/setup.log", "--purge"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Snapshot() == before);
    EXPECT_EQ(Snapshot().prefix, before.prefix);
    EXPECT_FALSE(fs::exists(Prefix()));

    result = Run("dorvale-uninstall", {"--prefix", Prefix()});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("no installation is recorded"));
}

TEST_F(InstallTest, PostgresCatalogueAndARecordThatNamesOthersThings) {
    testsupport::CPostgresSchema schema;
    if (!schema.IsReady()) {
        GTEST_SKIP() << testsupport::NO_POSTGRES;
    }
    std::string connection;
    std::string password;
    for (const auto& [key, value] : schema.Attributes()) {
        if (key == "Password") {
            password = value;
        } else if (key != "Driver") {
            connection += (connection.empty() ? "" : ";") + key + "=" + value;
        }
    }
    OthersThings();
    const CSnapshot before = Snapshot();
    // A password would go into the system file every user reads: refused, nothing made.
    testsupport::CProgramResult result =
        Run("dorvale-install", {"--prefix", Prefix(), "--database",
                                "postgresql:" + connection + ";Password=" + password});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_THAT(result.err, HasSubstr("--user-data-source"));
    EXPECT_TRUE(Snapshot() == before);
    // Given where libpq looks for it instead, the installation goes ahead.
    const std::string passFile = m_dir / "pgpass";
    testsupport::WriteFile(passFile, "*:*:*:*:" + password + "\n");
    fs::permissions(passFile, fs::perms::owner_read | fs::perms::owner_write);
    m_env.push_back("PGPASSFILE=" + passFile);
    result =
        Run("dorvale-install", {"--prefix", Prefix(), "--database", "postgresql:" + connection});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_TRUE(HasTables(schema.ConnectionString()));

    // Lines naming what the installation did not make: reported, left alone, and the record
    // kept for another try.
    std::string error;
    for (const auto& [key, kind] : {std::pair{m_dir / "srv/neighbour.txt", "FILE"},
                                    {"HKLM\\Software\\Other Vendor", "REGISTRYKEY"},
                                    {"HKLM\\Software", "REGISTRYKEY"},
                                    {"/W3SVC/1/ROOT", "METABASEKEY"}}) {
        ASSERT_TRUE(
            inifile::WriteEntry(Prefix() + "/_UNINST.INI", "Dorvale Remove", key, kind, error));
    }
    ASSERT_TRUE(inifile::WriteEntry(Prefix() + "/_UNINST.INI", "ODBC Remove", "DataSource2",
                                    std::string(testsupport::SQLITE_DRIVER_NAME) + ";Other",
                                    error));
    result = Run("dorvale-uninstall", {"--prefix", Prefix(), "--purge"});
    EXPECT_EQ(result.exitCode, 1);
    for (const char* said : {"neighbour.txt: not inside the installation",
                             "Other Vendor: not one of Dorvale's registry keys",
                             "HKLM\\Software: not one of Dorvale's registry keys",
                             "/W3SVC/1/ROOT: not a server instance",
                             "data source Other: not made by this installation"}) {
        EXPECT_THAT(result.err, HasSubstr(said));
    }
    EXPECT_TRUE(fs::exists(m_dir / "srv/neighbour.txt"));
    EXPECT_THAT(Snapshot().userOdbc, HasSubstr("[Other]"));
    EXPECT_FALSE(HasTables(schema.ConnectionString())) << "the tables were dropped";
    // The record keeps only what is left: those lines, and the directories they are in.
    inifile::CIniFile record;
    ASSERT_TRUE(record.Load(Prefix() + "/_UNINST.INI", error));
    EXPECT_EQ(record.Section("Executed Programs Remove").size(), 0u);
    EXPECT_EQ(record.Section("ODBC Remove").size(), 1u);
    EXPECT_EQ(record.Section("Dorvale Remove").size(), 5u) << record.Text();

    // The lines taken out again, the removal completes.
    for (const char* key : {"HKLM\\Software\\Other Vendor", "HKLM\\Software", "/W3SVC/1/ROOT"}) {
        record.Remove("Dorvale Remove", key);
    }
    record.Remove("Dorvale Remove", m_dir / "srv/neighbour.txt");
    record.Remove("ODBC Remove", "DataSource2");
    ASSERT_TRUE(record.Save(Prefix() + "/_UNINST.INI", error));
    result = Run("dorvale-uninstall", {"--prefix", Prefix(), "--purge"});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(Snapshot() == before);
}

TEST_F(InstallTest, UsageAndHelp) {
    for (const char* program : {"dorvale-install", "dorvale-uninstall", "dorvale-service"}) {
        const testsupport::CProgramResult help = Run(program, {"--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_THAT(help.out, HasSubstr(std::string("Usage: ") + program));
    }
    EXPECT_EQ(Run("dorvale-install", {"--web-port", "0"}).exitCode, 2);
    EXPECT_EQ(Run("dorvale-install", {"--database", "mysql:x"}).exitCode, 2);
    EXPECT_EQ(Run("dorvale-uninstall", {"--purge=yes"}).exitCode, 2);
    EXPECT_EQ(Run("dorvale-service", {"start"}).exitCode, 2);
}

} // namespace
