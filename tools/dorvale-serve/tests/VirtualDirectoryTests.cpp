// Virtual directories made by the setup core, served at once by a real nginx and a real
// ProFTPD that dorvale-serve runs: files fetched over HTTP and FTP, uploads where write was
// granted and refused where not, permissions changed without a restart, the registry kind
// with the restart offer, and a configuration the server refuses while the old one serves.

#include "ComTestSupport.h"
#include "FileAreaStore.h"
#include "IISMetabaseManager.h"
#include "IISRegistryManager.h"
#include "Process.h"
#include "ServeTestSupport.h"
#include "ServerConnection.h"
#include "Settings.h"
#include "SetupSession.h"
#include "VirtualDirectoryCheck.h"

#include <curl/curl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using prompt::CScriptedPrompt;
using prompt::EAnswer;
using ::testing::HasSubstr;
using namespace servetest;

namespace {

size_t Collect(char* data, size_t size, size_t count, void* to) {
    static_cast<std::string*>(to)->append(data, size * count);
    return size * count;
}

struct CSource {
    std::string bytes;
    std::size_t at = 0;
};

size_t Supply(char* data, size_t size, size_t count, void* from) {
    auto* source = static_cast<CSource*>(from);
    const std::size_t n = std::min(size * count, source->bytes.size() - source->at);
    std::memcpy(data, source->bytes.data() + source->at, n);
    source->at += n;
    return n;
}

// An anonymous FTP download; false when the server refused it.
bool FtpGet(int port, const std::string& path, std::string& body) {
    body.clear();
    CURL* curl = curl_easy_init();
    const std::string url = "ftp://127.0.0.1:" + std::to_string(port) + path;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return result == CURLE_OK;
}

bool FtpPut(int port, const std::string& path, const std::string& bytes) {
    CURL* curl = curl_easy_init();
    const std::string url = "ftp://127.0.0.1:" + std::to_string(port) + path;
    CSource source{bytes};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, Supply);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return result == CURLE_OK;
}

// The restart offer needs no dialog but a message box.
class CNoDialogs : public ISetupUi {
public:
    bool QuickSetup(std::string&) override { return false; }
    bool SelectServer(const std::string&, const std::vector<std::string>&, std::string&) override {
        return false;
    }
};

class VirtualDirectories : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v proftpd >/dev/null 2>&1 || test -x /usr/sbin/proftpd") != 0) {
            GTEST_SKIP() << "proftpd is missing (Debian packages proftpd-core, proftpd-mod-vroot)";
        }
        ASSERT_TRUE(SUCCEEDED(m_com.InitResult()));
        // Each server's account passes through on its way to the areas.
        fs::permissions(m_com.Dir(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        m_env = {m_com.RegistryEnv()};
        m_webPort = FreePort();
        m_ftpPort = FreePort();
        const std::string site = Dir("site");
        Put(site + "/index.asp", "index");
        for (const auto& [name, value] : {std::pair{settings::HttpPath, site},
                                          {settings::InstallDir, Dir("install")},
                                          {settings::DatabasePath, Dir("db")}}) {
            ASSERT_TRUE(
                WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value.c_str()));
        }
        Put(Dir("files/one") + "/one.zip", "first area's file");
        Put(Dir("files/two") + "/two.txt", "second area's file");
    }
    void TearDown() override {
        if (!m_env.empty()) {
            Serve({"stop"});
        }
    }

    std::string Dir(const std::string& name) const {
        fs::create_directories(m_com.Dir() / name);
        return (m_com.Dir() / name).string();
    }

    testsupport::CProgramResult Serve(std::vector<std::string> args) {
        args.insert(args.begin(), testsupport::BuiltProgram("dorvale-serve"));
        args.insert(args.end(), {"--dir", Dir("run")});
        return testsupport::RunProgram(args, m_env);
    }

    testsupport::CProgramResult Start() {
        return Serve({"start", "--port", std::to_string(m_webPort), "--ftp-port",
                      std::to_string(m_ftpPort)});
    }

    bool Check(CIISManagerBase& manager, bool http, const std::string& path, std::string alias,
               bool uploads = true) {
        CAreaPublishing area;
        area.hostedLocally = true;
        area.downloads = true;
        area.uploads = uploads;
        area.path = path + "/";
        return CheckVirtualDirectory(manager, http ? "HTTP" : "FTP", http, area, alias, m_prompt,
                                     m_changed, SystemAccessSetter());
    }

    comtest::CComTestEnvironment m_com;
    std::vector<std::string> m_env;
    int m_webPort = 0;
    int m_ftpPort = 0;
    CScriptedPrompt m_prompt;
    bool m_changed = false;
};

constexpr char CREATE_HTTP[] =
    "The HTTP Virtual Directory does not exist but is required. Would you like to create it?";
