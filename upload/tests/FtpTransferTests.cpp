// The transfer against a real FTP server (ProFTPD of the test peers): what arrives, byte for
// byte; the status line through every state; refusals and failures with their texts; a cancel
// in the middle of a large file.

#include "DescriptionFile.h"
#include "Fd.h"
#include "FtpTestSupport.h"
#include "UploadTransfer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <vector>

using namespace liftwell;
using ftptest::CFtpDirectory;
using ftptest::CFtpPeer;

namespace {

// Ticks the transfer (faster than the page's timer) until it finishes, collecting each status
// text as it first appears and every percentage seen while sending.
struct CRun {
    std::vector<std::string> statuses;
    std::vector<int> percents;
};

CRun TickToEnd(CUploadTransfer& transfer) {
    CRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!transfer.IsFinished() && std::chrono::steady_clock::now() < deadline) {
        transfer.Tick();
        if (run.statuses.empty() || run.statuses.back() != transfer.StatusText()) {
            run.statuses.push_back(transfer.StatusText());
        }
        run.percents.push_back(transfer.Percent());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return run;
}

std::string Bytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    }
    return bytes;
}

class FtpTransfer : public ::testing::Test {
protected:
    CFtpPeer m_peer;
    testsupport::CTempDir m_local;

    CUploadJob Job(const std::string& areaPath, const std::string& fileName,
                   const std::string& content) {
        CUploadJob job;
        job.account = {m_peer.address, m_peer.user, m_peer.password};
        job.localFile = m_local / fileName;
        testsupport::WriteFile(job.localFile, content);
        job.areaPath = areaPath;
        return job;
    }
};

TEST_F(FtpTransfer, FileAndDescriptionArriveWholeAndTheTemporaryFileGoes) {
    SKIP_WITHOUT_FTP_PEER(m_peer);
    CFtpDirectory area(m_peer, "upload");
    const std::string content = Bytes(300000);
    CUploadJob job = Job(area.Relative() + "\\", "tools 1.zip", content);
    const std::string description =
        "Filename: tools 1.zip\r\nArea: Files\r\nTitle: T\r\nVersion: \r\nShortDesc: S\r\n"
        "Company: \r\nEmail: e@x\r\nReqForm: No\r\n\r\nLong";
    job.descriptionFile = m_local / "des-test";
    testsupport::WriteFile(job.descriptionFile, description);

    CUploadTransfer transfer(job);
    const CRun run = TickToEnd(transfer);
    ASSERT_TRUE(transfer.IsFinished());
    EXPECT_TRUE(transfer.Succeeded()) << transfer.FailureDetail();
    const std::vector<std::string> expected = {
        "Connecting to " + m_peer.address + ".", "Sending file " + job.localFile + ".",
        "Sending file description information.", "File sent successfully."};
    EXPECT_EQ(run.statuses, expected);
    EXPECT_EQ(transfer.Percent(), 100);
    EXPECT_EQ(testsupport::ReadFile(area.Path() / "tools 1.zip"), content);
    EXPECT_EQ(testsupport::ReadFile(area.Path() / "tools 1.zip.desc"), description);
    EXPECT_FALSE(std::filesystem::exists(job.descriptionFile));

    // Anonymous, without a description, a file under 100 bytes: 0 % until it is sent.
    CUploadJob small = Job(area.Relative(), "small.txt", std::string(50, 's'));
    small.account.username.clear();
    small.account.password.clear();
    CUploadTransfer second(small);
    const CRun smallRun = TickToEnd(second);
    EXPECT_TRUE(second.Succeeded()) << second.FailureDetail();
    EXPECT_EQ(smallRun.statuses.back(), "File sent successfully.");
    for (std::size_t i = 0; i + 1 < smallRun.percents.size(); ++i) {
        EXPECT_TRUE(smallRun.percents[i] == 0 || smallRun.percents[i] == 100);
    }
    EXPECT_EQ(second.Percent(), 100);
    EXPECT_EQ(testsupport::ReadFile(area.Path() / "small.txt"), std::string(50, 's'));
    EXPECT_FALSE(std::filesystem::exists(area.Path() / "small.txt.desc"));
}

TEST_F(FtpTransfer, FailuresEndWithTheirTextAndDeleteTheDescription) {
    SKIP_WITHOUT_FTP_PEER(m_peer);
    CFtpDirectory area(m_peer, "refused");

    // A wrong password: the login is refused.
    CUploadJob job = Job(area.Relative(), "a.txt", "a");
    job.account.password = "wrong";
    job.descriptionFile = m_local / "des-a";
    testsupport::WriteFile(job.descriptionFile, "x");
    {
        CUploadTransfer transfer(job);
        const CRun run = TickToEnd(transfer);
        EXPECT_EQ(run.statuses.front(), "Connecting to " + m_peer.address + ".");
        EXPECT_EQ(transfer.StatusText(), "Unable to connect to FTP server.");
        EXPECT_FALSE(transfer.Succeeded());
        EXPECT_FALSE(transfer.FailureDetail().empty());
    }
    EXPECT_FALSE(std::filesystem::exists(job.descriptionFile));
    EXPECT_FALSE(std::filesystem::exists(area.Path() / "a.txt"));

    // Nothing listens there.
    CUploadJob nowhere = Job(area.Relative(), "b.txt", "b");
    nowhere.account.address = "127.0.0.1:" + std::to_string(ftptest::UnusedLoopbackPort());
    CUploadTransfer unreachable(nowhere);
    TickToEnd(unreachable);
    EXPECT_EQ(unreachable.StatusText(), "Unable to connect to FTP server.");

    // An address that names no server fails the same way.
    nowhere.account.address = "user@host";
    CUploadTransfer unnamed(nowhere);
    TickToEnd(unnamed);
    EXPECT_EQ(unnamed.StatusText(), "Unable to connect to FTP server.");

    // A directory the server does not have: the file cannot be stored.
    CUploadJob missing = Job(area.Relative() + "/absent", "c.txt", "c");
    CUploadTransfer unstored(missing);
    const CRun unstoredRun = TickToEnd(unstored);
    EXPECT_EQ(unstoredRun.statuses[1], "Sending file " + missing.localFile + ".");
    EXPECT_EQ(unstored.StatusText(), "Error sending file.");
}

