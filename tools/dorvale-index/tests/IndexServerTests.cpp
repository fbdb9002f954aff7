// The index server exchange of the setup core against the real index service (dorvale-index
// over Xapian), directly and behind a real nginx that dorvale-serve runs: the registry branch's
// update with every message it can show, the metabase branch's marks and query file, and real
// searches finding files by words inside them, within the query file's scope.

#include "ComTestSupport.h"
#include "IISMetabaseManager.h"
#include "IISRegistryManager.h"
#include "IndexDaemon.h"
#include "IndexRoots.h"
#include "IndexServer.h"
#include "IndexService.h"
#include "Metabase.h"
#include "ServeTestSupport.h"
#include "Settings.h"
#include "Text.h"
#include "ZipTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using prompt::CScriptedPrompt;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using namespace servetest;

namespace {

constexpr char NO_ROOT_LIST[] = "Unable to get virtual root list from Index Server.";
constexpr char LIST_URL[] = "/dorvaleindex/listvirtualroots.idq";

AreaRecord Area(std::uint32_t id, const std::string& httpAlias, bool hosted = true) {
    AreaRecord area;
    area.Id = id;
    area.Name = "Area " + std::to_string(id);
    area.HttpAlias = httpAlias;
    area.Flags = AREA_DOWNLOADABLE | (hosted ? AREA_HOSTED_LOCALLY : 0);
    return area;
}

std::string Search(int port, const std::string& words) {
    return Get(port, std::string(INDEX_SEARCH_PAGE) + "?q=" + EncodeFormText(words)).body;
}

class IndexServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.InitResult()));
        // nginx's workers pass through on their way to the roots.
        fs::permissions(m_com.Dir(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        m_env = {m_com.RegistryEnv()};
        for (const auto& [name, value] : {std::pair{settings::HttpPath, Dir("site")},
                                          {settings::InstallDir, Dir("install")},
                                          {settings::DatabasePath, Dir("db")}}) {
            ASSERT_TRUE(
                WriteRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, name, value.c_str()));
        }
        Put(Dir("site") + "/index.asp", "index");
        Put(Dir("pub/one") + "/notes.txt", "Release notes: the zebra codec is faster.\n");
        ASSERT_TRUE(testsupport::MakeZip(Dir("pub/one") + "/tool.zip",
                                         {{"tool/README.TXT", "How to feed a wombat.\n"},
                                          {"tool/tool.bin", std::string("MZ\0\0platypus", 12)}}));
        Put(Dir("pub/one") + "/tool.zip.desc", "Email=uploader@example.org\nquagga\n");
        Put(Dir("pub/one") + "/.hidden", "quagga\n");
        Put(Dir("pub/two") + "/Read_Me-First.TXT", "Okapi handbook <not a tag>\n");
        Put(Dir("docs") + "/guide.txt", "The walrus guide.\n");
        Put(Dir("other") + "/secret.txt", "narwhal\n");
        Put(Dir("details") + "/1.asp", "<html><body><p>Detail of the ibex file</p></body></html>");
        m_options.logDirectory = Dir("logs");
        m_options.tempDirectory = Dir("temp");
        m_options.wait = [this](int milliseconds) { m_waits.push_back(milliseconds); };
        m_indexPort = FreePort();
    }
    void TearDown() override {
        if (m_indexStarted) {
            RunProgram({"dorvale-index", "stop", "--dir", Dir("index")});
        }
        if (m_nginxStarted) {
            RunProgram({"dorvale-serve", "stop", "--dir", Dir("run")});
        }
    }

    std::string Dir(const std::string& name) const {
        fs::create_directories(m_com.Dir() / name);
        return (m_com.Dir() / name).string();
    }

    decltype(testsupport::RunProgram({})) RunProgram(std::vector<std::string> args) {
        args[0] = testsupport::BuiltProgram(args[0]);
        return testsupport::RunProgram(args, m_env);
    }

    void StartIndex() {
        const auto started = RunProgram({"dorvale-index", "start", "--dir", Dir("index"), "--port",
                                         std::to_string(m_indexPort)});
        m_indexStarted = true;
        ASSERT_EQ(started.exitCode, 0) << started.err;
    }

    void StartNginx() {
        m_webPort = FreePort();
        const auto started = RunProgram({"dorvale-serve", "start", "--dir", Dir("run"), "--port",
                                         std::to_string(m_webPort), "--service", "web"});
        m_nginxStarted = true;
        ASSERT_EQ(started.exitCode, 0) << started.err;
    }

    void Update(CIISManagerBase& web, const std::vector<AreaRecord>& areas, int port) {
        UpdateRegistryIndex(web, areas, "HTTP://127.0.0.1:" + std::to_string(port) + "/", m_prompt,
                            m_options);
    }

    std::string Temp(const std::string& name) {
        return testsupport::ReadFile(Dir("temp") + "/" + name);
    }

    comtest::CComTestEnvironment m_com;
    std::vector<std::string> m_env;
    CScriptedPrompt m_prompt;
    CIndexServerOptions m_options;
    std::vector<int> m_waits;
    int m_indexPort = 0;
    int m_webPort = 0;
    bool m_indexStarted = false;
    bool m_nginxStarted = false;
};

