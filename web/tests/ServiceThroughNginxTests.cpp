// dorvale-web as it runs on a site: started by dorvale-serve beside a real nginx, on an SQLite
// catalogue through ODBC. Load (exact counts, whole records) and faults (a killed service, a
// full disk).
#include "DescriptionFile.h"
#include "DorvaleDatabaseManager.h"
#include "FileAreaStore.h"
#include "FileRecord.h"
#include "Formatting.h"
#include "HttpClient.h"
#include "OdbcTestSupport.h"
#include "Reviews.h"
#include "TestSupport.h"

#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::CHttpClient;
using testsupport::ReadFile;

namespace {

std::string UploadBody(const std::string& fileName, const std::string& bytes) {
    std::string body;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"area", "1"}, {"title", "Big"}, {"email", "ann@example.org"}}) {
        body +=
            "--B\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    }
    body += "--B\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + fileName +
            "\"\r\n\r\n" + bytes + "\r\n--B--\r\n";
    return body;
}

// One FastCGI record.
std::string Record(unsigned char type, const std::string& content) {
    std::string record = {1,
                          static_cast<char>(type),
                          0,
                          1,
                          static_cast<char>(content.size() >> 8),
                          static_cast<char>(content.size() & 0xFF),
                          0,
                          0};
    return record + content;
}

std::string Pair(const std::string& name, const std::string& value) {
    return std::string(1, static_cast<char>(name.size())) +
           std::string(1, static_cast<char>(value.size())) + name + value;
}

class ServiceThroughNginx : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(m_dir.Path() / "registry");
        // nginx's workers, which do not run as root, pass through to the service's socket.
        fs::permissions(m_dir.Path(),
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        setenv("DORVALE_REGISTRY", (m_dir.Path() / "registry").c_str(), 1);
        m_source = std::make_unique<testsupport::CTestDataSource>(testsupport::EEngine::SQLite,
                                                                  m_dir.Path());
        // The service opens "Dorvale", in processes of its own.
        testsupport::WriteSqliteDataSource("Dorvale", m_source->DatabaseFile());
        m_env = {"DORVALE_REGISTRY=" + (m_dir.Path() / "registry").string()};
        for (const auto& [name, value] : m_source->Environment()) {
            m_env.push_back(name + "=" + value);
        }
        m_catalogue.SetDataSourceName(m_source->Name());
        ASSERT_TRUE(m_catalogue.Open(nullptr, nullptr));
        ASSERT_TRUE(m_catalogue.CreateAllTables());
        for (const char* sub : {"site/details", "db", "uploads", "run"}) {
            fs::create_directories(m_dir.Path() / sub);
        }
        CFileAreaStore store;
        ASSERT_TRUE(store.OpenForWriting(m_dir / "db"));
        AreaRecord uploads{
            0,  "Uploads", m_dir / "uploads",
            "", "/up",     AREA_DOWNLOADABLE | AREA_UPLOADABLE | AREA_HOSTED_LOCALLY};
        ASSERT_TRUE(store.AddArea(uploads));
        store.Close();
        SetSetting("HttpPath", "REG_SZ", m_dir / "site");
        SetSetting("DatabasePath", "REG_SZ", m_dir / "db");
        SetSetting("AllowUploads", "REG_DWORD", "3");
        SetSetting("FreeSpaceThreshold", "REG_DWORD", "0");
        m_port = testsupport::FreeLoopbackPort();
    }

    void TearDown() override {
        Serve("stop");
        unsetenv("DORVALE_REGISTRY");
    }

    void SetSetting(const std::string& name, const std::string& type, const std::string& value) {
        const auto set = testsupport::RunProgram(
            {testsupport::BuiltProgram("dorvale-reg"), "set",
             "HKLM\\Software\\Halvren Software\\Quenwick\\Dorvale", name, type, value},
            m_env);
        ASSERT_EQ(set.exitCode, 0) << set.err;
    }

    testsupport::CProgramResult Serve(const std::string& command) {
        std::vector<std::string> args = {testsupport::BuiltProgram("dorvale-serve"), command,
                                         "--dir", m_dir / "run"};
        if (command == "start") {
            args.push_back("--port");
            args.push_back(std::to_string(m_port));
        }
        return testsupport::RunProgram(args, m_env);
    }

    std::uint32_t AddFile(const std::string& title, const std::string& location) {
        CFileRecord file(&m_catalogue);
        file.m_TITLE = title;
        EXPECT_TRUE(file.Add());
        EXPECT_TRUE(file.AddDownloadURL(location));
        return static_cast<std::uint32_t>(file.m_FILE_ID);
    }

    long ServicePid() { return std::stol(ReadFile(m_dir / "run/dorvale-web.pid")); }

    testsupport::CTempDir m_dir;
    std::unique_ptr<testsupport::CTestDataSource> m_source;
    CDorvaleDatabaseManager m_catalogue;
    std::vector<std::string> m_env;
    int m_port = 0;
};

} // namespace