TEST_F(FtpTransfer, AreaPathOutsideTheLoginDirectoryIsRefusedBeforeConnecting) {
    SKIP_WITHOUT_FTP_PEER(m_peer);
    for (const std::string path : {"/tmp", "../outside", "a\\..\\..\\b"}) {
        CUploadJob job = Job(path, "d.txt", "d");
        job.descriptionFile = m_local / "des-d";
        testsupport::WriteFile(job.descriptionFile, "x");
        CUploadTransfer transfer(job);
        const CRun run = TickToEnd(transfer);
        ASSERT_EQ(run.statuses.size(), 1u) << path;
        EXPECT_EQ(run.statuses[0], FormatStatus(TEXT_BAD_AREA_PATH, path));
        EXPECT_FALSE(transfer.Succeeded());
        EXPECT_FALSE(std::filesystem::exists(job.descriptionFile));
    }
    EXPECT_FALSE(
        std::filesystem::exists(std::filesystem::path(m_peer.root).parent_path() / "d.txt"));

    // A description that was due but could not be written stops the upload too.
    CUploadJob job = Job("in", "e.txt", "e");
    job.descriptionFailed = true;
    CUploadTransfer transfer(job);
    TickToEnd(transfer);
    EXPECT_EQ(transfer.StatusText(), TEXT_DESCRIPTION_NOT_WRITTEN);
}

TEST_F(FtpTransfer, CancelDuringALargeFileStopsAtOnceAndLeavesNoUploadToPost) {
    SKIP_WITHOUT_FTP_PEER(m_peer);
    CFtpDirectory area(m_peer, "cancel");
    // A sparse file far larger than what loopback sends in the time the test takes.
    CUploadJob job;
    job.account = {m_peer.address, m_peer.user, m_peer.password};
    job.localFile = m_local / "large.bin";
    {
        const int fd = ::open(job.localFile.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 16LL << 30), 0);
        ::close(fd);
    }
    job.areaPath = area.Relative();
    job.descriptionFile = m_local / "des-large";
    testsupport::WriteFile(job.descriptionFile, "Filename: large.bin\r\n\r\n");

    CUploadTransfer transfer(job);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline &&
           !(transfer.StatusText().starts_with("Sending file") &&
             std::filesystem::exists(area.Path() / "large.bin") &&
             std::filesystem::file_size(area.Path() / "large.bin") > (4u << 20))) {
        transfer.Tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(transfer.IsFinished()) << transfer.StatusText() << " " << transfer.FailureDetail();
    ASSERT_EQ(transfer.StatusText(), "Sending file " + job.localFile + ".");

    transfer.Cancel();
    EXPECT_TRUE(transfer.IsFinished());
    EXPECT_TRUE(transfer.WasCancelled());
    EXPECT_TRUE(transfer.StoppedInTime());
    EXPECT_FALSE(transfer.Succeeded());
    EXPECT_FALSE(std::filesystem::exists(job.descriptionFile));

    // What the server kept is a file without a description: the administrator's scan does not
    // take it for an upload.
    EXPECT_FALSE(std::filesystem::exists(area.Path() / "large.bin.desc"));
    EXPECT_TRUE(ScanDescriptionFiles(area.Path().string()).empty());
    // And the server has stopped writing it, once what was on its way has landed.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const auto size = std::filesystem::file_size(area.Path() / "large.bin");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(std::filesystem::file_size(area.Path() / "large.bin"), size);
}

// A server that takes the connection and never greets keeps the login worker running: nothing
// may start under it (its handles and file are in use), and a close still stops it at once.
TEST(FtpConnectionWorker, NothingStartsUnderARunningLoginAndCloseStopsIt) {
    const base::CFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    ASSERT_TRUE(listener.IsOpen());
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener.Get(), 4), 0);
    ASSERT_EQ(::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string silent = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    testsupport::CTempDir local;
    const std::string file = local / "f.txt";
    testsupport::WriteFile(file, "f");
    CFtpConnection connection;
    ASSERT_TRUE(connection.StartConnect({silent, "", ""}));
    EXPECT_EQ(connection.Result(), EFtpWork::Running);
    EXPECT_FALSE(connection.StartSend(file, "f.txt"));
    EXPECT_FALSE(connection.StartConnect({silent, "", ""}));
    EXPECT_EQ(connection.Result(), EFtpWork::Running);
    EXPECT_TRUE(connection.Close());
}

} // namespace
