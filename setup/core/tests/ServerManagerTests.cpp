// The registry kind of server manager over real registry hives, and the check of an area's
// aliases against its virtual roots.

#include "IISRegistryManager.h"
#include "Registry.h"
#include "SetupTestSupport.h"
#include "VirtualDirectoryCheck.h"

using prompt::CScriptedPrompt;
using prompt::EAnswer;

namespace {

std::string RawRoot(const std::string& service, const std::string& name, DWORD* size = nullptr) {
    CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, CIISRegistryManager::VirtualRootsKey(service).c_str(),
                 KEY_READ) != ERROR_SUCCESS) {
        return "<no key>";
    }
    char data[600] = {};
    DWORD length = sizeof data;
    DWORD type = 0;
    if (RegQueryValueEx(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                        &length) != ERROR_SUCCESS) {
        return "<absent>";
    }
    if (size != nullptr) {
        *size = length;
    }
    return std::string(data, length);
}

void SetRoot(const std::string& service, const std::string& name, const std::string& data) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, CIISRegistryManager::VirtualRootsKey(service).c_str()),
              ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(name.c_str(), data.c_str()), ERROR_SUCCESS);
}

class RegistryManagerTest : public SetupTest {};

} // namespace

TEST_F(RegistryManagerTest, RootsAreStoredReadChangedAndDeletedAsTheServicesKeepThem) {
    CIISRegistryManager web(WEB_SERVICE_NAME);
    EXPECT_EQ(web.ServerKind(), SERVER_KIND_REGISTRY);
    EXPECT_EQ(web.GetServiceName(), "W3SVC");
    EXPECT_TRUE(web.AddRoot("/files", "/srv/web/files", 1));
    DWORD size = 0;
    EXPECT_EQ(RawRoot("W3SVC", "/files", &size), "/srv/web/files,,1");
    EXPECT_EQ(size, 17u); // without a NUL
    std::string path;
    unsigned permissions = 0;
    ASSERT_TRUE(web.GetRoot("/FILES", path, permissions)); // names ignore case
    EXPECT_EQ(path, "/srv/web/files");
    EXPECT_EQ(permissions, 1u);
    EXPECT_TRUE(web.UpdateRoot("/files", "/srv/other", 3));
    EXPECT_EQ(RawRoot("W3SVC", "/files"), "/srv/other,,3");
    EXPECT_TRUE(web.DeleteRoot("/files"));
    EXPECT_EQ(RawRoot("W3SVC", "/files"), "<absent>");
    EXPECT_FALSE(web.DeleteRoot("/files"));
    EXPECT_FALSE(web.UpdateRoot("/files", "/x", 1)); // nothing to update: nothing added
    EXPECT_EQ(RawRoot("W3SVC", "/files"), "<absent>");

    // A root named with a trailing comma is found under its alias, and deleted so.
    SetRoot("W3SVC", "/pub,", "/srv/pub,IUSR,5");
    ASSERT_TRUE(web.GetRoot("/pub", path, permissions));
    EXPECT_EQ(path, "/srv/pub");
    EXPECT_EQ(permissions, 5u);
    EXPECT_TRUE(web.DeleteRoot("/pub"));
    EXPECT_EQ(RawRoot("W3SVC", "/pub,"), "<absent>");

    // Data with fewer fields reads permissions 0; a directory holding commas survives.
    SetRoot("W3SVC", "/short", "/srv/short");
    ASSERT_TRUE(web.GetRoot("/short", path, permissions));
    EXPECT_EQ(path, "/srv/short");
    EXPECT_EQ(permissions, 0u);
    EXPECT_TRUE(web.AddRoot("/comma", "/srv/a,b,c", 3));
    ASSERT_TRUE(web.GetRoot("/comma", path, permissions));
    EXPECT_EQ(path, "/srv/a,b,c");
    EXPECT_EQ(permissions, 3u);

    // The FTP service keeps its own roots; the anonymous account is in its parameters.
    CIISRegistryManager ftp(FTP_SERVICE_NAME);
    EXPECT_FALSE(ftp.GetRoot("/comma", path, permissions));
    EXPECT_EQ(ftp.GetAnonymousUser(), "");
    CRegKey parameters;
    ASSERT_EQ(parameters.Create(HKEY_LOCAL_MACHINE,
                                CIISRegistryManager::ParametersKey("MSFTPSVC").c_str()),
              ERROR_SUCCESS);
    ASSERT_EQ(parameters.SetStringValue("AnonymousUserName", "ftp"), ERROR_SUCCESS);
    EXPECT_EQ(ftp.GetAnonymousUser(), "ftp");
    EXPECT_EQ(web.GetAnonymousUser(), "");

    EXPECT_THROW(CIISRegistryManager("W3SVC", "elsewhere.example"), CIISInitException);
}