constexpr char CREATE_FTP[] =
    "The FTP Virtual Directory does not exist but is required. Would you like to create it?";

TEST_F(VirtualDirectories, MadeInTheMetabaseAndServedOverHttpAndFtpAtOnce) {
    ASSERT_EQ(comtest::CallRegistrationEntry(METABASE_LIBRARY), S_OK);
    const auto started = Start();
    ASSERT_EQ(started.exitCode, 0) << started.err;
    EXPECT_THAT(started.out, HasSubstr("\"Default FTP Site\" is served at ftp://127.0.0.1:" +
                                       std::to_string(m_ftpPort)));

    // The setup program's start: one web site and one FTP site, taken without a question.
    std::unique_ptr<CIISManagerBase> web;
    std::unique_ptr<CIISManagerBase> ftp;
    std::string error;
    ConnectServerManagers(web, ftp, error);
    ASSERT_NE(web, nullptr) << error;
    ASSERT_EQ(web->ServerKind(), SERVER_KIND_METABASE);
    CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
    ftp = std::make_unique<CIISMetabaseManager>(FTP_SERVICE_NAME, "Default FTP Site", admin);
    // The setup program holds the area store for its whole run; the servers reload all the same.
    CFileAreaStore store;
    ASSERT_TRUE(store.OpenForWriting(Dir("db")));
    const long nginx = std::stol(testsupport::ReadFile(Dir("run") + "/nginx.pid"));
    const long proftpd = std::stol(testsupport::ReadFile(Dir("run") + "/ftp/proftpd.pid"));

    // Area one: downloads and uploads. Both roots are made on Yes and served at once.
    const std::string one = Dir("files/one");
    m_prompt.Expect(CREATE_HTTP, "Question", EAnswer::Yes);
    ASSERT_TRUE(Check(*web, true, one, "/pub/one"))
        << static_cast<CIISMetabaseManager&>(*web).LastError();
    m_prompt.Expect(CREATE_FTP, "Question", EAnswer::Yes);
    ASSERT_TRUE(Check(*ftp, false, one, "/one"))
        << static_cast<CIISMetabaseManager&>(*ftp).LastError();
    EXPECT_TRUE(m_changed);
    EXPECT_EQ(Get(m_webPort, "/pub/one/one.zip").body, "first area's file");
    std::string body;
    EXPECT_TRUE(FtpGet(m_ftpPort, "/one/one.zip", body));
    EXPECT_EQ(body, "first area's file");
    EXPECT_TRUE(FtpPut(m_ftpPort, "/one/up.zip", "uploaded"));
    EXPECT_EQ(testsupport::ReadFile(one + "/up.zip"), "uploaded");
    // An upload's description goes up with it, but is as hidden over FTP as over HTTP, and so
    // are dotfiles, which cannot be uploaded either.
    EXPECT_TRUE(FtpPut(m_ftpPort, "/one/up.zip.desc", "Email=uploader@example.org"));
    EXPECT_FALSE(FtpGet(m_ftpPort, "/one/up.zip.desc", body));
    EXPECT_EQ(Get(m_webPort, "/pub/one/up.zip.desc").status, 404);
    Put(one + "/.hidden", "hidden");
    EXPECT_FALSE(FtpGet(m_ftpPort, "/one/.hidden", body));
    EXPECT_FALSE(FtpPut(m_ftpPort, "/one/.profile", "x"));

    // The anonymous accounts were let into the area: nginx's workers read, the FTP logins
    // change.
    const auto acl = testsupport::RunProgram({process::FindProgram("getfacl"), "-cp", one});
    if (geteuid() == 0) {
        EXPECT_THAT(acl.out, HasSubstr("user:" + web->GetAnonymousUser() + ":r-x"));
        EXPECT_THAT(acl.out, HasSubstr("user:" + ftp->GetAnonymousUser() + ":rwx"));
        EXPECT_THAT(acl.out, HasSubstr("default:user:" + ftp->GetAnonymousUser() + ":rwx"));
    }

    // Area two: downloads only. No upload lands there.
    const std::string two = Dir("files/two");
    m_prompt.Expect(CREATE_FTP, "Question", EAnswer::Yes);
    ASSERT_TRUE(Check(*ftp, false, two, "/two", false));
    EXPECT_TRUE(FtpGet(m_ftpPort, "/two/two.txt", body));
    EXPECT_FALSE(FtpPut(m_ftpPort, "/two/up.zip", "refused"));
    EXPECT_FALSE(fs::exists(two + "/up.zip"));
    // Nor outside the roots, nor over HTTP where it has no alias.
    EXPECT_FALSE(FtpPut(m_ftpPort, "/up.zip", "refused"));
    EXPECT_EQ(Get(m_webPort, "/two/two.txt").status, 404);

    // Area one stops taking uploads: the permission follows, without a restart.
    m_prompt.Expect("Would you like to update the permissions on the specified FTP virtual "
                    "directory?",
                    "Security Warning", EAnswer::Yes);
    ASSERT_TRUE(Check(*ftp, false, one, "/one", false));
    EXPECT_FALSE(FtpPut(m_ftpPort, "/one/later.zip", "refused"));
    EXPECT_TRUE(FtpGet(m_ftpPort, "/one/one.zip", body));
    EXPECT_EQ(std::stol(testsupport::ReadFile(Dir("run") + "/nginx.pid")), nginx);
    EXPECT_EQ(std::stol(testsupport::ReadFile(Dir("run") + "/ftp/proftpd.pid")), proftpd);

    // An instance the server cannot serve makes every configuration bad: refused, kept aside,
    // and the old one goes on serving; the change that would need it is taken back.
    {
        metabase::CMetabaseKey lm(admin);
        ASSERT_EQ(lm.Open("/LM", true, 1000), S_OK);
        ASSERT_EQ(admin->AddKey(lm.Get(), "W3SVC/2/ROOT"), S_OK);
        ASSERT_EQ(lm.SetString("W3SVC/2", MD_SERVER_COMMENT, "Elsewhere", IIS_MD_UT_SERVER), S_OK);
        ASSERT_EQ(lm.SetString("W3SVC/2", MD_SERVER_BINDINGS, "192.0.2.7:8080:", IIS_MD_UT_SERVER),
                  S_OK);
        ASSERT_EQ(lm.Close(), S_OK);
    }
    const auto refused = Serve({"reload", "--service", "web"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_THAT(refused.err, HasSubstr("nginx refuses the new configuration"));
    EXPECT_THAT(refused.err, HasSubstr("192.0.2.7:8080"));
    EXPECT_TRUE(fs::exists(Dir("run") + "/nginx.conf.new.refused"));
    m_prompt.Expect(CREATE_HTTP, "Question", EAnswer::Yes);
    m_prompt.Expect("An error occurred adding the specified HTTP virtual directory.", "Error");
    EXPECT_FALSE(Check(*web, true, two, "/pub/two"));
    std::string path;
    unsigned permissions = 0;
    EXPECT_FALSE(web->GetRoot("/pub/two", path, permissions));
    EXPECT_EQ(Get(m_webPort, "/pub/one/one.zip").body, "first area's file");
    EXPECT_EQ(Get(m_webPort, "/dorvale/index.asp").body, "index");
    EXPECT_THAT(m_prompt.Problems(), ::testing::IsEmpty());
}

TEST_F(VirtualDirectories, RegistryRootsTakeEffectWhenTheRestartOfferIsTaken) {
    const auto started = Start();
    ASSERT_EQ(started.exitCode, 0) << started.err;
    std::unique_ptr<CIISManagerBase> web;
    std::unique_ptr<CIISManagerBase> ftp;
    std::string error;
    ConnectServerManagers(web, ftp, error);
    ASSERT_NE(web, nullptr);
    ASSERT_NE(ftp, nullptr);
    ASSERT_EQ(web->ServerKind(), SERVER_KIND_REGISTRY);

    const std::string one = Dir("files/one");
    m_prompt.Expect(CREATE_HTTP, "Question", EAnswer::Yes);
    ASSERT_TRUE(Check(*web, true, one, "/one"));
    m_prompt.Expect(CREATE_FTP, "Question", EAnswer::Yes);
    ASSERT_TRUE(Check(*ftp, false, one, "/one"));
    // Not served before the services are restarted.
    EXPECT_EQ(Get(m_webPort, "/one/one.zip").status, 404);
    std::string body;
    EXPECT_FALSE(FtpGet(m_ftpPort, "/one/one.zip", body));

    // The File Areas tab applied: the offer, taken.
    CNoDialogs dialogs;
    CSetupSession session(m_prompt, dialogs);
    CSystemServiceControl services;
    session.SetServiceControl(&services);
    session.SetWeb(std::move(web));
    session.SetFtp(std::move(ftp));
    session.VrootsChanged() = m_changed;
    m_prompt.Expect("You must shut down and restart your HTTP and FTP servers in order for these "
                    "changes to take effect. Do you want to do that now?",
                    "Warning", EAnswer::Yes);
    session.OfferRestart();
    EXPECT_EQ(Get(m_webPort, "/one/one.zip").body, "first area's file");
    EXPECT_TRUE(FtpGet(m_ftpPort, "/one/one.zip", body));
    EXPECT_EQ(body, "first area's file");
    EXPECT_THAT(m_prompt.Problems(), ::testing::IsEmpty());
}

} // namespace
