// The visitors' service without a web server: requests handed in directly, against a real
// SQLite catalogue through ODBC, a real file-area store, and the SMTP test server.
#include "AddFile.h"
#include "DescriptionFile.h"
#include "FileRecord.h"
#include "Formatting.h"
#include "OdbcTestSupport.h"
#include "Reviews.h"
#include "TestSupport.h"
#include "VisitorService.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::string_literals;
using testsupport::CTempDir;
using testsupport::ReadFile;

namespace {

class CStringBody : public IRequestBody {
public:
    explicit CStringBody(std::string text) : m_text(std::move(text)) {}
    std::ptrdiff_t Read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min(size, m_text.size() - m_pos);
        std::copy_n(m_text.data() + m_pos, n, buffer);
        m_pos += n;
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    std::string m_text;
    std::size_t m_pos = 0;
};

struct CPart {
    std::string name;
    std::string value;
    std::string fileName; // a file part when not empty
};

std::string Multipart(const std::vector<CPart>& parts, bool close = true) {
    std::string body;
    for (const CPart& part : parts) {
        body += "--BOUNDARY\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (!part.fileName.empty()) {
            body +=
                "; filename=\"" + part.fileName + "\"\r\nContent-Type: application/octet-stream";
        }
        body += "\r\n\r\n" + part.value + "\r\n";
    }
    return close ? body + "--BOUNDARY--\r\n" : body;
}

class VisitorServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_source = std::make_unique<testsupport::CTestDataSource>(testsupport::EEngine::SQLite,
                                                                  m_dir.Path());
        m_catalogue.SetDataSourceName(m_source->Name());
        ASSERT_TRUE(m_catalogue.Open(nullptr, nullptr));
        ASSERT_TRUE(m_catalogue.CreateAllTables());
        for (const char* sub : {"site", "db", "uploads", "closed", "bad"}) {
            fs::create_directories(m_dir.Path() / sub);
        }
        CFileAreaStore store;
        ASSERT_TRUE(store.OpenForWriting(m_dir / "db"));
        AreaRecord uploads{
            0,  "Uploads & more", m_dir / "uploads",
            "", "/files/up",      AREA_DOWNLOADABLE | AREA_UPLOADABLE | AREA_HOSTED_LOCALLY};
        AreaRecord closed{0, "Closed", m_dir / "closed", "", "", AREA_DOWNLOADABLE};
        ASSERT_TRUE(store.AddArea(uploads));
        ASSERT_TRUE(store.AddArea(closed));
        store.Close();
        m_settings.httpPath = m_dir / "site";
        m_settings.databasePath = m_dir / "db";
        m_settings.badPath = m_dir / "bad";
        m_settings.httpServer = "http://files.example.org";
        m_settings.allowUploads = 1;
        m_settings.dataSourceName = m_source->Name();
        m_settings.freeSpaceThreshold = 0;
        Restart();
    }

    void Restart() { m_service = std::make_unique<CVisitorService>(m_settings); }

    std::uint32_t AddFile(const std::string& title, const std::vector<std::string>& locations) {
        CFileRecord file(&m_catalogue);
        file.m_TITLE = title;
        EXPECT_TRUE(file.Add());
        for (const std::string& location : locations) {
            EXPECT_TRUE(file.AddDownloadURL(location));
        }
        return static_cast<std::uint32_t>(file.m_FILE_ID);
    }

    long long Downloads(std::uint32_t fileId) {
        CFileRecord file(&m_catalogue);
        EXPECT_TRUE(file.Get(static_cast<int32_t>(fileId), false));
        return static_cast<long long>(file.m_DOWNLOADS);
    }

    CWebResponse Do(const std::string& method, const std::string& action, const std::string& query,
                    const std::string& contentType = {}, const std::string& body = {},
                    CVisitorSession* session = nullptr) {
        CStringBody reader(body);
        CWebRequest request;
        request.method = method;
        request.path = std::string(SERVICE_PREFIX) + action;
        request.query = query;
        request.contentType = contentType;
        request.contentLength = static_cast<long long>(body.size());
        request.body = &reader;
        CVisitorSession own(m_service->Settings());
        CWebResponse response;
        m_service->Handle(request, response, session ? *session : own);
        return response;
    }

    CWebResponse PostForm(const std::string& action, const std::string& body,
                          CVisitorSession* session = nullptr) {
        return Do("POST", action, "", "application/x-www-form-urlencoded", body, session);
    }

    CWebResponse Upload(const std::vector<CPart>& parts, bool close = true) {
        return Do("POST", "upload", "", "multipart/form-data; boundary=BOUNDARY",
                  Multipart(parts, close));
    }

    std::vector<std::string> Names(const std::string& sub) {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir.Path() / sub)) {
            names.push_back(entry.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    CTempDir m_dir;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
    CDorvaleDatabaseManager m_catalogue;
    CVisitorSettings m_settings;
    std::unique_ptr<CVisitorService> m_service;
};

std::vector<CPart> GoodUpload(const std::string& fileName, const std::string& bytes) {
    return {{"area", "1", ""},        {"title", "Packer", ""},
            {"version", "1.0", ""},   {"shortdesc", "Packs things", ""},
            {"company", "Acme", ""},  {"email", "ann@example.org", ""},
            {"reqform", "yes", ""},   {"longdesc", "Line one\r\nLine two", ""},
            {"file", bytes, fileName}};
}

} // namespace