TEST(IndexExchangeRules, FormRootListHostAndQueryFile) {
    EXPECT_EQ(EncodeFormText("/my files"), "%2Fmy+files");
    EXPECT_EQ(EncodeFormText("/Ab9_é"), "%2FAb9%5F%C3%A9");
    EXPECT_EQ(DecodeFormText(EncodeFormText("/Ab9_é x&y=z")), "/Ab9_é x&y=z");

    // Reported roots of which none is to be indexed: all of them bare, then each root to be
    // indexed with its PROOT_ and INDEX_ fields.
    EXPECT_EQ(BuildIndexForm({{"/", "/srv/www"}, {"/scripts", "/srv/scripts"}},
                             {{"/my files", "/srv/my files"}}),
              "PROOT_%2F=%2Fsrv%2Fwww&PROOT_%2Fscripts=%2Fsrv%2Fscripts&"
              "PROOT_%2Fmy+files=%2Fsrv%2Fmy+files&INDEX_%2Fmy+files=");
    // A reported root to be indexed gets its INDEX_ field right after it, and is not sent twice.
    EXPECT_EQ(BuildIndexForm({{"/a", "/x"}, {"/b", "/y"}}, {{"/b", "/Y"}}),
              "PROOT_%2Fa=%2Fx&PROOT_%2Fb=%2Fy&INDEX_%2Fb=");
    // The service reads the same form back: the roots in order, indexed where asked.
    const auto posted = ParseUpdateForm(BuildIndexForm({{"/a", "/x"}}, {{"/my files", "/m"}}));
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0], (CIndexRootEntry{"/a", "/x", false}));
    EXPECT_EQ(posted[1], (CIndexRootEntry{"/my files", "/m", true}));

    // The root list: lower case, a "path=" after each "vroot=", CRLF and blank lines, and a
    // line longer than 519 bytes read in pieces (its tail is a line of its own).
    const std::string file = testing::TempDir() + "/virtualroots-rules.txt";
    testsupport::WriteFile(file, "VRoot=/Pub\r\nPATH=/Srv/Pub\r\n\r\npath=/srv/pub2\nnoise\n"
                                 "vroot=/" +
                                     std::string(600, 'x') + "\npath=/srv/x\n");
    EXPECT_THAT(ReadIndexRoots(file),
                ElementsAre(CIndexRoot{"/pub", "/srv/pub"}, CIndexRoot{"/pub", "/srv/pub2"},
                            CIndexRoot{"/" + std::string(512, 'x'), "/srv/x"}));
    EXPECT_THAT(ReadIndexRoots(testing::TempDir() + "/no-such-file.txt"), IsEmpty());

    EXPECT_EQ(IndexServerHost("HTTP://Www.Example.org/"), "www.example.org");
    EXPECT_EQ(IndexServerHost("https://127.0.0.1:8080/dorvale/"), "127.0.0.1:8080");
    EXPECT_EQ(IndexServerHost("files.example.org"), "files.example.org");

    // The service's reading of a request's head and its fields.
    CHttpRequest request;
    long long length = -1;
    EXPECT_TRUE(ParseRequestHead("POST /dorvaleindex/admin.ida?x=1 HTTP/1.0\r\nHost: h\r\n"
                                 "content-LENGTH: 12",
                                 request, length));
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/dorvaleindex/admin.ida");
    EXPECT_EQ(request.query, "x=1");
    EXPECT_EQ(length, 12);
    EXPECT_FALSE(ParseRequestHead("GET / HTTP/1.0\r\nContent-Length: -1", request, length));
    EXPECT_FALSE(
        ParseRequestHead("GET / HTTP/1.0\r\nContent-Length: 99999999999999", request, length));
    EXPECT_FALSE(ParseRequestHead("nonsense", request, length));
    const auto fields = ParseQueryString("q=red+apple%21&page=2&q=second&empty");
    EXPECT_EQ(fields.at("q"), "red apple!");
    EXPECT_EQ(fields.at("page"), "2");
    EXPECT_EQ(fields.at("empty"), "");

    std::string text;
    EXPECT_TRUE(MakeQueryFile("A=%CiScope%\nB=%CiScope%\n", "/DorvaleIndex,/pub", text));
    EXPECT_EQ(text, "A=/DorvaleIndex,/pub\nB=%CiScope%\n");
    EXPECT_FALSE(MakeQueryFile("CiScope=/\n", "/x", text));
}