TEST_F(RegistryManagerTest, ParentRootsAndAliasesForDirectories) {
    CIISRegistryManager web(WEB_SERVICE_NAME);
    std::string alias;
    std::string name;
    EXPECT_FALSE(web.AliasForPath("/web/files/", alias));
    EXPECT_FALSE(web.FindParentRoot("/files", name));

    ASSERT_TRUE(web.AddRoot("/", "/web", 1));
    ASSERT_TRUE(web.AliasForPath("/web/files/", alias));
    EXPECT_EQ(alias, "/files");
    ASSERT_TRUE(web.AliasForPath("/web/files/new/", alias));
    EXPECT_EQ(alias, "/files/new");
    // A longer root path is the better match.
    ASSERT_TRUE(web.AddRoot("/pub", "/web/files", 1));
    ASSERT_TRUE(web.AliasForPath("/web/files/", alias));
    EXPECT_EQ(alias, "/pub/");
    ASSERT_TRUE(web.AliasForPath("/web/files", alias)); // the very directory
    EXPECT_EQ(alias, "/pub");
    // A root's directory is a parent only up to a name's end: /web/files is not above
    // /web/filesystem.
    ASSERT_TRUE(web.AliasForPath("/web/filesystem/", alias));
    EXPECT_EQ(alias, "/filesystem");
    EXPECT_FALSE(web.AliasForPath("/elsewhere/", alias));

    std::string path;
    ASSERT_TRUE(web.FindParentRoot("/pub/new", name, &path));
    EXPECT_EQ(name, "/pub");
    EXPECT_EQ(path, "/web/files");
    ASSERT_TRUE(web.FindParentRoot("/PUB", name));
    EXPECT_EQ(name, "/pub");
    ASSERT_TRUE(web.FindParentRoot("/public", name)); // under "/", not under "/pub"
    EXPECT_EQ(name, "/");

    // Roots bound to a host address take no part.
    SetRoot("W3SVC", "/only,10.0.0.1", "/web/only,,1");
    ASSERT_TRUE(web.FindParentRoot("/only", name));
    EXPECT_EQ(name, "/");
    ASSERT_TRUE(web.AliasForPath("/web/only/", alias));
    EXPECT_EQ(alias, "/only");
}

namespace {

class VirtualDirectoryTest : public SetupTest {
protected:
    void SetUp() override {
        SetupTest::SetUp();
        m_web = std::make_unique<CIISRegistryManager>(WEB_SERVICE_NAME);
        m_ftp = std::make_unique<CIISRegistryManager>(FTP_SERVICE_NAME);
        m_area.hostedLocally = true;
        m_area.downloads = true;
        m_area.path = "/web/files/";
    }

    bool Check(CIISManagerBase& manager, std::string& alias) {
        const bool http = &manager == m_web.get();
        return CheckVirtualDirectory(
            manager, http ? "HTTP" : "FTP", http, m_area, alias, m_script, m_changed,
            [this](const std::string& path, const std::string& account, EAnonymousAccess access) {
                m_granted.push_back(path + " " + account + " " +
                                    std::to_string(static_cast<int>(access)));
            });
    }

    std::unique_ptr<CIISRegistryManager> m_web;
    std::unique_ptr<CIISRegistryManager> m_ftp;
    CAreaPublishing m_area;
    CScriptedPrompt m_script;
    bool m_changed = false;
    std::vector<std::string> m_granted;
};

} // namespace