TEST_F(VisitorServiceTest, ReviewsArePostedAsSubmissionsAndPublishedOnesShownEscaped) {
    const std::uint32_t id = AddFile("Tools <b>", {"http://example.org/t.zip"});
    CWebResponse response =
        PostForm("review", "file=" + std::to_string(id) +
                               "&name=Ann+%3Cscript%3E&email=ann%40example.org&review=" +
                               UrlEscape("Great.\r\n\tIndented\r\nThird"));
    ASSERT_EQ(response.status, 200) << response.body;
    EXPECT_NE(response.body.find("Tools &lt;b&gt;"), std::string::npos);
    const std::string path = SubmissionsFilePath(m_settings.httpPath + "/");
    const std::string text = ReadFile(path);
    const std::string head =
        std::to_string(id) + "\r\nTools <b>\r\nAnn <script>\r\nann@example.org\r\nfalse\r\n";
    ASSERT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(head.size() + 12), "Great.\r\n Indented\r\nThird\r\n\t\r\n");

    // Nothing is shown until the administrator publishes it.
    EXPECT_NE(Do("GET", "reviews", "file=" + std::to_string(id)).body.find("No reviews yet"),
              std::string::npos);
    auto submissions = ReadSubmissionsFile(path);
    ASSERT_EQ(submissions.size(), 1u);
    ReviewEntry hidden = submissions[0];
    hidden.anonymous = true;
    hidden.name = "Hidden";
    WriteReviewFile(ReviewFilePath(m_settings.httpPath + "/", id), {submissions[0], hidden});
    response = Do("GET", "reviews", "file=" + std::to_string(id));
    ASSERT_EQ(response.status, 200);
    EXPECT_TRUE(response.noStore);
    EXPECT_NE(response.body.find("<strong>Ann &lt;script&gt;</strong>"), std::string::npos);
    EXPECT_NE(response.body.find("Great.<br> Indented<br>Third"), std::string::npos);
    EXPECT_NE(response.body.find("<strong>Anonymous</strong>"), std::string::npos);
    EXPECT_EQ(response.body.find("Hidden"), std::string::npos);
    EXPECT_EQ(response.body.find("ann@example.org"), std::string::npos);
    EXPECT_LT(response.body.find("Ann &lt;"), response.body.find("Anonymous")); // newest last
}