TEST_F(IndexServer, RegistryBranchTellsTheServiceBehindNginxAndASearchFindsTheFiles) {
    CIISRegistryManager web(WEB_SERVICE_NAME);
    ASSERT_TRUE(web.AddRoot("/pub", Dir("pub"), VROOT_READ));
    ASSERT_TRUE(web.AddRoot("/docs", Dir("docs"), VROOT_READ));
    ASSERT_TRUE(web.AddRoot("/other", Dir("other"), VROOT_READ));
    ASSERT_TRUE(web.AddRoot("/dorvaledetails,", Dir("details"), VROOT_READ));
    StartNginx();
    // Two areas below /pub send it once; an area not hosted here sends nothing.
    const std::vector<AreaRecord> areas = {Area(1, "/pub/one"), Area(2, "/pub/two"),
                                           Area(3, "/other", false), Area(4, "/docs")};

    // No index server yet behind nginx: every attempt is told, three in all, then the list
    // is given up.
    const std::string notFound = "HttpQueryInfo returned status = 404";
    m_prompt.Expect(notFound, "Warning").Expect(notFound, "Warning").Expect(notFound, "Warning");
    m_prompt.Expect(NO_ROOT_LIST, "Error");
    Update(web, areas, m_webPort);
    EXPECT_THAT(m_waits, ElementsAre(5000, 5000));
    EXPECT_EQ(testsupport::ReadFile(Dir("logs") + "/add.log"), "/dorvaledetails\n/pub\n/docs\n");
    EXPECT_FALSE(fs::exists(Dir("logs") + "/post.log"));
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());

    // The service started and nginx reloaded: the list on the first attempt, the update
    // posted and answered once the roots are indexed.
    StartIndex();
    const auto reloaded = RunProgram({"dorvale-serve", "reload", "--dir", Dir("run"), "--service",
                                      "web", "--port", std::to_string(m_webPort)});
    ASSERT_EQ(reloaded.exitCode, 0) << reloaded.err;
    m_waits.clear();
    Update(web, areas, m_webPort);
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
    EXPECT_THAT(m_waits, IsEmpty());
    const auto reported = ReadIndexRoots(Dir("temp") + "/virtualroots.txt");
    // The web server's roots, the site's own "/" among them, all in lower case as the
    // exchange reads them (the service takes each root's directory from the web server).
    EXPECT_THAT(reported,
                ::testing::IsSupersetOf({CIndexRoot{"/pub", base::LowerAscii(Dir("pub"))},
                                         CIndexRoot{"/other", base::LowerAscii(Dir("other"))}}));
    const std::string body = testsupport::ReadFile(Dir("logs") + "/post.log");
    EXPECT_EQ(body, BuildIndexForm(reported, {{"/dorvaledetails", Dir("details")},
                                              {"/pub", Dir("pub")},
                                              {"/docs", Dir("docs")}}));
    EXPECT_THAT(body, HasSubstr("PROOT_%2Fother="));
    EXPECT_THAT(body, Not(HasSubstr("INDEX_%2Fother")));
    EXPECT_THAT(body, HasSubstr("INDEX_%2Fpub=&"));
    EXPECT_THAT(Temp("result.txt"), HasSubstr("Indexed 3 virtual roots"));

    // A word inside a file finds it; its link is where nginx serves it.
    const std::string zebra = Search(m_webPort, "zebra");
    EXPECT_THAT(zebra, HasSubstr("href=\"/pub/one/notes.txt\""));
    EXPECT_THAT(zebra, HasSubstr("<b>zebra</b>"));
    // The site's header: its search box holding the words, and the link to submit a file.
    EXPECT_THAT(zebra, HasSubstr("<form class=\"search\" role=\"search\" "
                                 "action=\"/dorvaleindex/QueryHit.idq\" method=\"get\">"));
    EXPECT_THAT(zebra, HasSubstr("name=\"q\" value=\"zebra\""));
    EXPECT_THAT(zebra, HasSubstr("<li><a href=\"/dorvale/do/submit\">Submit a file</a></li>"));
    EXPECT_EQ(Get(m_webPort, "/pub/one/notes.txt").body,
              "Release notes: the zebra codec is faster.\n");
    // The words of a name, a page's text without its tags, stemming; the page escapes what
    // the file holds.
    EXPECT_THAT(Search(m_webPort, "first"), HasSubstr("/pub/two/Read_Me-First.TXT"));
    EXPECT_THAT(Search(m_webPort, "okapi"), HasSubstr("&lt;not a tag&gt;"));
    EXPECT_THAT(Search(m_webPort, "ibex"), HasSubstr("/dorvaledetails/1.asp"));
    // An archive by its members' names and its read-me's text, not by its binary members.
    EXPECT_THAT(Search(m_webPort, "wombat"), HasSubstr("href=\"/pub/one/tool.zip\""));
    EXPECT_THAT(Search(m_webPort, "readme"), HasSubstr("href=\"/pub/one/tool.zip\""));
    EXPECT_THAT(Search(m_webPort, "platypus"), HasSubstr("No file matches"));
    EXPECT_THAT(Search(m_webPort, "guides"), HasSubstr("/docs/guide.txt"));
    // Not indexed: a root not asked for, an upload's description, a dotfile.
    EXPECT_THAT(Search(m_webPort, "narwhal"), HasSubstr("No file matches"));
    EXPECT_THAT(Search(m_webPort, "quagga"), HasSubstr("No file matches"));
    // The pages' names in any letter case, as the exchange writes them.
    const auto upper = Get(m_webPort, "/DorvaleIndex/ListVirtualRoots.idq");
    EXPECT_EQ(upper.status, 200);
    EXPECT_THAT(upper.body, HasSubstr("vroot=/pub\npath=" + Dir("pub") + "\n"));

    // The query file's scope limits the search.
    Put(Dir("install/Web") + "/QueryHit.idq", "[Query]\nCiScope=/DorvaleIndex,/docs\n");
    EXPECT_THAT(Search(m_webPort, "zebra"), HasSubstr("No file matches"));
    EXPECT_THAT(Search(m_webPort, "walrus"), HasSubstr("/docs/guide.txt"));

    // A file removed leaves the index with the next update.
    fs::remove(Dir("docs") + "/guide.txt");
    Update(web, areas, m_webPort);
    EXPECT_THAT(Temp("result.txt"), HasSubstr("1 removed"));
    EXPECT_THAT(Search(m_webPort, "walrus"), HasSubstr("No file matches"));
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
}

