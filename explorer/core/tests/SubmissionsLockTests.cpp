// The submissions file shared with the visitors' service: appends from several processes stay
// whole, and a rewrite under the lock loses nothing appended meanwhile.
#include "Reviews.h"
#include "TestSupport.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

SubmissionEntry Entry(long fileId, const std::string& text) {
    SubmissionEntry entry;
    entry.fileId = fileId;
    entry.fileName = "Tools";
    entry.name = "Visitor";
    entry.email = "v@example.org";
    entry.date = "12/08/2026";
    entry.text = text;
    return entry;
}

int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(SubmissionsLock, AppendsFromProcessesStayWholeAndWaitForARewrite) {
    testsupport::CTempDir dir;
    const std::string path = SubmissionsFilePath(dir.Path().string() + "/");
    std::vector<pid_t> children;
    for (int p = 0; p < 6; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::string error;
            for (int i = 0; i < 30; ++i) {
                if (!AppendSubmission(path, Entry(p, std::string(5000, 'a' + p)), error)) {
                    _exit(1);
                }
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        EXPECT_EQ(Wait(pid), 0);
    }
    auto entries = ReadSubmissionsFile(path);
    ASSERT_EQ(entries.size(), 180u);
    for (const SubmissionEntry& entry : entries) {
        EXPECT_EQ(entry.text, std::string(5000, 'a' + entry.fileId));
    }

    // While the administration holds the lock, a visitor's review waits; it lands after the
    // rewrite, whole, even when the rewrite removed the file.
    const std::string before = testsupport::ReadFile(path);
    pid_t late = -1;
    {
        CSubmissionsLock lock(path, false);
        ASSERT_TRUE(lock.Held());
        late = fork();
        ASSERT_GE(late, 0);
        if (late == 0) {
            // The child's copy of the parent's descriptor would hold the same lock.
            close(lock.Fd());
            std::string error;
            _exit(AppendSubmission(path, Entry(99, "late"), error) ? 0 : 1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_EQ(testsupport::ReadFile(path), before);
        std::filesystem::remove(path);
    }
    EXPECT_EQ(Wait(late), 0);
    entries = ReadSubmissionsFile(path);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].fileId, 99);
}