TEST_F(VisitorServiceTest, BadReviewsAreRefusedWithClearPagesAndNothingWritten) {
    const std::uint32_t id = AddFile("Tools", {});
    const std::string file = "file=" + std::to_string(id);
    struct CCase {
        std::string body;
        int status;
        std::string says;
    };
    const std::vector<CCase> cases = {
        {file + "&email=a%40b&review=x", 400, "Name field is required."},
        {file + "&name=A&review=x", 400, "Email field is required."},
        {file + "&name=A&email=a%40b&review=+%0D%0A+", 400, "Review field is required."},
        {file + "&name=A%0D%0AEvil&email=a%40b&review=x", 400, "control character"},
        {file + "&name=A&email=a%40b%0ABcc%3Ae%40f&review=x", 400, "control character"},
        {file + "&name=A&email=a+b%40c&review=x", 400, "Illegal characters in e-mail address."},
        {file + "&name=A&email=abc&review=x", 400, "Invalid e-mail address."},
        {file + "&name=A%00B&email=a%40b&review=x", 400, "control character"},
        {file + "&name=%C3%28&email=a%40b&review=x", 400, "not valid UTF-8"},
        {file + "&name=" + std::string(81, 'n') + "&email=a%40b&review=x", 400, "too long"},
        {file + "&name=A&email=a%40b&review=" + std::string(8001, 'r'), 400, "too long"},
        {"file=99999&name=A&email=a%40b&review=x", 404, "no file with this number"},
        {"file=..%2F1&name=A&email=a%40b&review=x", 400, "which file"},
        {"name=A&email=a%40b&review=x", 400, "which file"},
        {file + "&name=A&email=a%40b&review=%zz", 400, "not properly encoded"},
    };
    for (const CCase& c : cases) {
        const CWebResponse response = PostForm("review", c.body);
        EXPECT_EQ(response.status, c.status) << c.body;
        EXPECT_NE(response.body.find(c.says), std::string::npos) << c.body << "\n" << response.body;
        EXPECT_EQ(response.body.find("<script"), std::string::npos);
    }
    EXPECT_EQ(PostForm("review", std::string(MAX_FORM_BODY + 1, 'x')).status, 413);
    EXPECT_EQ(Do("POST", "review", "", "text/plain", file).status, 415);
    EXPECT_EQ(Do("GET", "review", file).status, 405);
    EXPECT_EQ(Do("GET", "nothing-here", "").status, 404);
    EXPECT_EQ(Do("GET", "reviews", "file=abc").status, 400);
    EXPECT_FALSE(fs::exists(SubmissionsFilePath(m_settings.httpPath + "/")));
}

TEST_F(VisitorServiceTest, PagesHaveTheSitesHeaderWithTheSearchBoxAndTheSubmitLink) {
    const std::string search = "<form class=\"search\" role=\"search\" "
                               "action=\"/dorvaleindex/QueryHit.idq\" method=\"get\">";
    const std::string submit = "<li><a href=\"/dorvale/do/submit\">Submit a file</a></li>";
    // A form, a refusal and a page that is not there: every one the same header.
    for (const CWebResponse& response :
         {Do("GET", "upload", ""), Do("GET", "nothing-here", ""), PostForm("review", "x=1")}) {
        const std::size_t header = response.body.find("<header class=\"site\">");
        const std::size_t main = response.body.find("<main id=\"main\"");
        ASSERT_NE(header, std::string::npos) << response.body;
        ASSERT_NE(main, std::string::npos) << response.body;
        const std::string head = response.body.substr(header, main - header);
        EXPECT_NE(head.find(search), std::string::npos) << head;
        EXPECT_NE(head.find(submit), std::string::npos) << head;
    }
}