TEST_F(IndexServer, EmptyAndUnreachableServersAndAFormThatPointsElsewhere) {
    CIISRegistryManager web(WEB_SERVICE_NAME);
    const std::vector<AreaRecord> areas = {Area(1, "/pub/one")};
    // No virtual root at all: the service answers an empty list three times, 5 s apart.
    StartIndex();
    m_prompt.Expect(NO_ROOT_LIST, "Error");
    Update(web, areas, m_indexPort);
    EXPECT_THAT(m_waits, ElementsAre(5000, 5000));
    EXPECT_EQ(Temp("virtualroots.txt"), "");
    EXPECT_EQ(testsupport::ReadFile(Dir("logs") + "/add.log"), "");
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
    EXPECT_EQ(m_prompt.Asked().back().icon, prompt::EIcon::Error);

    // Nothing listening: the fetch error once per attempt. A list left by an earlier run is
    // read all the same, so the update is tried, and fails as the fetch did.
    const int nobody = FreePort();
    const std::string refused = "HttpSendRequest failed: 7, URL = " + std::string(LIST_URL) + "\n";
    m_prompt.Expect(refused, "Warning").Expect(refused, "Warning").Expect(refused, "Warning");
    m_prompt.Expect(NO_ROOT_LIST, "Error");
    m_waits.clear();
    Update(web, areas, nobody);
    EXPECT_THAT(m_waits, ElementsAre(5000, 5000));
    Put(Dir("temp") + "/virtualroots.txt", "vroot=/old\npath=/srv/old\n");
    m_prompt.Expect(refused, "Warning").Expect("HttpSendRequest failed: 7\n", "Warning");
    m_waits.clear();
    Update(web, areas, nobody);
    EXPECT_THAT(m_waits, IsEmpty());
    EXPECT_EQ(testsupport::ReadFile(Dir("logs") + "/post.log"), "PROOT_%2Fold=%2Fsrv%2Fold");
    // No address to connect to.
    m_prompt.Expect("InternetConnect failed: 14\n", "Warning");
    UpdateRegistryIndex(web, areas, "http://", m_prompt, m_options);
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
    // A link put in place of a file in the temporary directory is not followed.
    fs::remove(Dir("temp") + "/virtualroots.txt");
    fs::create_symlink(Dir("other") + "/secret.txt", Dir("temp") + "/virtualroots.txt");
    ASSERT_TRUE(web.AddRoot("/pub", Dir("pub"), VROOT_READ));
    m_prompt.Expect(NO_ROOT_LIST, "Error");
    Update(web, areas, m_indexPort);
    EXPECT_EQ(testsupport::ReadFile(Dir("other") + "/secret.txt"), "narwhal\n");
    fs::remove(Dir("temp") + "/virtualroots.txt");
    Update(web, areas, m_indexPort);
    EXPECT_THAT(Temp("result.txt"), HasSubstr("indexed /pub (" + Dir("pub") + ")"));

    // A form from anyone (the page is public) cannot point the index outside what the web
    // server publishes: a root it does not publish is not indexed, and a known root is indexed
    // where the web server has it, whatever path came with it.
    const std::string form = "PROOT_%2Fpub=%2Fetc&INDEX_%2Fpub=&PROOT_%2Fetc=%2Fetc&INDEX_%2Fetc=";
    const auto posted = testsupport::CHttpClient(m_indexPort)
                            .Post(INDEX_ADMIN_PAGE, "application/x-www-form-urlencoded", form);
    EXPECT_EQ(posted.status, 200);
    const std::string& answer = posted.body;
    EXPECT_THAT(answer, HasSubstr("indexed /pub (" + Dir("pub") + ")"));
    EXPECT_THAT(answer,
                HasSubstr("not indexed /etc: the web server publishes no such virtual root"));
    EXPECT_THAT(Search(m_indexPort, "localhost"), HasSubstr("No file matches"));
    // The pages are asked as they are meant to be.
    EXPECT_EQ(Get(m_indexPort, "/dorvaleindex/admin.ida").status, 405);
    EXPECT_EQ(Get(m_indexPort, "/dorvaleindex/other.idq").status, 404);
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
}

