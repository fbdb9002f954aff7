// The exports of libinstallext over a private registry, metabase and record file: server
// detection, virtual directories of both kinds, services, programs, file patchers, the
// access-list tool and what the machine is asked about. Each export is called through its
// C entry point, as the install program calls it.

#include "ComTestSupport.h"
#include "IniFile.h"
#include "InstallExt.h"
#include "InstalledServices.h"
#include "Metabase.h"
#include "Registry.h"
#include "Services.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;
namespace fs = std::filesystem;

namespace {

std::string LastError() {
    char text[1024];
    GetInstallExtError(text, sizeof text);
    return text;
}

class InstallExtTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_env.InitResult()));
        SetUninstallINI(Record().c_str());
    }
    void TearDown() override {
        SetUninstallINI(nullptr);
        for (const char* name : {"DorvaleTest", "DorvaleQuick"}) {
            std::string ignored;
            services::DeleteService(name, ignored);
        }
    }

    std::string Record() const { return (m_env.Dir() / "_UNINST.INI").string(); }
    std::string Dir(const std::string& name) const {
        fs::create_directories(m_env.Dir() / name);
        return (m_env.Dir() / name).string();
    }
    std::vector<std::pair<std::string, std::string>> Recorded(const char* section) const {
        inifile::CIniFile file;
        std::string error;
        EXPECT_TRUE(file.Load(Record(), error)) << error;
        return file.Section(section);
    }
    void RegisterMetabase() {
        ASSERT_EQ(comtest::CallRegistrationEntry(METABASE_LIBRARY), S_OK);
        CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
        ASSERT_TRUE(admin);
        metabase::CMetabaseKey lm(admin);
        ASSERT_EQ(lm.Open("/LM", true, 1000), S_OK);
        for (const auto& [path, comment] :
             {std::pair{"W3SVC/1", "Default Web Site"}, {"W3SVC/2", "Intranet"}}) {
            ASSERT_EQ(admin->AddKey(lm.Get(), (std::string(path) + "/ROOT").c_str()), S_OK);
            ASSERT_EQ(lm.SetString(path, MD_SERVER_COMMENT, comment, IIS_MD_UT_SERVER), S_OK);
        }
        ASSERT_EQ(lm.Close(), S_OK);
    }

    comtest::CComTestEnvironment m_env;
};

TEST_F(InstallExtTest, RegistryKindVirtualRootsAndNothingRecordedWithoutARecordFile) {
    int version = -1;
    EXPECT_EQ(IsDCOMInstalled(), 1);
    EXPECT_EQ(IsIIS40Installed(), 0);
    EXPECT_EQ(IsIISInstalled(&version), 0);
    EXPECT_EQ(version, 0);
    // The web service as dorvale-serve registers it, and the page runtime's parameters.
    services::CServiceConfig web;
    web.imagePath = "/usr/bin/dorvale-serve --service web";
    web.pidFile = Dir("run") + "/nginx.pid";
    std::string error;
    ASSERT_TRUE(services::RegisterService("W3SVC", web, error)) << error;
    EXPECT_EQ(IsIISInstalled(&version), 0) << "no page runtime yet";
    CRegKey asp;
    ASSERT_EQ(asp.Create(HKEY_LOCAL_MACHINE,
                         "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\ASP\\Parameters"),
              ERROR_SUCCESS);
    EXPECT_EQ(IsIISInstalled(&version), 1);
    EXPECT_EQ(version, 3);

    const std::string site = Dir("site");
    EXPECT_EQ(AddVirtualRoot("", "dorvale", site.c_str(), 1, 3), 1) << LastError();
    CRegKey roots;
    ASSERT_EQ(roots.Open(HKEY_LOCAL_MACHINE,
                         "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters\\Virtual Roots"),
              ERROR_SUCCESS);
    std::string data;
    ASSERT_EQ(roots.QueryStringValue("/dorvale,", data), ERROR_SUCCESS);
    EXPECT_EQ(data, site + ",,1");
    EXPECT_THAT(Recorded("Virtual Roots Remove"), ElementsAre(Pair("/dorvale,", "IIS30ROOT")));
    EXPECT_THAT(Recorded("Virtual Root Applications Remove"), ElementsAre());

    // Without a record file the change is made all the same, and nothing is written.
    fs::remove(Record());
    SetUninstallINI("");
    EXPECT_EQ(AddVirtualRoot("", "/other", site.c_str(), 3, 0), 1);
    ASSERT_EQ(roots.QueryStringValue("/other,", data), ERROR_SUCCESS);
    EXPECT_EQ(data, site + ",,3");
    EXPECT_FALSE(fs::exists(Record()));
    EXPECT_EQ(AddVirtualRoot("", "", site.c_str(), 1, 0), 0);
}

