// Removal from a record written by libinstallext's own exports over a private registry,
// metabase and ODBC files: everything the installation made goes, in the record's order,
// and every entry that names something the installation did not make is reported and left
// alone.

#include "ComTestSupport.h"
#include "DataSource.h"
#include "IniFile.h"
#include "InstallExt.h"
#include "InstalledServices.h"
#include "Metabase.h"
#include "OdbcTestSupport.h"
#include "Registry.h"
#include "RemovalRecord.h"
#include "Services.h"
#include "Settings.h"
#include "UninstExt.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

using ::testing::AllOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {

class UninstTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_env.InitResult()));
        testsupport::UseOdbcIniFiles(m_env.Dir());
        fs::create_directories(Install());
        SetUninstallINI(Record().c_str());
    }
    void TearDown() override {
        SetUninstallINI(nullptr);
        for (const char* name : {"DorvaleIndex", "Foreign"}) {
            std::string ignored;
            services::DeleteService(name, ignored);
        }
    }

    std::string Install() const { return (m_env.Dir() / "prefix").string(); }
    std::string Record() const { return Install() + "/_UNINST.INI"; }
    std::string Dir(const std::string& name) const {
        fs::create_directories(m_env.Dir() / name);
        return (m_env.Dir() / name).string();
    }
    void AddRecord(const char* section, const std::string& key, const std::string& value) {
        std::string error;
        ASSERT_TRUE(inifile::WriteEntry(Record(), section, key, value, error)) << error;
    }
    void MakeDataSource(const std::string& name, const std::string& mark) {
        std::string error;
        std::vector<std::pair<std::string, std::string>> attributes = {
            {"Database", Install() + "/" + name + ".db"}};
        if (!mark.empty()) {
            attributes.emplace_back(removalrecord::INSTALLED_BY, mark);
        }
        ASSERT_TRUE(WriteDataSource(EDataSourceScope::System, name, testsupport::SQLITE_DRIVER_NAME,
                                    attributes, error))
            << error;
    }
    int Uninstall() {
        m_reports.clear();
        return UninstProcessRecord(
            Record().c_str(),
            [](void* context, const char*, const char* key, const char* line, int left) {
                static_cast<std::vector<std::string>*>(context)->push_back(
                    std::string(left != 0 ? "left " : "") + "[" + key + "] " + line);
            },
            &m_reports);
    }
    void RegisterMetabase() {
        ASSERT_EQ(comtest::CallRegistrationEntry(METABASE_LIBRARY), S_OK);
        CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
        metabase::CMetabaseKey lm(admin);
        ASSERT_EQ(lm.Open("/LM", true, 1000), S_OK);
        ASSERT_EQ(admin->AddKey(lm.Get(), "W3SVC/1/ROOT"), S_OK);
        ASSERT_EQ(lm.SetString("W3SVC/1", MD_SERVER_COMMENT, "Default Web Site", IIS_MD_UT_SERVER),
                  S_OK);
        ASSERT_EQ(lm.Close(), S_OK);
    }
    bool MetabaseHas(const std::string& path, DWORD id) {
        CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
        metabase::CMetabaseKey lm(admin);
        std::string value;
        return SUCCEEDED(lm.Open("/LM", false, 1000)) && lm.GetString(path, id, value);
    }

    comtest::CComTestEnvironment m_env;
    std::vector<std::string> m_reports;
};