TEST_F(ServiceThroughNginx, ConcurrentReviewsAndDownloadsAreExact) {
    const std::uint32_t id = AddFile("Tools", "http://mirror.example.org/t.zip");
    testsupport::WriteFile(m_dir.Path() / "site/details" / (std::to_string(id) + ".asp"),
                           "<h1>Tools</h1>\n<!--#include virtual=\"/dorvale/do/reviews?file=" +
                               std::to_string(id) + "\" -->\n");
    const auto started = Serve("start");
    ASSERT_EQ(started.exitCode, 0) << started.err;

    // 50 reviews at once: 50 whole records.
    std::vector<std::thread> threads;
    std::atomic<int> accepted{0};
    for (int t = 0; t < 50; ++t) {
        threads.emplace_back([&, t] {
            CHttpClient client(m_port);
            const auto response =
                client.Post("/dorvale/do/review", "application/x-www-form-urlencoded",
                            "file=" + std::to_string(id) + "&name=Visitor" + std::to_string(t) +
                                "&email=v%40example.org&review=" + std::string(3000, 'a' + t % 26));
            accepted += response.status == 200;
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    threads.clear();
    EXPECT_EQ(accepted.load(), 50);
    const auto submissions = ReadSubmissionsFile(SubmissionsFilePath(m_dir / "site/"));
    ASSERT_EQ(submissions.size(), 50u);
    for (const SubmissionEntry& entry : submissions) {
        EXPECT_EQ(entry.text, std::string(3000, 'a' + std::stoi(entry.name.substr(7)) % 26));
        EXPECT_EQ(entry.fileName, "Tools");
    }

    // The administrator publishes one: the page shows it at once through its include.
    WriteReviewFile(ReviewFilePath(m_dir / "site/", id), {submissions[7]});
    CHttpClient reader(m_port);
    const auto page = reader.Get("/dorvale/details/" + std::to_string(id) + ".asp");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("<strong>" + submissions[7].name + "</strong>"), std::string::npos)
        << page.body << ReadFile(m_dir / "run/error.log");

    // 2000 download clicks at once: every one redirected, the count moved by exactly 2000.
    std::atomic<int> redirected{0};
    const std::string target = "/dorvale/do/download?file=" + std::to_string(id) +
                               "&url=" + UrlEscape("http://mirror.example.org/t.zip");
    for (int t = 0; t < 20; ++t) {
        threads.emplace_back([&] {
            CHttpClient client(m_port);
            for (int i = 0; i < 100; ++i) {
                const auto response = client.Get(target);
                redirected += response.status == 302 && response.headers.count("location") &&
                              response.headers.at("location") == "http://mirror.example.org/t.zip";
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(redirected.load(), 2000);
    const auto stopped = Serve("stop"); // the service writes what it counted before it goes
    ASSERT_EQ(stopped.exitCode, 0) << stopped.err;
    CFileRecord file(&m_catalogue);
    ASSERT_TRUE(file.Get(static_cast<int32_t>(id), false));
    EXPECT_EQ(file.m_DOWNLOADS, 2000);
}

TEST_F(ServiceThroughNginx, AServiceKilledMidUploadLeavesNothingTheScanWouldPost) {
    ASSERT_EQ(Serve("start").exitCode, 0);
    const long pid = ServicePid();
    // Straight to the service's socket, as nginx would, with half of the body: the upload is
    // under way when the service is killed.
    const std::string body = UploadBody("half.zip", std::string(4 << 20, 'h'));
    std::string params = Pair("REQUEST_METHOD", "POST") +
                         Pair("DOCUMENT_URI", "/dorvale/do/upload") +
                         Pair("CONTENT_TYPE", "multipart/form-data; boundary=B") +
                         Pair("CONTENT_LENGTH", std::to_string(body.size()));
    std::string records =
        Record(1, std::string("\0\1\0\0\0\0\0\0", 8)) + Record(4, params) + Record(4, "");
    for (std::size_t at = 0; at < body.size() / 2; at += 60000) {
        records += Record(5, body.substr(at, 60000));
    }
    // Connected only now: libfcgi drops a Unix socket connection that sends nothing for two
    // seconds after it was accepted, and making the records takes a while under sanitizers.
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un to{};
    to.sun_family = AF_UNIX;
    const std::string path = m_dir / "run/dorvale-web.sock";
    std::strncpy(to.sun_path, path.c_str(), sizeof to.sun_path - 1);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    const ssize_t sent = send(fd, records.data(), records.size(), MSG_NOSIGNAL);
    const int sendError = errno;
    ASSERT_EQ(sent, static_cast<ssize_t>(records.size()))
        << std::strerror(sendError) << "\n"
        << ReadFile(m_dir / "run/dorvale-web.log");
    // Wait until the service holds the incoming file open, then kill it.
    bool writing = false;
    for (int i = 0; i < 500 && !writing; ++i) {
        for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
            std::error_code ec;
            writing = writing ||
                      fs::read_symlink(entry.path(), ec).string().starts_with(m_dir / "uploads");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(writing);
    ASSERT_EQ(kill(static_cast<pid_t>(pid), SIGKILL), 0);
    close(fd);
    for (int i = 0; i < 200 && fs::exists("/proc/" + std::to_string(pid) + "/fd"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(fs::is_empty(m_dir / "uploads"));
    EXPECT_TRUE(ScanDescriptionFiles(m_dir / "uploads").empty());

    // Started again, the site takes uploads as before.
    ASSERT_EQ(Serve("start").exitCode, 0);
    CHttpClient client(m_port);
    const auto response = client.Post("/dorvale/do/upload", "multipart/form-data; boundary=B",
                                      UploadBody("whole.zip", "data"));
    EXPECT_EQ(response.status, 200) << response.body;
    EXPECT_EQ(ScanDescriptionFiles(m_dir / "uploads").size(), 1u);
}

TEST_F(ServiceThroughNginx, AFullDiskRefusesTheUploadCleanly) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    }
    const std::string area = m_dir / "uploads";
    const auto mounted = testsupport::RunProgram(
        {"/bin/mount", "-t", "tmpfs", "-o", "size=1m", "dorvale-test", area});
    if (mounted.exitCode != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << mounted.err;
    }
    ASSERT_EQ(Serve("start").exitCode, 0);
    CHttpClient client(m_port);
    auto response = client.Post("/dorvale/do/upload", "multipart/form-data; boundary=B",
                                UploadBody("large.zip", std::string(2 << 20, 'x')));
    EXPECT_EQ(response.status, 507);
    EXPECT_NE(response.body.find("not enough free space"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(area));
    response = client.Post("/dorvale/do/upload", "multipart/form-data; boundary=B",
                           UploadBody("small.zip", std::string(100000, 's')));
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(ScanDescriptionFiles(area).size(), 1u);
    Serve("stop");
    testsupport::RunProgram({"/bin/umount", area});
}
