// The setup program's start-up over real registry hives and database directories, in both
// server-manager kinds. The metabase kind's admin base object is the tests' own here, holding
// its servers in memory; the registry kind is the real one.

#include "FileAreaStore.h"
#include "IISRegistryManager.h"
#include "ServerSelection.h"
#include "Settings.h"
#include "SetupSession.h"
#include "SetupTestSupport.h"

using prompt::CScriptedPrompt;
using prompt::EAnswer;
using ::testing::ElementsAre;

namespace {

class CTestUi : public ISetupUi {
public:
    bool QuickSetup(std::string& path) override {
        proposals.push_back(path);
        if (quickSetupAnswer.empty()) {
            return false;
        }
        path = quickSetupAnswer;
        return true;
    }
    bool SelectServer(const std::string& service, const std::vector<std::string>& servers,
                      std::string& name) override {
        std::string shown = service + ":";
        for (const std::string& server : servers) {
            shown += " " + server;
        }
        selections.push_back(shown + " [" + name + "]");
        if (choices.empty() || choices.front().empty()) {
            if (!choices.empty()) {
                choices.erase(choices.begin());
            }
            return false;
        }
        name = choices.front();
        choices.erase(choices.begin());
        return true;
    }
    std::string quickSetupAnswer;
    std::vector<std::string> proposals;
    std::vector<std::string> choices; // "" cancels
    std::vector<std::string> selections;
};

// Virtual roots kept in memory, as a metabase-kind manager of the tests.
class CMemoryManager : public CIISManagerBase {
public:
    using CIISManagerBase::CIISManagerBase;
    bool AddRoot(const std::string& alias, const std::string& path, unsigned p) override {
        roots.push_back({alias, path, p});
        return true;
    }
    bool DeleteRoot(const std::string&) override { return false; }
    bool UpdateRoot(const std::string&, const std::string&, unsigned) override { return false; }
    bool FindParentRoot(const std::string& alias, std::string& name, std::string* path) override {
        return FindParentRootIn(roots, alias, name, path);
    }
    bool AliasForPath(const std::string& path, std::string& alias) override {
        return AliasForPathIn(roots, path, alias);
    }
    bool GetRoot(const std::string&, std::string&, unsigned&) override { return false; }
    std::string GetAnonymousUser() override { return {}; }
    int ServerKind() const override { return SERVER_KIND_METABASE; }
    std::vector<CVirtualRoot> roots;
};

struct CServers {
    std::vector<std::string> web;
    std::vector<std::string> ftp;
    int created = 0;
};

class CTestAdminBase : public IAdminBase {
public:
    explicit CTestAdminBase(CServers& servers) : m_servers(servers) {}
    std::vector<std::string> ListServers(const std::string& service) override {
        return service == WEB_SERVICE_NAME ? m_servers.web : m_servers.ftp;
    }
    std::unique_ptr<CIISManagerBase> Connect(const std::string& service,
                                             const std::string& name) override {
        const std::vector<std::string> list = ListServers(service);
        if (std::find(list.begin(), list.end(), name) == list.end()) {
            throw CIISInitException("no server " + name);
        }
        return std::make_unique<CMemoryManager>(service, "");
    }

private:
    CServers& m_servers;
};

class CTestServices : public IServiceControl {
public:
    bool IsRunning(const std::string& service) override { return running.count(service) != 0; }
    bool Restart(const std::string& service) override {
        restarted.push_back(service);
        return true;
    }
    std::set<std::string> running;
    std::vector<std::string> restarted;
};

class SetupSessionTest : public SetupTest {
protected:
    AdminBaseFactory Metabase() {
        return [this] {
            ++m_servers.created;
            return std::make_unique<CTestAdminBase>(m_servers);
        };
    }
    static std::string Setting(const char* name) {
        std::string text;
        ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, text);
        return text;
    }
    void UseDatabase() {
        WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                          Dir("db").c_str());
    }

    CScriptedPrompt m_script;
    CTestUi m_ui;
    CServers m_servers;
};

} // namespace