TEST_F(InstallExtTest, MetabaseKindFindsTheSiteByItsNameAndRecordsRootAndApplication) {
    RegisterMetabase();
    int version = 0;
    EXPECT_EQ(IsIIS40Installed(), 1);
    EXPECT_EQ(IsIISInstalled(&version), 1);
    EXPECT_EQ(version, 4);
    std::vector<std::pair<std::string, int>> listed;
    auto add = [](void* list, const char* name, int selected) {
        static_cast<std::vector<std::pair<std::string, int>>*>(list)->emplace_back(name, selected);
    };
    EXPECT_EQ(FillIISWebServerList(&listed, add, "W3SVC"), 2);
    EXPECT_THAT(listed, ElementsAre(Pair("Default Web Site", 1), Pair("Intranet", 0)));

    const std::string site = Dir("site");
    EXPECT_EQ(AddVirtualRoot("INTRANET", "dorvale/pages", site.c_str(), 1, 3), 1) << LastError();
    EXPECT_EQ(AddVirtualRoot("", "/plain", site.c_str(), 1, 0), 1) << LastError();
    EXPECT_EQ(AddVirtualRoot("No Such Site", "/x", site.c_str(), 1, 0), 0);
    EXPECT_THAT(LastError(), HasSubstr("No Such Site"));
    // A directory no server may publish is refused, and not recorded.
    EXPECT_EQ(AddVirtualRoot("", "/etc", "/etc", 1, 0), 0);

    CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
    metabase::CMetabaseKey key(admin);
    ASSERT_EQ(key.Open("/LM/W3SVC", false, 1000), S_OK);
    std::string text;
    DWORD number = 0;
    EXPECT_TRUE(key.GetString("2/ROOT/dorvale/pages", MD_VR_PATH, text));
    EXPECT_EQ(text, site);
    EXPECT_TRUE(key.GetDword("2/ROOT/dorvale/pages", MD_ACCESS_PERM, number));
    EXPECT_EQ(number, 1u);
    EXPECT_TRUE(key.GetDword("2/ROOT/dorvale/pages", MD_IS_CONTENT_INDEXED, number));
    EXPECT_EQ(number, 1u);
    EXPECT_TRUE(key.GetString("2/ROOT/dorvale/pages", MD_APP_ROOT, text));
    EXPECT_EQ(text, "/LM/W3SVC/2/Root/dorvale/pages");
    EXPECT_TRUE(key.GetDword("1/ROOT/plain", MD_IS_CONTENT_INDEXED, number));
    EXPECT_EQ(number, 0u);
    EXPECT_FALSE(key.GetString("1/ROOT/plain", MD_APP_ROOT, text));
    EXPECT_FALSE(key.GetString("1/ROOT/etc", MD_VR_PATH, text));
    EXPECT_THAT(Recorded("Virtual Roots Remove"),
                ElementsAre(Pair("/W3SVC/2/Root/dorvale/pages", "IIS40ROOT"),
                            Pair("/W3SVC/1/Root/plain", "IIS40ROOT")));
    EXPECT_THAT(Recorded("Virtual Root Applications Remove"),
                ElementsAre(Pair("/W3SVC/2/Root/dorvale/pages", "IIS40VIRTUALAPP")));
}

