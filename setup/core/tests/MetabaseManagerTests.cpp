// The metabase kind of server manager over the real admin base object: instances found by
// their descriptive names, roots as keys below ROOT, what may be published, and a change the
// running server refuses taken back.

#include "ComTestSupport.h"
#include "IISMetabaseManager.h"
#include "ServerConnection.h"
#include "Services.h"
#include "Settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

namespace {

class MetabaseManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_env.InitResult()));
        ASSERT_EQ(comtest::CallRegistrationEntry(METABASE_LIBRARY), S_OK);
        m_admin = metabase::CreateAdminBase();
        ASSERT_TRUE(m_admin);
        metabase::CMetabaseKey lm(m_admin);
        ASSERT_EQ(lm.Open("/LM", true, 1000), S_OK);
        for (const auto& [path, comment] : {std::pair{"W3SVC/1", "Default Web Site"},
                                            {"W3SVC/2", "Intranet"},
                                            {"MSFTPSVC/1", "Default FTP Site"}}) {
            ASSERT_EQ(m_admin->AddKey(lm.Get(), (std::string(path) + "/ROOT").c_str()), S_OK);
            ASSERT_EQ(lm.SetString(path, MD_SERVER_COMMENT, comment, IIS_MD_UT_SERVER), S_OK);
        }
        ASSERT_EQ(lm.SetString("W3SVC/2/ROOT", MD_VR_PATH, Dir("web")), S_OK);
        ASSERT_EQ(lm.SetDword("W3SVC/2/ROOT", MD_ACCESS_PERM, 1), S_OK);
        ASSERT_EQ(lm.SetString("W3SVC", MD_ANONYMOUS_USER_NAME, "www-data", IIS_MD_UT_SERVER),
                  S_OK);
        ASSERT_EQ(lm.Close(), S_OK);
    }

    std::string Dir(const std::string& name) const {
        fs::create_directories(m_env.Dir() / name);
        return (m_env.Dir() / name).string();
    }

    // The service runs (this very process stands in for it) and its reload ends with `code`.
    void ServiceReloadsWith(const std::string& service, int code) {
        const std::string control = Dir("bin") + "/control-" + service;
        testsupport::WriteFile(control, "#!/bin/sh\necho \"$@\" >>" + Dir("bin") +
                                            "/calls\necho 'refused: bad root' >&2\nexit " +
                                            std::to_string(code) + "\n");
        fs::permissions(control, fs::perms::owner_all);
        testsupport::WriteFile(Dir("bin") + "/pid", std::to_string(getpid()) + "\n");
        services::CServiceConfig config;
        config.imagePath = control + " --service x";
        config.pidFile = Dir("bin") + "/pid";
        std::string error;
        ASSERT_TRUE(services::RegisterService(service, config, error)) << error;
    }

    comtest::CComTestEnvironment m_env;
    CComPtr<IMetabaseAdmin> m_admin;
};

TEST_F(MetabaseManagerTest, InstancesRootsAndMatchingLikeTheRegistryKind) {
    EXPECT_THROW(CIISMetabaseManager(WEB_SERVICE_NAME, "Default Web Site", nullptr),
                 CIISInitException);
    EXPECT_THROW(CIISMetabaseManager(WEB_SERVICE_NAME, "Nowhere", m_admin), CIISInitException);
    EXPECT_THROW(CIISMetabaseManager(WEB_SERVICE_NAME, "Default FTP Site", m_admin),
                 CIISInitException);
    CIISMetabaseManager intranet(WEB_SERVICE_NAME, "Intranet", m_admin);
    EXPECT_EQ(intranet.GetInstance(), 2u);
    EXPECT_EQ(intranet.ServerKind(), SERVER_KIND_METABASE);
    EXPECT_EQ(intranet.GetAnonymousUser(), "www-data");

    // Nobody runs the service: changes are stored, nothing is reloaded.
    const std::string web = Dir("web");
    const std::string files = Dir("web/files");
    ASSERT_TRUE(intranet.AddRoot("/pub", files, 1));
    ASSERT_TRUE(intranet.AddRoot("/pub/new", Dir("new"), 3));
    std::string path;
    unsigned permissions = 0;
    ASSERT_TRUE(intranet.GetRoot("/PUB/NEW", path, permissions));
    EXPECT_EQ(path, Dir("new"));
    EXPECT_EQ(permissions, 3u);
    metabase::CMetabaseKey root(m_admin);
    ASSERT_EQ(root.Open("/LM/W3SVC/2/ROOT", false, 100), S_OK);
    EXPECT_THAT(root.Children(""), ElementsAre("pub"));
    EXPECT_THAT(root.Children("pub"), ElementsAre("new"));
    ASSERT_EQ(root.Close(), S_OK);

    // The root found for an alias, and the alias for a directory.
    std::string name;
    std::string rootPath;
    EXPECT_TRUE(intranet.FindParentRoot("/pub/new/deeper", name, &rootPath));
    EXPECT_EQ(name, "/pub/new");
    EXPECT_TRUE(intranet.FindParentRoot("/other", name, &rootPath));
    EXPECT_EQ(name, "/");
    EXPECT_EQ(rootPath, web);
    std::string alias;
    EXPECT_TRUE(intranet.AliasForPath(files + "/", alias));
    EXPECT_EQ(alias, "/pub/");
    EXPECT_TRUE(intranet.AliasForPath(web + "/docs/", alias));
    EXPECT_EQ(alias, "/docs");

    ASSERT_TRUE(intranet.UpdateRoot("/pub", files, 3));
    ASSERT_TRUE(intranet.GetRoot("/pub", path, permissions));
    EXPECT_EQ(permissions, 3u);
    EXPECT_FALSE(intranet.UpdateRoot("/absent", files, 1));
    ASSERT_TRUE(intranet.SetContentIndexed("/pub", true));
    metabase::CMetabaseKey again(m_admin);
    ASSERT_EQ(again.Open("/LM/W3SVC/2/ROOT/pub", false, 100), S_OK);
    DWORD indexed = 0;
    EXPECT_TRUE(again.GetDword("", MD_IS_CONTENT_INDEXED, indexed));
    EXPECT_EQ(indexed, 1u);
    ASSERT_EQ(again.Close(), S_OK);

    // Deleting a key takes its subkeys; the instance's own ROOT stays.
    ASSERT_TRUE(intranet.DeleteRoot("/pub"));
    EXPECT_FALSE(intranet.GetRoot("/pub/new", path, permissions));
    EXPECT_FALSE(intranet.DeleteRoot("/pub"));
    EXPECT_FALSE(intranet.DeleteRoot("/"));
    EXPECT_TRUE(intranet.GetRoot("/", path, permissions));

    // The other instance is untouched.
    CIISMetabaseManager site(WEB_SERVICE_NAME, "Default Web Site", m_admin);
    EXPECT_FALSE(site.GetRoot("/", path, permissions));
    EXPECT_FALSE(site.FindParentRoot("/pub", name));
}