TEST_F(SetupSessionTest, FirstRunAsksForTheDatabasePathAndCreatesTheStore) {
    const std::string db = m_dir / "library/db";
    {
        CSetupSession cancelled(m_script, m_ui);
        EXPECT_FALSE(cancelled.Start(""));
    }
    EXPECT_EQ(Setting(settings::DatabasePath), "");
    ASSERT_EQ(m_ui.proposals.size(), 1u);
    EXPECT_EQ(m_ui.proposals[0], std::filesystem::current_path().string());

    m_ui.quickSetupAnswer = db;
    std::filesystem::create_directories(db);
    CSetupSession session(m_script, m_ui);
    ASSERT_TRUE(session.Start(""));
    EXPECT_FALSE(session.IsMetabaseMode());
    ASSERT_NE(session.Web(), nullptr);
    ASSERT_NE(session.Ftp(), nullptr);
    EXPECT_EQ(session.Web()->ServerKind(), SERVER_KIND_REGISTRY);
    EXPECT_EQ(session.Ftp()->GetServiceName(), "MSFTPSVC");
    EXPECT_EQ(Setting(settings::DatabasePath), db);
    EXPECT_EQ(session.DatabasePath(), db);
    EXPECT_EQ(testsupport::ReadFile(GetFileAreaStorePath(db)).size(), AREA_RECORD_SIZE);
    AreaStoreHeader header;
    ASSERT_TRUE(session.Store().ReadHeader(header));
    EXPECT_EQ(header.HeaderSize, 12u);
    EXPECT_EQ(header.NextAreaId, 1u);
    EXPECT_THAT(session.Pages(), ElementsAre(ESheetPage::General, ESheetPage::UploadOptions,
                                             ESheetPage::FileAreas, ESheetPage::FileGroups));

    // While this run holds the store, another is refused and a reader sees nothing.
    CScriptedPrompt second;
    second.Expect("Dorvale Setup cannot access the filearea database. Please close all Dorvale "
                  "applications, and try again.",
                  "Warning");
    CSetupSession other(second, m_ui);
    EXPECT_FALSE(other.Start(""));
    EXPECT_SCRIPT_DONE(second);
    CFileAreaStore reader;
    EXPECT_FALSE(reader.OpenForReading(db));
    EXPECT_SCRIPT_DONE(m_script);
}

TEST_F(SetupSessionTest, QuickSetupPathsAndTheCreateOption) {
    std::string path = "   ";
    m_script.Expect("Please enter a valid directory path.", "Dorvale Setup");
    EXPECT_FALSE(AcceptQuickSetupPath(path, m_script));
    path = " " + (m_dir / "new") + " ";
    m_script.Expect("The directory \"" + (m_dir / "new") +
                        "\" does not exist. Would you like to create it?",
                    "Question", EAnswer::No);
    m_script.Expect("Please enter a valid directory path.", "Dorvale Setup");
    EXPECT_FALSE(AcceptQuickSetupPath(path, m_script));
    m_script.Expect("The directory \"" + (m_dir / "new") +
                        "\" does not exist. Would you like to create it?",
                    "Question", EAnswer::Yes);
    EXPECT_TRUE(AcceptQuickSetupPath(path, m_script));
    EXPECT_EQ(path, m_dir / "new");
    EXPECT_SCRIPT_DONE(m_script);

    EXPECT_TRUE(HasCreateOption("/create"));
    EXPECT_TRUE(HasCreateOption("dorvale-setup /CREATE"));
    EXPECT_TRUE(HasCreateOption("/createall"));
    EXPECT_FALSE(HasCreateOption("create"));
    EXPECT_FALSE(HasCreateOption("/creat"));
}

TEST_F(SetupSessionTest, HttpUploadsPageFollowsTheUploadMode) {
    UseDatabase();
    for (DWORD mode : {0u, 1u, 2u, 3u}) {
        WriteRegistryNumber(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::AllowUploads,
                            mode);
        CSetupSession session(m_script, m_ui);
        ASSERT_TRUE(session.Start(""));
        const auto pages = session.Pages();
        const bool http = mode == 1 || mode == 3;
        ASSERT_EQ(pages.size(), http ? 5u : 4u);
        EXPECT_EQ(pages[2], http ? ESheetPage::HttpUploads : ESheetPage::FileAreas) << mode;
        EXPECT_EQ(session.EditorContext().uploadsForbidden, mode == 0);
        session.Settings().Value(ESetting::AllowUploads) = "1";
        EXPECT_EQ(session.Pages()[2], ESheetPage::HttpUploads);
    }
    // An absent mode does not forbid uploads in the area editor.
    CRegKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, settings::SettingsKey), ERROR_SUCCESS);
    ASSERT_EQ(key.DeleteValue(settings::AllowUploads), ERROR_SUCCESS);
    CSetupSession session(m_script, m_ui);
    ASSERT_TRUE(session.Start(""));
    EXPECT_FALSE(session.EditorContext().uploadsForbidden);
    EXPECT_SCRIPT_DONE(m_script);
}