TEST_F(InstallExtTest, ServicesAreCreatedStartedStoppedReplacedAndDeleted) {
    EXPECT_EQ(GetNTServiceStatus("DorvaleTest"), -1);
    const std::string marker = Dir("svc") + "/started";
    const std::string program = Dir("svc") + "/test service";
    testsupport::WriteFile(program,
                           "#!/bin/sh\necho \"$@\" > \"" + marker + "\"\nexec sleep 300\n");
    fs::permissions(program, fs::perms::owner_all);
    const std::string command = "\"" + program + "\" --flag 'two words' ';' '$(id)'";
    ASSERT_EQ(InstallNTService("DorvaleTest", "Dorvale Test", 0x10, 3, 1, command.c_str(), "",
                               "Tcpip|Afd", "", "secret"),
              1)
        << LastError();
    services::CServiceDefinition definition;
    ASSERT_TRUE(services::ReadServiceDefinition("DorvaleTest", definition));
    EXPECT_THAT(definition.dependencies, ElementsAre("Tcpip", "Afd"));
    EXPECT_EQ(definition.installedBy, Record());
    EXPECT_EQ(GetNTServiceStatus("DorvaleTest"), 1);

    ASSERT_EQ(StartNTService("DorvaleTest"), 1) << LastError();
    EXPECT_EQ(GetNTServiceStatus("DorvaleTest"), 4);
    // The arguments arrive as they were quoted, none of them run by a shell.
    for (int i = 0; i < 50 && !fs::exists(marker); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(testsupport::ReadFile(marker), "--flag two words ; $(id)\n");
    ASSERT_EQ(StopNTService("DorvaleTest"), 1) << LastError();
    for (int i = 0; i < 100 && GetNTServiceStatus("DorvaleTest") == 4; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(GetNTServiceStatus("DorvaleTest"), 1);
    EXPECT_EQ(StopNTService("DorvaleTest"), 0) << "it does not run";

    // Installed again while it runs: the running one is stopped and replaced.
    ASSERT_EQ(StartNTService("DorvaleTest"), 1) << LastError();
    const long firstPid = services::ServicePid("DorvaleTest");
    ASSERT_EQ(InstallNTService("DorvaleTest", "Dorvale Test 2", 0x10, 2, 1, command.c_str(), "", "",
                               "LocalSystem", ""),
              1)
        << LastError();
    EXPECT_EQ(GetNTServiceStatus("DorvaleTest"), 1);
    EXPECT_GT(firstPid, 0);
    EXPECT_EQ(services::ServicePid("DorvaleTest"), 0);
    ASSERT_EQ(StartNTService("DorvaleTest"), 1) << LastError();
    EXPECT_EQ(DeleteNTService("DorvaleTest"), 1) << LastError();
    EXPECT_EQ(GetNTServiceStatus("DorvaleTest"), -1);
    EXPECT_EQ(DeleteNTService("DorvaleTest"), 0);
    EXPECT_THAT(Recorded("Service Remove"), ElementsAre(Pair("DorvaleTest", "NTSERVICE")));

    // Refused: a program not named by its full path, a name that is not one, a program that
    // ends at once (its start fails, saying what it said).
    EXPECT_EQ(InstallNTService("DorvaleQuick", "", 0x10, 3, 1, "sleep 300", "", "", "", ""), 0);
    EXPECT_THAT(LastError(), HasSubstr("absolute path"));
    EXPECT_EQ(InstallNTService("../evil", "", 0x10, 3, 1, "/bin/sleep 1", "", "", "", ""), 0);
    const std::string quick = Dir("svc") + "/quick";
    testsupport::WriteFile(quick, "#!/bin/sh\necho 'cannot open the index'\nexit 3\n");
    fs::permissions(quick, fs::perms::owner_all);
    ASSERT_EQ(InstallNTService("DorvaleQuick", "", 0x10, 3, 1, quick.c_str(), "", "", "", ""), 1);
    EXPECT_EQ(StartNTService("DorvaleQuick"), 0);
    EXPECT_THAT(LastError(), HasSubstr("cannot open the index"));
}

TEST_F(InstallExtTest, ProgramsRunWithoutAShellAndEveryRemovalCommandIsKept) {
    const std::string out = Dir("run") + "/args";
    // The arguments a shell would have expanded arrive as written.
    ASSERT_EQ(ExecuteApplication(
                  "/bin/sh",
                  ("-c 'printf \"%s|\" \"$@\" > \"$0\"' '" + out + "' 'a b' '$(touch pwned)' '*'")
                      .c_str(),
                  "/bin/true --undo 'a b'", 1),
              1)
        << LastError();
    EXPECT_EQ(testsupport::ReadFile(out), "a b|$(touch pwned)|*|");
    EXPECT_FALSE(fs::exists("pwned"));
    // The same program recorded twice keeps both removal commands; the same command once.
    ASSERT_EQ(ExecuteApplication("/bin/sh", "-c 'exit 0'", "/bin/true second", 1), 1);
    ASSERT_EQ(ExecuteApplication("/bin/sh", "-c 'exit 0'", "/bin/true second", 1), 1);
    // Waited for, a program that fails is a failure; not waited for, a start is success.
    EXPECT_EQ(ExecuteApplication("/bin/sh", "-c 'exit 3'", "", 1), 0);
    EXPECT_THAT(LastError(), HasSubstr("code 3"));
    EXPECT_EQ(ExecuteApplication("/bin/sh", "-c 'exit 3'", "", 0), 1);
    EXPECT_EQ(ExecuteApplication("/no/such/program", "", "/bin/true x", 1), 0);
    EXPECT_EQ(ExecuteApplication("/bin/true", "'unterminated", "", 1), 0);
    EXPECT_THAT(Recorded("Executed Programs Remove"),
                ElementsAre(Pair("/bin/sh", "/bin/true --undo 'a b'"),
                            Pair("/bin/sh#2", "/bin/true second")));
}

TEST_F(InstallExtTest, FilePatchersRewriteOnlyTheirLines) {
    const std::string script = Dir("files") + "/create.sql";
    testsupport::WriteFile(script, "CREATE DATABASE x ON (FILENAME='%DATAPATH%/x.mdf')\r\n"
                                   "-- twice: %DATAPATH%/a %DATAPATH%/b\r\n"
                                   "ATTACH '%DATAPATH%catalogue.db'\n"
                                   "no placeholder");
    fs::permissions(script, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_EQ(ModifySQLScriptDataPath(script.c_str(), "/srv/data/"), 1);
    // The separator after the placeholder gives way to the path's own; a letter never does.
    EXPECT_EQ(testsupport::ReadFile(script), "CREATE DATABASE x ON (FILENAME='/srv/data/x.mdf')\r\n"
                                             "-- twice: /srv/data/a %DATAPATH%/b\r\n"
                                             "ATTACH '/srv/data/catalogue.db'\n"
                                             "no placeholder");
    EXPECT_EQ(fs::status(script).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    const std::string query = Dir("files") + "/query.idq";
    testsupport::WriteFile(query,
                           "[Query]\nCiCatalog=C:\\old\nCiScope=/\nCiMaxRecordsPerPage=10\n");
    ASSERT_EQ(FixIndexServerFile(query.c_str(), "", ""), 1);
    EXPECT_EQ(testsupport::ReadFile(query), "[Query]\n\nCiScope=/\nCiMaxRecordsPerPage=10\n");
    ASSERT_EQ(FixIndexServerFile(query.c_str(), "/srv/index", "/dorvale"), 1);
    EXPECT_EQ(testsupport::ReadFile(query),
              "[Query]\n\nCiScope=/dorvale\nCiMaxRecordsPerPage=10\n");

    const std::string global = Dir("files") + "/global.asa";
    testsupport::WriteFile(global, "Sub Application_OnStart\r\n"
                                   "  Application(\"DataConn_ConnectionString\") = \"DSN=Old\"\r\n"
                                   "  Application(\"Other\") = 1\r\n"
                                   "End Sub\r\n");
    ASSERT_EQ(FixGlobalASADSN(global.c_str(), "DSN=Dorvale;Description=\"x\""), 1);
    EXPECT_EQ(
        testsupport::ReadFile(global),
        "Sub Application_OnStart\r\n"
        "  Application(\"DataConn_ConnectionString\") = \"DSN=Dorvale;Description=\"\"x\"\"\"\r\n"
        "  Application(\"Other\") = 1\r\n"
        "End Sub\r\n");
    EXPECT_EQ(FixGlobalASADSN((Dir("files") + "/missing").c_str(), "DSN=x"), 0);
    EXPECT_THAT(LastError(), HasSubstr("missing"));
}

TEST_F(InstallExtTest, AdministratorPrivilegesAreSetWithSetfacl) {
    const std::string dir = Dir("area with space");
    auto acl = [&] {
        const testsupport::CProgramResult result =
            testsupport::RunProgram({"/usr/bin/getfacl", "--omit-header", dir});
        return result.out;
    };
    ASSERT_EQ(SetAdministratorPrivilages((dir + "/").c_str(), "nobody", 1, 0), 1) << LastError();
    EXPECT_THAT(acl(), HasSubstr("user:nobody:r-x"));
    ASSERT_EQ(SetAdministratorPrivilages(dir.c_str(), "nobody", 1, 1), 1);
    EXPECT_THAT(acl(), HasSubstr("user:nobody:rwx"));
    ASSERT_EQ(SetAdministratorPrivilages(dir.c_str(), "nobody", 0, 0), 1);
    EXPECT_THAT(acl(), HasSubstr("user:nobody:---"));
    EXPECT_EQ(SetAdministratorPrivilages(dir.c_str(), "nobody:rwx,u:root", 1, 0), 0);
    EXPECT_EQ(SetAdministratorPrivilages(dir.c_str(), "no-such-account-here", 1, 0), 0);
    EXPECT_EQ(SetAdministratorPrivilages((dir + "/missing").c_str(), "nobody", 1, 0), 0);
}

TEST_F(InstallExtTest, HostNameAndTheBrowserFromTheDesktopOrTheClassRegistry) {
    char name[INSTALLEXT_MAX_PATH];
    char expected[INSTALLEXT_MAX_PATH] = {};
    ASSERT_EQ(GetHostName(name), 0);
    gethostname(expected, sizeof expected - 1);
    EXPECT_STREQ(name, expected);

    auto makeProgram = [](const std::string& path) {
        testsupport::WriteFile(path, "#!/bin/sh\n");
        fs::permissions(path, fs::perms::owner_all);
        return path;
    };
    // The desktop's default handler of http links: its entry's Exec program.
    const std::string browser = makeProgram(Dir("bin") + "/my-browser");
    testsupport::WriteFile(Dir("data/applications") + "/my-browser.desktop",
                           "[Desktop Entry]\nType=Application\nName=Mine\nExec=" + browser +
                               " %u\n");
    testsupport::WriteFile(Dir("config") + "/mimeapps.list",
                           "[Default Applications]\nx-scheme-handler/http=my-browser.desktop\n");
    setenv("XDG_DATA_HOME", Dir("data").c_str(), 1);
    setenv("XDG_DATA_DIRS", Dir("nothing").c_str(), 1);
    setenv("XDG_CONFIG_HOME", Dir("config").c_str(), 1);
    char path[INSTALLEXT_MAX_PATH];
    EXPECT_EQ(GetBrowserPath(path), 1) << LastError();
    EXPECT_EQ(std::string(path), browser);

    // Without one, the class registry's command for .htm files: the quoted part, or else the
    // longest leading part that names a file.
    fs::remove(Dir("config") + "/mimeapps.list");
    EXPECT_EQ(GetBrowserPath(path), 0);
    const std::string spaced = makeProgram(Dir("bin dir") + "/web browser");
    makeProgram(Dir("bin dir") + "/web");
    CRegKey htm;
    ASSERT_EQ(htm.Create(HKEY_CLASSES_ROOT, ".htm"), ERROR_SUCCESS);
    ASSERT_EQ(htm.SetStringValue(nullptr, "htmlfile"), ERROR_SUCCESS);
    CRegKey command;
    ASSERT_EQ(command.Create(HKEY_CLASSES_ROOT, "htmlfile\\shell\\open\\command"), ERROR_SUCCESS);
    ASSERT_EQ(command.SetStringValue(nullptr, (spaced + " -nohome %1").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(GetBrowserPath(path), 1) << LastError();
    EXPECT_EQ(std::string(path), spaced);
    ASSERT_EQ(command.SetStringValue(nullptr, ("\"" + spaced + "\" %1").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(GetBrowserPath(path), 1) << LastError();
    EXPECT_EQ(std::string(path), spaced);
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_DATA_DIRS");
    unsetenv("XDG_CONFIG_HOME");
}

} // namespace