TEST_F(VirtualDirectoryTest, AliasesAreCreatedAcceptedOrRefused) {
    // Not hosted, or no alias: accepted without a look.
    std::string alias = "files";
    m_area.hostedLocally = false;
    EXPECT_TRUE(Check(*m_web, alias));
    EXPECT_EQ(alias, "files");
    m_area.hostedLocally = true;
    alias.clear();
    EXPECT_TRUE(Check(*m_web, alias));

    // No root at all: told, and accepted.
    alias = "files/";
    m_script.Expect("Could not retrieve path information for the specified HTTP virtual root.",
                    "Warning");
    EXPECT_TRUE(Check(*m_web, alias));
    EXPECT_EQ(alias, "/files");
    EXPECT_FALSE(m_changed);

    // Below a root of another directory: the root is created on Yes, refused on No.
    ASSERT_TRUE(m_web->AddRoot("/", "/srv/site", 1));
    m_script.Expect("The HTTP Virtual Directory does not exist but is required. Would you like to "
                    "create it?",
                    "Question", EAnswer::No);
    EXPECT_FALSE(Check(*m_web, alias));
    EXPECT_FALSE(m_changed);
    m_script.Expect("The HTTP Virtual Directory does not exist but is required. Would you like to "
                    "create it?",
                    "Question", EAnswer::Yes);
    EXPECT_TRUE(Check(*m_web, alias));
    EXPECT_TRUE(m_changed);
    EXPECT_EQ(RawRoot("W3SVC", "/files"), "/web/files/,,1");

    // Now the alias is that root, with the permissions wanted: accepted without a question.
    m_changed = false;
    EXPECT_TRUE(Check(*m_web, alias));
    EXPECT_FALSE(m_changed);

    // The same alias for another directory is refused.
    m_area.path = "/web/other/";
    m_script.Expect("The HTTP virtual directory is already in use for another physical path.",
                    "Warning");
    EXPECT_FALSE(Check(*m_web, alias));
    EXPECT_SCRIPT_DONE(m_script);
    EXPECT_TRUE(m_granted.empty()); // no anonymous account configured
}

TEST_F(VirtualDirectoryTest, PermissionsOfSubdirectoriesAndRootsAndTheAnonymousAccount) {
    // /pub/new below /pub, whose directory is the area's parent: served as it is.
    ASSERT_TRUE(m_web->AddRoot("/pub", "/web", 1));
    std::string alias = "/pub/new";
    m_area.path = "/web/new/";
    EXPECT_TRUE(Check(*m_web, alias));
    EXPECT_FALSE(m_changed);
    // Other permissions wanted (no downloads): a root of its own is offered.
    m_area.downloads = false;
    m_script.Expect("The HTTP subdirectory directory does not match the specified permissions. "
                    "Would you like to create a new virtual root?",
                    "Question", EAnswer::No);
    EXPECT_FALSE(Check(*m_web, alias));
    m_script.Expect("The HTTP subdirectory directory does not match the specified permissions. "
                    "Would you like to create a new virtual root?",
                    "Question", EAnswer::Yes);
    EXPECT_TRUE(Check(*m_web, alias));
    EXPECT_TRUE(m_changed);
    EXPECT_EQ(RawRoot("W3SVC", "/pub/new"), "/web/new/,,0");

    // An FTP root with read only, for an area taking uploads: the permissions are updated
    // to read and write, other bits kept.
    ASSERT_TRUE(m_ftp->AddRoot("/incoming", "/web/in", 1 | 0x200));
    m_area.path = "/web/in/";
    m_area.downloads = true;
    m_area.uploads = true;
    alias = "/incoming/";
    m_changed = false;
    m_script.Expect("Would you like to update the permissions on the specified FTP virtual "
                    "directory?",
                    "Security Warning", EAnswer::No);
    EXPECT_FALSE(Check(*m_ftp, alias));
    EXPECT_FALSE(m_changed);
    m_script.Expect("Would you like to update the permissions on the specified FTP virtual "
                    "directory?",
                    "Security Warning", EAnswer::Yes);
    CRegKey parameters;
    ASSERT_EQ(parameters.Create(HKEY_LOCAL_MACHINE,
                                CIISRegistryManager::ParametersKey("MSFTPSVC").c_str()),
              ERROR_SUCCESS);
    ASSERT_EQ(parameters.SetStringValue("AnonymousUserName", "ftp"), ERROR_SUCCESS);
    EXPECT_TRUE(Check(*m_ftp, alias));
    EXPECT_TRUE(m_changed);
    EXPECT_EQ(alias, "/incoming");
    EXPECT_EQ(RawRoot("MSFTPSVC", "/incoming"), "/web/in/,," + std::to_string(3 | 0x200));
    // The FTP account may change the directory of an area taking uploads; for the web
    // check of the same area it may read.
    ASSERT_EQ(m_granted.size(), 1u);
    EXPECT_EQ(m_granted[0], "/web/in ftp 0");

    // An existing FTP alias pointing elsewhere is refused.
    m_area.path = "/web/else/";
    m_script.Expect("The FTP virtual directory is already in use for another physical path.",
                    "Warning");
    EXPECT_FALSE(Check(*m_ftp, alias));
    EXPECT_SCRIPT_DONE(m_script);
}