TEST_F(SetupSessionTest, MetabaseKindChoosesAndConnectsServers) {
    UseDatabase();
    // A first run with one web site and one FTP site takes both without a dialog.
    m_servers.web = {"Default Web Site"};
    m_servers.ftp = {"Default FTP Site"};
    {
        CSetupSession session(m_script, m_ui, Metabase());
        ASSERT_TRUE(session.Start(""));
        EXPECT_TRUE(session.IsMetabaseMode());
        ASSERT_NE(session.Ftp(), nullptr);
        EXPECT_EQ(session.Web()->ServerKind(), SERVER_KIND_METABASE);
        EXPECT_EQ(session.Pages().back(), ESheetPage::Servers);
    }
    EXPECT_TRUE(m_ui.selections.empty());
    EXPECT_EQ(Setting(settings::WebServerName), "Default Web Site");
    EXPECT_EQ(Setting(settings::FtpServerName), "Default FTP Site");

    // The web site is gone: the list is shown at once and the choice written; the FTP site
    // is gone too and its choice cancelled: no FTP server for this run.
    m_servers.web = {"Library", "Shop"};
    m_servers.ftp = {"Other FTP"};
    m_ui.choices = {"Shop", ""};
    {
        CSetupSession session(m_script, m_ui, Metabase());
        ASSERT_TRUE(session.Start(""));
        EXPECT_EQ(session.Ftp(), nullptr);
    }
    EXPECT_THAT(m_ui.selections, ElementsAre("W3SVC: Library Shop [Default Web Site]",
                                             "MSFTPSVC: Other FTP [Default FTP Site]"));
    EXPECT_EQ(Setting(settings::WebServerName), "Shop");
    EXPECT_EQ(Setting(settings::FtpServerName), "");

    // A later run never asks for an FTP server, even with none chosen.
    m_ui.selections.clear();
    {
        CSetupSession session(m_script, m_ui, Metabase());
        ASSERT_TRUE(session.Start(""));
        EXPECT_EQ(session.Ftp(), nullptr);
    }
    EXPECT_TRUE(m_ui.selections.empty());

    // No web site chosen: the run ends with the message.
    m_servers.web = {"Elsewhere"};
    m_ui.choices = {""};
    m_script.Expect("You must select a Web Server to configure Dorvale. Re-run Dorvale Setup when "
                    "you have configured a Web Server on the machine.",
                    "Dorvale Error");
    {
        CSetupSession session(m_script, m_ui, Metabase());
        EXPECT_FALSE(session.Start(""));
    }
    // A first run whose choice is cancelled ends silently.
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::WebServerName, "");
    m_servers.web = {"One", "Two"};
    m_ui.choices = {""};
    {
        CSetupSession session(m_script, m_ui, Metabase());
        EXPECT_FALSE(session.Start(""));
    }
    // Without an admin base object the registry kind is used.
    {
        CSetupSession session(m_script, m_ui, [] { return std::unique_ptr<IAdminBase>(); });
        ASSERT_TRUE(session.Start(""));
        EXPECT_FALSE(session.IsMetabaseMode());
        EXPECT_EQ(session.Web()->ServerKind(), SERVER_KIND_REGISTRY);
    }
    EXPECT_SCRIPT_DONE(m_script);
}