TEST_F(VisitorServiceTest, ConcurrentReviewPostsAllArriveWhole) {
    const std::uint32_t id = AddFile("Tools", {});
    constexpr int POSTS = 50;
    std::atomic<int> accepted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < POSTS; ++t) {
        threads.emplace_back([&, t] {
            CVisitorSession session(m_service->Settings());
            const std::string body = "file=" + std::to_string(id) + "&name=Writer" +
                                     std::to_string(t) + "&email=w%40example.org&review=" +
                                     std::string(2000, static_cast<char>('a' + t % 26));
            if (PostForm("review", body, &session).status == 200) {
                ++accepted;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(accepted.load(), POSTS);
    const auto submissions = ReadSubmissionsFile(SubmissionsFilePath(m_settings.httpPath + "/"));
    ASSERT_EQ(submissions.size(), static_cast<std::size_t>(POSTS));
    std::set<std::string> writers;
    for (const SubmissionEntry& entry : submissions) {
        const int t = std::stoi(entry.name.substr(6));
        EXPECT_EQ(entry.text, std::string(2000, static_cast<char>('a' + t % 26)));
        writers.insert(entry.name);
    }
    EXPECT_EQ(writers.size(), static_cast<std::size_t>(POSTS));
}

TEST_F(VisitorServiceTest, DownloadsRedirectAndAreCountedInBatches) {
    const std::uint32_t id =
        AddFile("Tools", {"http://mirror.example.org/a b.zip", "local://1/sub/t\xC3\xA9.zip",
                          "local://2/x.zip", "javascript:alert(1)"});
    CWebResponse response =
        Do("GET", "download",
           "file=" + std::to_string(id) + "&url=" + UrlEscape("http://mirror.example.org/a b.zip"));
    ASSERT_EQ(response.status, 302) << response.body;
    EXPECT_EQ(response.location, "http://mirror.example.org/a%20b.zip");
    EXPECT_TRUE(response.noStore);
    response =
        Do("GET", "download",
           "file=" + std::to_string(id) + "&url=" + UrlEscape("local://1/sub/t\xC3\xA9.zip"));
    ASSERT_EQ(response.status, 302);
    // Escaped as the generated download page escapes it.
    EXPECT_EQ(response.location, "http://files.example.org/files/up/sub/t%C3%A9%2Ezip");
    EXPECT_EQ(m_service->Counter().Pending(), 2);

    // Not counted: an area without an HTTP alias, a location that is no web address, one the
    // file does not have, a damaged link.
    const std::string file = "file=" + std::to_string(id);
    EXPECT_EQ(Do("GET", "download", file + "&url=" + UrlEscape("local://2/x.zip")).status, 404);
    EXPECT_EQ(Do("GET", "download", file + "&url=" + UrlEscape("javascript:alert(1)")).status, 404);
    EXPECT_EQ(Do("GET", "download", file + "&url=" + UrlEscape("http://evil.example/")).status,
              404);
    EXPECT_EQ(Do("GET", "download", file + "&url=a%0D%0ALocation:x").status, 400);
    EXPECT_EQ(Do("GET", "download", "file=-1&url=x").status, 400);
    EXPECT_EQ(Do("POST", "download", file).status, 405);
    EXPECT_EQ(m_service->Counter().Pending(), 2);

    // 2000 clicks from 8 threads at once move the count by exactly 2000.
    const std::string query = file + "&url=" + UrlEscape("http://mirror.example.org/a b.zip");
    std::vector<std::thread> threads;
    std::atomic<int> redirected{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&] {
            CVisitorSession session(m_service->Settings());
            for (int i = 0; i < 250; ++i) {
                redirected += Do("GET", "download", query, {}, {}, &session).status == 302;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(redirected.load(), 2000);
    EXPECT_EQ(Downloads(id), 0); // nothing written before the flush
    {
        CDownloadFlusher flusher(
            m_service->Counter(),
            [this] {
                auto manager = std::make_unique<CDorvaleDatabaseManager>(false);
                manager->SetDataSourceName(m_source->Name());
                return manager->Open(nullptr, nullptr) ? std::move(manager) : nullptr;
            },
            std::chrono::hours(1));
        EXPECT_TRUE(flusher.Stop()); // the flush at exit
    }
    EXPECT_EQ(Downloads(id), 2002);
    EXPECT_EQ(m_service->Counter().Pending(), 0);

    // A catalogue that refuses the batch keeps the counts for the next one.
    m_service->Counter().Add(id, 5);
    ASSERT_TRUE(m_catalogue.ExecuteSQL("alter table files rename to gone"));
    EXPECT_FALSE(m_service->Counter().Flush(m_catalogue));
    EXPECT_EQ(m_service->Counter().Pending(), 5);
    ASSERT_TRUE(m_catalogue.ExecuteSQL("alter table gone rename to files"));
    EXPECT_TRUE(m_service->Counter().Flush(m_catalogue));
    EXPECT_EQ(Downloads(id), 2007);

    // A location the catalogue no longer lists stops redirecting once the service's memory of
    // it has lapsed.
    m_settings.listedLocationKeep = std::chrono::milliseconds(300);
    Restart();
    ASSERT_EQ(Do("GET", "download", query).status, 302);
    ASSERT_TRUE(m_catalogue.ExecuteSQL("delete from download"));
    EXPECT_EQ(Do("GET", "download", query).status, 302);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    EXPECT_EQ(Do("GET", "download", query).status, 404);
}

TEST_F(VisitorServiceTest, UploadsLandWithTheirDescriptionWhereTheScanFindsThem) {
    EXPECT_NE(Do("GET", "upload", "").body.find("Uploads &amp; more"), std::string::npos);
    EXPECT_EQ(Do("GET", "upload", "").body.find("Closed"), std::string::npos);
    const std::string bytes = std::string("PK\3\4") + std::string(300000, 'z') + "\r\n--BOUNDAR";
    CWebResponse response = Upload(GoodUpload("C:\\Users\\ann\\..\\pack.zip", bytes));
    ASSERT_EQ(response.status, 200) << response.body;
    EXPECT_EQ(Names("uploads"), (std::vector<std::string>{"pack.zip", "pack.zip.desc"}));
    EXPECT_EQ(ReadFile(m_dir / "uploads/pack.zip"), bytes);
    EXPECT_EQ(ReadFile(m_dir / "uploads/pack.zip.desc"),
              "Filename: pack.zip\r\nArea: Uploads & more\r\nTitle: Packer\r\nVersion: 1.0\r\n"
              "ShortDesc: Packs things\r\nCompany: Acme\r\nEmail: ann@example.org\r\n"
              "ReqForm: Yes\r\n\r\nLine one\r\nLine two");
    const auto pairs = ScanDescriptionFiles(m_dir / "uploads");
    ASSERT_EQ(pairs.size(), 1u);
    EXPECT_TRUE(pairs[0].description.IsFilenameSafe());

    // Overwrite 0: the same name again is refused and set aside in BadPath.
    response = Upload(GoodUpload("pack.zip", "second"));
    EXPECT_EQ(response.status, 409);
    EXPECT_EQ(ReadFile(m_dir / "uploads/pack.zip"), bytes);
    std::vector<std::string> bad = Names("bad");
    ASSERT_EQ(bad.size(), 2u);
    EXPECT_TRUE(bad[0].ends_with("-pack.zip"));
    EXPECT_EQ(ReadFile(m_dir.Path() / "bad" / bad[0]), "second");
    EXPECT_EQ(bad[1], bad[0] + ".desc");

    // Overwrite 2: kept beside it under a numbered name.
    m_settings.overwrite = 2;
    Restart();
    ASSERT_EQ(Upload(GoodUpload("pack.zip", "third")).status, 200);
    ASSERT_EQ(Upload(GoodUpload("pack.zip", "fourth")).status, 200);
    EXPECT_EQ(ReadFile(m_dir / "uploads/pack(1).zip"), "third");
    EXPECT_EQ(ReadFile(m_dir / "uploads/pack(2).zip"), "fourth");
    CUploadDescription desc;
    ASSERT_TRUE(ReadDescriptionFile(m_dir / "uploads/pack(2).zip.desc", desc));
    EXPECT_EQ(desc.strFilename, "pack(2).zip");

    // Overwrite 1: replaced, file and description.
    m_settings.overwrite = 1;
    Restart();
    ASSERT_EQ(Upload(GoodUpload("pack.zip", "fifth")).status, 200);
    EXPECT_EQ(ReadFile(m_dir / "uploads/pack.zip"), "fifth");
    EXPECT_EQ(ScanDescriptionFiles(m_dir / "uploads").size(), 3u);
    // No passing names left behind.
    for (const std::string& name : Names("uploads")) {
        EXPECT_NE(name.front(), '.') << name;
    }
}

TEST_F(VisitorServiceTest, RefusedUploadsLeaveNothingTheScanWouldPost) {
    auto areaFiles = [this] { return Names("uploads").size(); };
    // Names refused for what they are: set aside, never stored in the area.
    for (const std::string& name : std::vector<std::string>{
             "..", ".hidden", "notes.DESC", "a:b.zip", "trailing.", "bad\x01name", "nul\0.zip"s,
             "caf\xE9.zip", std::string(201, 'n')}) {
        const CWebResponse response = Upload(GoodUpload(name, "data"));
        EXPECT_EQ(response.status, 422) << name << response.body;
        EXPECT_NE(response.body.find("set aside"), std::string::npos);
    }
    EXPECT_EQ(Upload(GoodUpload("empty.zip", "")).status, 422);
    EXPECT_EQ(areaFiles(), 0u);
    EXPECT_EQ(Names("bad").size(), 20u);
    for (const std::string& name : Names("bad")) {
        EXPECT_EQ(name.find_first_of(":\x01\xE9"), std::string::npos);
    }

    // Refused before anything is stored.
    std::vector<CPart> parts = GoodUpload("a.zip", "data");
    parts[0].value = "2"; // not uploadable
    EXPECT_EQ(Upload(parts).status, 403);
    parts = GoodUpload("a.zip", "data");
    parts.erase(parts.begin()); // no area before the file
    EXPECT_EQ(Upload(parts).status, 400);
    parts = GoodUpload("a.zip", "data");
    parts[1].value = "";        // no title
    parts[5].value = "a@b\r\n"; // an address with a line break
    CWebResponse response = Upload(parts);
    EXPECT_EQ(response.status, 400);
    EXPECT_NE(response.body.find("Title field is required."), std::string::npos);
    EXPECT_NE(response.body.find("Email address&quot; holds a control character or a line break"),
              std::string::npos);
    EXPECT_EQ(Upload(GoodUpload("a.zip", "data"), false).status, 400); // the body never ends
    EXPECT_EQ(Do("POST", "upload", "", "text/plain", "x").status, 415);

    m_settings.uploadLimit = 1 << 20;
    Restart();
    EXPECT_EQ(Upload(GoodUpload("big.zip", std::string((1 << 20) + 1, 'b'))).status, 413);
    m_settings.freeSpaceThreshold = std::uint64_t(1) << 62;
    Restart();
    EXPECT_EQ(Upload(GoodUpload("a.zip", "data")).status, 507);
    for (const std::uint32_t mode : {0u, 2u}) {
        m_settings.allowUploads = mode;
        Restart();
        EXPECT_EQ(Upload(GoodUpload("a.zip", "data")).status, 403);
        EXPECT_EQ(Do("GET", "upload", "").status, 403);
    }
    EXPECT_EQ(areaFiles(), 0u);
    EXPECT_EQ(Names("bad").size(), 20u);
}

TEST_F(VisitorServiceTest, ALineBreakInAnyOneLineFieldIsRefusedWithItsName) {
    const std::uint32_t id = AddFile("Tools", {});
    m_settings.adminEmail = "admin@example.org"; // open, though nothing here reaches the mail
    Restart();
    const std::string injected = "A%0D%0ABcc%3A+evil%40example.org";
    // Each form with good values; every one-line field in turn gets the line break.
    const std::vector<std::pair<std::string, std::string>> review = {{"file", std::to_string(id)},
                                                                     {"name", "Ann"},
                                                                     {"email", "ann%40example.org"},
                                                                     {"review", "Fine"}};
    const std::vector<std::pair<std::string, std::string>> submission = {
        {"title", "Packer"},
        {"version", "1.0"},
        {"date", "2024-05-06"},
        {"size", "12"},
        {"shortdesc", "Packs"},
        {"company", "Acme"},
        {"email", "ann%40example.org"},
        {"sitename1", "One"},
        {"siteurl1", "http%3A%2F%2Fone.example.org%2Fp.zip"}};
    auto encode = [](const auto& fields, const std::string& broken, const std::string& value) {
        std::string body;
        for (const auto& [name, good] : fields) {
            body += (body.empty() ? "" : "&") + name + "=" + (name == broken ? value : good);
        }
        return body;
    };
    for (const auto& [form, fields, labels] :
         {std::tuple{"review", review, std::vector<std::string>{"", "Name", "Email", ""}},
          std::tuple{"submit", submission,
                     std::vector<std::string>{"Title", "Version", "Date of the file",
                                              "Size in bytes", "Brief description", "Author's name",
                                              "Email address", "Site 1 name", "Site 1 address"}}}) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (labels[i].empty()) {
                continue; // the file number and the review text are checked otherwise
            }
            const CWebResponse response = PostForm(form, encode(fields, fields[i].first, injected));
            EXPECT_EQ(response.status, 400) << form << " " << fields[i].first;
            std::string label;
            AppendHtmlEscaped(label, labels[i]);
            EXPECT_NE(
                response.body.find(label + "&quot; holds a control character or a line break"),
                std::string::npos)
                << form << " " << fields[i].first << "\n"
                << response.body;
        }
    }
    EXPECT_FALSE(fs::exists(SubmissionsFilePath(m_settings.httpPath + "/")));

    std::vector<CPart> upload = GoodUpload("a.zip", "data");
    for (const char* field : {"title", "version", "shortdesc", "company", "email"}) {
        std::vector<CPart> parts = upload;
        for (CPart& part : parts) {
            if (part.name == field) {
                part.value = "A\r\nBcc: evil@example.org";
            }
        }
        const CWebResponse response = Upload(parts);
        EXPECT_EQ(response.status, 400) << field;
        EXPECT_NE(response.body.find("holds a control character or a line break"),
                  std::string::npos)
            << field;
    }
    EXPECT_EQ(Names("uploads").size(), 0u);
}

TEST_F(VisitorServiceTest, SubmissionsAreMailedAsTheAddFileWizardReadsThem) {
    const char* server = std::getenv("DORVALE_SMTP_SERVER");
    const char* spool = std::getenv("DORVALE_SMTP_SPOOL");
    if (!server || !spool) {
        GTEST_SKIP() << "DORVALE_SMTP_SERVER is not set: run under scripts/test.sh, which "
                        "starts the SMTP server";
    }
    setenv("DORVALE_REGISTRY", (m_dir / "registry").c_str(), 1);
    fs::create_directories(m_dir / "registry");
    const auto registered =
        testsupport::RunProgram({testsupport::BuiltProgram("dorvale-regsvr"), QTRWEB_LIBRARY});
    ASSERT_EQ(registered.exitCode, 0) << registered.err;
    const auto set =
        testsupport::RunProgram({testsupport::BuiltProgram("dorvale-reg"), "set",
                                 "HKLM\\Software\\Halvren Software\\Quenwick\\QTR Web\\SendMail",
                                 "SMTPServer", "REG_SZ", server});
    ASSERT_EQ(set.exitCode, 0) << set.err;

    // No AdminEmail: closed, said on the page every page links to, refused when posted.
    EXPECT_NE(Do("GET", "submit", "").body.find("does not take file submissions"),
              std::string::npos);
    EXPECT_EQ(PostForm("submit", "title=A").status, 503);
    m_settings.adminEmail = "admin-" + std::to_string(::getpid()) + "@example.org";
    Restart();
    EXPECT_NE(Do("GET", "submit", "").body.find("name=\"siteurl1\""), std::string::npos);
    const CWebResponse response = PostForm(
        "submit", "title=Packer&version=2.1&date=2049-12-31&size=1234&shortdesc=Packs&reqform=yes"
                  "&company=Acme&email=ann%40example.org&sitename1=&siteurl1=" +
                      UrlEscape("http://one.example.org/p.zip") +
                      "&sitename3=Three&siteurl3=" + UrlEscape("ftp://three.example.org/p.zip") +
                      "&description=" + UrlEscape("First line\r\n.\r\nSubject: not a header"));
    ASSERT_EQ(response.status, 200) << response.body;
    const std::string mail = ReadFile(fs::path(spool) / (m_settings.adminEmail + ".data"));
    EXPECT_NE(mail.find("Subject: Dorvale file submission\r\n"), std::string::npos) << mail;
    EXPECT_NE(mail.find("From: " + m_settings.adminEmail + "\r\n"), std::string::npos);
    const std::string body = mail.substr(mail.find("\r\n\r\n") + 4);
    // Read back as the add-file wizard reads the clipboard.
    CSubmission read;
    ASSERT_TRUE(ParseSubmission(body, read)) << body;
    EXPECT_EQ(read.Get("Title"), "Packer");
    CDateTime date;
    ASSERT_TRUE(read.GetDate(date));
    EXPECT_EQ(date.GetYear(), 2049);
    EXPECT_EQ(read.GetSize(), 1234);
    EXPECT_TRUE(read.GetReqForm());
    EXPECT_EQ(read.Get("Email"), "ann@example.org");
    EXPECT_EQ(read.Get("SiteName1"), "one.example.org");
    EXPECT_EQ(read.Get("SiteName2"), "Three");
    EXPECT_EQ(read.GetSiteUrls(), (std::vector<std::string>{"http://one.example.org/p.zip",
                                                            "ftp://three.example.org/p.zip"}));
    EXPECT_TRUE(read.detailed.starts_with("First line\r\n.\r\nSubject: not a header"));

    // Refused: a header smuggled into the title, a date out of range, no address, a
    // javascript: address.
    const std::string rest = "&email=a%40b&siteurl1=" + UrlEscape("http://x.org/");
    EXPECT_EQ(PostForm("submit", "title=A%0D%0ABcc%3A+e%40f" + rest).status, 400);
    EXPECT_EQ(PostForm("submit", "title=A&date=2050-01-01" + rest).status, 400);
    EXPECT_EQ(PostForm("submit", "title=A&email=a%40b").status, 400);
    EXPECT_EQ(PostForm("submit", "title=A&email=a%40b&siteurl1=javascript%3Ax").status, 400);
    unsetenv("DORVALE_REGISTRY");
}