TEST_F(UninstTest, RemovesWhatWasInstalledInOrderAndLeavesEverythingElse) {
    RegisterMetabase();
    const std::string site = Dir("prefix/site");
    const std::string outside = Dir("elsewhere");
    ASSERT_EQ(AddVirtualRoot("", "/dorvale", site.c_str(), 1, 1), 1);
    ASSERT_EQ(AddVirtualRoot("", "/theirs", outside.c_str(), 1, 0), 1);

    // A service of the installation, running, and one made by another installation.
    const std::string command = "/bin/sleep 300";
    ASSERT_EQ(
        InstallNTService("DorvaleIndex", "Index", 0x10, 2, 1, command.c_str(), "", "", "", ""), 1);
    ASSERT_EQ(StartNTService("DorvaleIndex"), 1);
    services::CServiceDefinition foreign;
    foreign.commandLine = command;
    foreign.installedBy = Dir("other") + "/_UNINST.INI";
    std::string error;
    ASSERT_TRUE(services::CreateService("Foreign", foreign, error)) << error;

    // The removal command sees the order: the service has stopped, the data source is
    // still there.
    const std::string undo = Install() + "/undo.sh";
    const std::string seen = Install() + "/seen";
    testsupport::WriteFile(undo, "#!/bin/sh\n"
                                 "if [ -e '" +
                                     services::ServiceRunDirectory() +
                                     "/DorvaleIndex.pid' ]; then s=running; else s=stopped; fi\n"
                                     "if grep -q '^\\[Dorvale\\]' \"$ODBCSYSINI/odbc.ini\"; then "
                                     "d=present; else d=gone; fi\n"
                                     "echo \"$1 $s $d\" >> '" +
                                     seen + "'\n");
    fs::permissions(undo, fs::perms::owner_all);
    ASSERT_EQ(ExecuteApplication("/bin/true", "", (undo + " first").c_str(), 1), 1);
    ASSERT_EQ(ExecuteApplication("/bin/true", "", (undo + " second").c_str(), 1), 1);

    MakeDataSource("Dorvale", Record());
    MakeDataSource("Production", "");
    AddRecord(removalrecord::ODBC_SECTION, "DataSource1",
              std::string(testsupport::SQLITE_DRIVER_NAME) + ";Dorvale");
    AddRecord(removalrecord::ODBC_SECTION, "DataSource2", "Production");
    AddRecord(removalrecord::ODBC_SECTION, "Driver1", "SQLite3");
    AddRecord(removalrecord::SERVICE_SECTION, "Foreign", "ntservice");
    AddRecord(removalrecord::SERVICE_SECTION, "Skipped", "SOMETHING ELSE");
    AddRecord(removalrecord::VIRTUAL_ROOTS_SECTION, "/W3SVC/1", "IIS40ROOT");
    AddRecord(removalrecord::PROGRAMS_SECTION, "/bin/true#3", "/bin/rm -rf " + outside);

    EXPECT_EQ(Uninstall(), 5);
    EXPECT_THAT(
        m_reports,
        AllOf(
            Contains(HasSubstr(
                "left [DataSource2] data source Production: not made by this installation")),
            Contains(HasSubstr("left [Foreign] service Foreign: not made by this installation")),
            Contains(HasSubstr("/W3SVC/1/Root/theirs: its directory " + outside)),
            Contains(HasSubstr("/W3SVC/1: not a virtual directory's key")),
            Contains(HasSubstr("\"/bin/rm -rf " + outside + "\": not of the program /bin/true"))));
    EXPECT_THAT(m_reports, Not(Contains(HasSubstr("Driver1"))));

    // Gone: the root and its application, the service, the data source; the commands ran
    // last first, between the services and the data sources.
    EXPECT_FALSE(MetabaseHas("W3SVC/1/ROOT/dorvale", MD_VR_PATH));
    EXPECT_FALSE(MetabaseHas("W3SVC/1/ROOT/dorvale", MD_APP_ROOT));
    EXPECT_EQ(GetNTServiceStatus("DorvaleIndex"), -1);
    EXPECT_FALSE(DataSourceExists(EDataSourceScope::System, "Dorvale"));
    EXPECT_EQ(testsupport::ReadFile(seen), "second stopped present\nfirst stopped present\n");
    // Kept: what the installation did not make.
    EXPECT_TRUE(MetabaseHas("W3SVC/1/ROOT/theirs", MD_VR_PATH));
    EXPECT_TRUE(MetabaseHas("W3SVC/1", MD_SERVER_COMMENT));
    EXPECT_NE(GetNTServiceStatus("Foreign"), -1);
    EXPECT_TRUE(DataSourceExists(EDataSourceScope::System, "Production"));
    EXPECT_TRUE(fs::is_directory(outside));

    // Run again, there is nothing left of its own to remove: each entry says so.
    EXPECT_GE(Uninstall(), 5);
    EXPECT_THAT(m_reports, Contains(HasSubstr("[DorvaleIndex] service DorvaleIndex: not there")));
    EXPECT_THAT(m_reports, Not(Contains(HasSubstr("left [DorvaleIndex]"))));
}

TEST_F(UninstTest, RegistryRootsStoppedServicesNamesWithoutDriverAndUntrustedRecords) {
    const std::string site = Dir("prefix/site");
    ASSERT_EQ(AddVirtualRoot("", "/dorvale", site.c_str(), 1, 0), 1);
    ASSERT_EQ(AddVirtualRoot("", "/other", Dir("elsewhere").c_str(), 1, 0), 1);
    // A service that is not running is deleted all the same.
    ASSERT_EQ(InstallNTService("DorvaleIndex", "", 0x10, 3, 1, "/bin/sleep 300", "", "", "", ""),
              1);
    // A value without ";" names the data source, with no driver.
    MakeDataSource("Dorvale", Record());
    AddRecord(removalrecord::ODBC_SECTION, "DATASOURCE", "Dorvale");

    EXPECT_EQ(Uninstall(), 1);
    EXPECT_THAT(m_reports, Contains(HasSubstr("virtual root /other,")));
    CRegKey roots;
    ASSERT_EQ(roots.Open(HKEY_LOCAL_MACHINE, settings::VirtualRootsKey), ERROR_SUCCESS);
    std::string data;
    EXPECT_NE(roots.QueryStringValue("/dorvale,", data), ERROR_SUCCESS);
    EXPECT_EQ(roots.QueryStringValue("/other,", data), ERROR_SUCCESS);
    EXPECT_EQ(GetNTServiceStatus("DorvaleIndex"), -1);
    EXPECT_FALSE(DataSourceExists(EDataSourceScope::System, "Dorvale"));

    // A record others may write is not read; a missing one is nothing to do.
    fs::permissions(Record(), fs::perms::group_write, fs::perm_options::add);
    MakeDataSource("Dorvale", Record());
    EXPECT_EQ(Uninstall(), -1);
    EXPECT_THAT(m_reports, Contains(HasSubstr("others than its owner")));
    EXPECT_TRUE(DataSourceExists(EDataSourceScope::System, "Dorvale"));
    fs::remove(Record());
    EXPECT_EQ(Uninstall(), -1);
    EXPECT_THAT(m_reports, Contains(HasSubstr("no removal record")));
    // Without "-c" on this process's command line UninstInitialize finds no record.
    EXPECT_EQ(UninstInitialize(), 0);
    EXPECT_EQ(UninstUnInitialize(), 0);
    EXPECT_TRUE(DataSourceExists(EDataSourceScope::System, "Dorvale"));
}

} // namespace