TEST_F(SetupSessionTest, RestartOfferForRegistryRoots) {
    UseDatabase();
    CTestServices services;
    CSetupSession session(m_script, m_ui);
    session.SetServiceControl(&services);
    ASSERT_TRUE(session.Start(""));
    services.running = {"W3SVC"};
    session.OfferRestart(); // nothing changed: nothing asked
    session.VrootsChanged() = true;
    services.running.clear();
    session.OfferRestart(); // nothing running
    services.running = {"MSFTPSVC"};
    const char* question = "You must shut down and restart your HTTP and FTP servers in order for "
                           "these changes to take effect. Do you want to do that now?";
    m_script.Expect(question, "Warning", EAnswer::No);
    session.OfferRestart();
    EXPECT_TRUE(services.restarted.empty());
    m_script.Expect(question, "Warning", EAnswer::Yes);
    session.OfferRestart();
    EXPECT_THAT(services.restarted, ElementsAre("MSFTPSVC", "W3SVC"));
    EXPECT_TRUE(session.VrootsChanged()); // not cleared
    EXPECT_SCRIPT_DONE(m_script);

    // Roots of the metabase kind take effect at once: nothing offered.
    m_servers.web = {"Site"};
    CScriptedPrompt quiet;
    CSetupSession metabase(quiet, m_ui, Metabase());
    metabase.SetServiceControl(&services);
    session.Store().Close(); // the first run ends
    ASSERT_TRUE(metabase.Start(""));
    metabase.VrootsChanged() = true;
    metabase.OfferRestart();
    EXPECT_SCRIPT_DONE(quiet);
}

TEST_F(SetupSessionTest, ServersPageChangesNamesAndConnectsWhenLeft) {
    UseDatabase();
    m_servers.web = {"Default Web Site", "Intranet"};
    m_servers.ftp = {"Default FTP Site"};
    WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::WebServerName,
                      "Default Web Site");
    CSetupSession session(m_script, m_ui, Metabase());
    ASSERT_TRUE(session.Start(""));
    ASSERT_EQ(session.Ftp(), nullptr);
    CServerSelection page(session);
    page.Load();
    EXPECT_EQ(page.WebName(), "Default Web Site");
    EXPECT_EQ(page.FtpName(), "");

    // Nothing changed: left without connecting anything again.
    const int created = m_servers.created;
    CIISManagerBase* web = session.Web();
    EXPECT_TRUE(page.Leave(m_script));
    EXPECT_EQ(session.Web(), web);
    EXPECT_EQ(m_servers.created, created);

    // The selection always asks, from the field's name; a cancel changes nothing.
    m_ui.choices = {"", "Intranet", "Default FTP Site"};
    EXPECT_FALSE(page.Change(m_ui, WEB_SERVICE_NAME));
    EXPECT_TRUE(page.Change(m_ui, WEB_SERVICE_NAME));
    EXPECT_TRUE(page.Change(m_ui, FTP_SERVICE_NAME));
    EXPECT_THAT(m_ui.selections, ElementsAre("W3SVC: Default Web Site Intranet [Default Web Site]",
                                             "W3SVC: Default Web Site Intranet [Default Web Site]",
                                             "MSFTPSVC: Default FTP Site []"));
    EXPECT_EQ(page.WebName(), "Intranet");
    EXPECT_TRUE(page.Leave(m_script));
    EXPECT_NE(session.Web(), nullptr);
    ASSERT_NE(session.Ftp(), nullptr);
    EXPECT_EQ(m_servers.created, created + 3 + 2); // three selections, two connections
    // Names are written on OK or Apply only.
    EXPECT_EQ(Setting(settings::WebServerName), "Default Web Site");
    page.Apply();
    EXPECT_EQ(Setting(settings::WebServerName), "Intranet");
    EXPECT_EQ(Setting(settings::FtpServerName), "Default FTP Site");

    // A server gone by the time the page is left: asked whether to leave all the same, the
    // manager absent; the name that failed is tried again the next time.
    m_ui.choices = {"Default Web Site"};
    ASSERT_TRUE(page.Change(m_ui, WEB_SERVICE_NAME));
    m_servers.web = {"Intranet"};
    m_script.Expect("Unable to connect to Web server(s), exit anyways?", "Dorvale Server Setup",
                    EAnswer::No);
    EXPECT_FALSE(page.Leave(m_script));
    EXPECT_EQ(session.Web(), nullptr);
    m_servers.ftp = {"Default FTP Site", "Spare"};
    m_ui.choices = {"Spare"};
    ASSERT_TRUE(page.Change(m_ui, FTP_SERVICE_NAME));
    m_servers.ftp.clear();
    m_script.Expect("Unable to connect to Web and FTP server(s), exit anyways?",
                    "Dorvale Server Setup", EAnswer::Yes);
    EXPECT_TRUE(page.Leave(m_script));
    EXPECT_EQ(session.Ftp(), nullptr);
    EXPECT_SCRIPT_DONE(m_script);
}