TEST_F(MetabaseManagerTest, WhatMayNotBePublishedIsRefusedWithTheReason) {
    CIISMetabaseManager manager(FTP_SERVICE_NAME, "Default FTP Site", m_admin);
    std::string path;
    unsigned permissions = 0;
    for (const std::string& directory :
         {std::string("/"), std::string("/etc"), Dir("files") + "/../../../../../../proc",
          m_env.RegistryDir(), m_env.Dir().string()}) {
        EXPECT_FALSE(manager.AddRoot("/pub", directory, 1)) << directory;
        EXPECT_THAT(manager.LastError(), HasSubstr("cannot be published as /pub")) << directory;
        EXPECT_FALSE(manager.GetRoot("/pub", path, permissions)) << directory;
    }
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                                  Dir("db/").c_str()));
    EXPECT_FALSE(manager.AddRoot("/db", Dir("db"), 1));
    EXPECT_TRUE(manager.AddRoot("/pub", Dir("files"), 1)) << manager.LastError();
}

TEST_F(MetabaseManagerTest, TheRunningServerTakesEachChangeOrItIsTakenBack) {
    CIISMetabaseManager manager(FTP_SERVICE_NAME, "Default FTP Site", m_admin);
    ServiceReloadsWith(FTP_SERVICE_NAME, 0);
    ASSERT_TRUE(manager.AddRoot("/pub", Dir("files"), 1)) << manager.LastError();
    EXPECT_EQ(testsupport::ReadFile(Dir("bin") + "/calls"), "reload --service x\n");

    ServiceReloadsWith(FTP_SERVICE_NAME, 1);
    // A refused new root is gone again, a refused change leaves the old root.
    EXPECT_FALSE(manager.AddRoot("/incoming", Dir("incoming"), 3));
    EXPECT_THAT(manager.LastError(), HasSubstr("refused: bad root"));
    std::string path;
    unsigned permissions = 0;
    EXPECT_FALSE(manager.GetRoot("/incoming", path, permissions));
    EXPECT_FALSE(manager.UpdateRoot("/pub", Dir("other"), 3));
    ASSERT_TRUE(manager.GetRoot("/pub", path, permissions));
    EXPECT_EQ(path, Dir("files"));
    EXPECT_EQ(permissions, 1u);
    EXPECT_FALSE(manager.DeleteRoot("/pub"));
    EXPECT_TRUE(manager.GetRoot("/pub", path, permissions));
    EXPECT_EQ(testsupport::ReadFile(Dir("bin") + "/calls"),
              "reload --service x\nreload --service x\nreload --service x\nreload --service x\n");
}

TEST_F(MetabaseManagerTest, ProgramsWithoutDialogsConnectTheNamedOrOnlyInstance) {
    std::unique_ptr<CIISManagerBase> web;
    std::unique_ptr<CIISManagerBase> ftp;
    std::string error;
    // Two web instances and no name: none is guessed.
    ConnectServerManagers(web, ftp, error);
    EXPECT_EQ(web, nullptr);
    EXPECT_EQ(ftp, nullptr);
    EXPECT_THAT(error, HasSubstr("several W3SVC instances"));

    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey,
                                  settings::WebServerName, "Intranet"));
    ASSERT_TRUE(WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey,
                                  settings::FtpServerName, "Default FTP Site"));
    error.clear();
    ConnectServerManagers(web, ftp, error);
    EXPECT_EQ(error, "");
    ASSERT_NE(web, nullptr);
    ASSERT_NE(ftp, nullptr);
    EXPECT_EQ(web->ServerKind(), SERVER_KIND_METABASE);
    EXPECT_EQ(static_cast<CIISMetabaseManager&>(*web).GetInstance(), 2u);
    EXPECT_EQ(ftp->GetServiceName(), FTP_SERVICE_NAME);

    // Without the admin base object, the services' registry keys.
    ASSERT_EQ(comtest::CallRegistrationEntry(METABASE_LIBRARY, true), S_OK);
    ConnectServerManagers(web, ftp, error);
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->ServerKind(), SERVER_KIND_REGISTRY);
}

} // namespace