TEST_F(IndexServer, TheProgramStartsStopsAndIndexesOnRequest) {
    EXPECT_EQ(RunProgram({"dorvale-index", "--help"}).exitCode, 0);
    EXPECT_EQ(RunProgram({"dorvale-index", "serve"}).exitCode, 2);
    EXPECT_EQ(RunProgram({"dorvale-index", "start", "--port", "0"}).exitCode, 2);
    EXPECT_EQ(RunProgram({"dorvale-index", "status", "--dir", Dir("index")}).exitCode, 1);
    // Without a service, reindex does the work itself: the roots the stored form asks for.
    CIISRegistryManager web(WEB_SERVICE_NAME);
    ASSERT_TRUE(web.AddRoot("/docs", Dir("docs"), VROOT_READ));
    std::string error;
    ASSERT_TRUE(SaveStoredRoots(Dir("index"), {{"/docs", "", true}}, error)) << error;
    const auto indexed = RunProgram({"dorvale-index", "reindex", "--dir", Dir("index")});
    EXPECT_EQ(indexed.exitCode, 0) << indexed.err;
    EXPECT_THAT(indexed.out, HasSubstr("Indexed 1 virtual roots: 1 files, 1 read anew"));
    // With one, the index is its own; a second start from the same directory replaces it.
    StartIndex();
    const long first = RunningIndexService(Dir("index"));
    EXPECT_EQ(RunProgram({"dorvale-index", "reindex", "--dir", Dir("index")}).exitCode, 1);
    EXPECT_EQ(RunProgram({"dorvale-index", "status", "--dir", Dir("index")}).exitCode, 0);
    StartIndex();
    EXPECT_NE(RunningIndexService(Dir("index")), first);
    EXPECT_THAT(Search(m_indexPort, "walrus"), HasSubstr("href=\"/docs/guide.txt\""));
    std::string listen;
    ReadRegistryText(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\DorvaleIndex",
                     "Listen", listen);
    EXPECT_EQ(listen, "127.0.0.1:" + std::to_string(m_indexPort));
    EXPECT_EQ(RunProgram({"dorvale-index", "stop", "--dir", Dir("index")}).exitCode, 0);
    EXPECT_EQ(RunningIndexService(Dir("index")), 0);
    EXPECT_EQ(Get(m_indexPort, LIST_URL).status, 0);
}

TEST_F(IndexServer, MetabaseBranchMarksTheRootsAndScopesTheSearch) {
    ASSERT_EQ(comtest::CallRegistrationEntry(METABASE_LIBRARY), S_OK);
    CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
    ASSERT_TRUE(admin);
    {
        metabase::CMetabaseKey lm(admin);
        ASSERT_EQ(lm.Open("/LM", true, 1000), S_OK);
        for (const char* key : {"W3SVC/1/ROOT/pub", "W3SVC/1/ROOT/docs", "W3SVC/1/ROOT/other"}) {
            ASSERT_EQ(admin->AddKey(lm.Get(), key), S_OK);
        }
        ASSERT_EQ(lm.SetString("W3SVC/1", MD_SERVER_COMMENT, "Default Web Site", IIS_MD_UT_SERVER),
                  S_OK);
        for (const char* name : {"pub", "docs", "other"}) {
            const std::string key = std::string("W3SVC/1/ROOT/") + name;
            ASSERT_EQ(lm.SetString(key, MD_VR_PATH, Dir(name)), S_OK);
            ASSERT_EQ(lm.SetDword(key, MD_ACCESS_PERM, VROOT_READ), S_OK);
        }
        ASSERT_EQ(lm.Close(), S_OK);
    }
    CIISMetabaseManager web(WEB_SERVICE_NAME, "Default Web Site", admin);
    const std::vector<AreaRecord> areas = {Area(1, "/pub/one"), Area(2, "/pub/two"),
                                           Area(3, "/docs"), Area(4, "/other", false), Area(5, "")};
    const std::string install = Dir("install");

    // The template is the one the site installs; the query file is written from it.
    m_prompt.Expect("Unable to open QUERYHIT.TMPL.", "Error");
    UpdateMetabaseIndex(web, areas, install, m_prompt);
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
    Put(install + "/templates/QueryHit.tmpl", "[Query]\nCiScope=/\n");
    m_prompt.Expect("Unable to find %CiScope% token in QUERYHIT.TMPL.", "Error");
    UpdateMetabaseIndex(web, areas, install, m_prompt);
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
    fs::copy_file(std::string(DORVALE_SOURCE_DIR) + "/templates/QueryHit.tmpl",
                  install + "/templates/QueryHit.tmpl", fs::copy_options::overwrite_existing);
    UpdateMetabaseIndex(web, areas, install, m_prompt);
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
    const std::string query = testsupport::ReadFile(install + "/Web/QueryHit.idq");
    EXPECT_THAT(query, HasSubstr("\nCiScope=/DorvaleIndex,/pub,/docs\n"));
    EXPECT_EQ(ReadQueryFile(install + "/Web/QueryHit.idq").scopes,
              (std::vector<std::string>{"/DorvaleIndex", "/pub", "/docs"}));
    EXPECT_THAT(ListMarkedRoots(), ::testing::UnorderedElementsAre("/pub", "/docs"));

    // The service indexes what is marked, and searches within the scope.
    StartIndex();
    EXPECT_THAT(Search(m_indexPort, "zebra"), HasSubstr("href=\"/pub/one/notes.txt\""));
    EXPECT_THAT(Search(m_indexPort, "walrus"), HasSubstr("href=\"/docs/guide.txt\""));
    EXPECT_THAT(Search(m_indexPort, "narwhal"), HasSubstr("No file matches"));
    // A root marked later is indexed at the next search; out of scope, it is not shown.
    ASSERT_TRUE(web.SetContentIndexed("/other", true));
    EXPECT_THAT(Search(m_indexPort, "narwhal"), HasSubstr("No file matches"));
    fs::remove(install + "/Web/QueryHit.idq");
    EXPECT_THAT(Search(m_indexPort, "narwhal"), HasSubstr("href=\"/other/secret.txt\""));

    // A query file that cannot be replaced is told.
    fs::remove_all(install + "/Web");
    Put(install + "/Web", "not a directory");
    m_prompt.Expect("Unable to open QUERYHIT.IDQ.", "Error");
    UpdateMetabaseIndex(web, areas, install, m_prompt);
    EXPECT_THAT(m_prompt.Problems(), IsEmpty());
}

} // namespace
