#include "Registry.h"
#include "TestSupport.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using testsupport::CTempDir;

namespace {

std::string ValueName(int writer, int i) {
    return "w" + std::to_string(writer) + "-v" + std::to_string(i);
}

DWORD ValueData(int writer, int i) {
    return static_cast<DWORD>(writer * 100000 + i);
}

// Writes `count` values, each through a handle of its own; true when every call succeeded.
bool WriteValues(int writer, int count) {
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        CRegKey shared;
        ok = shared.Create(HKEY_LOCAL_MACHINE, "Software\\Shared") == ERROR_SUCCESS && ok;
        ok = shared.SetDWORDValue(ValueName(writer, i).c_str(), ValueData(writer, i)) ==
                 ERROR_SUCCESS &&
             ok;
        // A key of its own as well, so that key creation races with value writes.
        CRegKey own;
        const std::string ownKey = "Software\\Own\\Writer" + std::to_string(writer);
        ok = own.Create(HKEY_LOCAL_MACHINE, ownKey.c_str()) == ERROR_SUCCESS && ok;
        ok = own.SetStringValue(("s" + std::to_string(i)).c_str(), ValueName(writer, i).c_str()) ==
                 ERROR_SUCCESS &&
             ok;
    }
    return ok;
}

void ExpectAllValues(int writers, int count) {
    CRegKey shared;
    ASSERT_EQ(shared.Open(HKEY_LOCAL_MACHINE, "Software\\Shared", KEY_READ), ERROR_SUCCESS);
    DWORD values = 0;
    ASSERT_EQ(RegQueryInfoKey(shared, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                              nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, static_cast<DWORD>(writers * count));
    int missing = 0;
    for (int w = 0; w < writers; ++w) {
        CRegKey own;
        const std::string ownKey = "Software\\Own\\Writer" + std::to_string(w);
        ASSERT_EQ(own.Open(HKEY_LOCAL_MACHINE, ownKey.c_str(), KEY_READ), ERROR_SUCCESS);
        for (int i = 0; i < count; ++i) {
            DWORD number = 0;
            std::string text;
            if (shared.QueryDWORDValue(ValueName(w, i).c_str(), number) != ERROR_SUCCESS ||
                number != ValueData(w, i) ||
                own.QueryStringValue(("s" + std::to_string(i)).c_str(), text) != ERROR_SUCCESS ||
                text != ValueName(w, i)) {
                ++missing;
            }
        }
    }
    EXPECT_EQ(missing, 0);
}

class ConcurrencyTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("DORVALE_REGISTRY", m_dir.Path().c_str(), 1); }
    void TearDown() override { unsetenv("DORVALE_REGISTRY"); }

    CTempDir m_dir;
};

} // namespace

TEST_F(ConcurrencyTest, ProcessesWritingAtOnceLoseNoValueAndReadersNeverSeeATornHive) {
    constexpr int WRITERS = 5;
    constexpr int COUNT = 40;
    std::vector<pid_t> children;
    for (int w = 0; w < WRITERS; ++w) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            _exit(WriteValues(w, COUNT) ? 0 : 1);
        }
        children.push_back(pid);
    }
    // Read while they write: every read must find a whole hive.
    int faults = 0;
    std::vector<int> statuses;
    while (!children.empty()) {
        HKEY key = nullptr;
        const LONG r = RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_READ, &key);
        if (r == ERROR_SUCCESS) {
            RegCloseKey(key);
        } else if (r != ERROR_FILE_NOT_FOUND) {
            ++faults;
        }
        std::erase_if(children, [&](pid_t pid) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) != pid) {
                return false;
            }
            statuses.push_back(status);
            return true;
        });
    }
    EXPECT_EQ(faults, 0);
    // Each writer saw every one of its calls succeed.
    for (int status : statuses) {
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    }
    EXPECT_EQ(RegGetHiveError(HKEY_LOCAL_MACHINE), "");
    ExpectAllValues(WRITERS, COUNT);
}

TEST_F(ConcurrencyTest, ThreadsOfOneProcessWritingAtOnceLoseNoValue) {
    constexpr int WRITERS = 4;
    constexpr int COUNT = 25;
    std::vector<std::thread> threads;
    std::vector<int> results(WRITERS, 0);
    for (int w = 0; w < WRITERS; ++w) {
        threads.emplace_back([w, &results] { results[w] = WriteValues(w, COUNT) ? 1 : 0; });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(results, std::vector<int>(WRITERS, 1));
    ExpectAllValues(WRITERS, COUNT);
}

TEST_F(ConcurrencyTest, AWriterKilledAtAnyMomentLeavesTheOldOrTheNewHive) {
    for (int round = 0; round < 3; ++round) {
        const std::string key = "Software\\Killed" + std::to_string(round);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            CRegKey k;
            if (k.Create(HKEY_LOCAL_MACHINE, key.c_str()) != ERROR_SUCCESS) {
                _exit(1);
            }
            for (int i = 0;; ++i) {
                char name[16];
                std::snprintf(name, sizeof name, "v%06d", i);
                if (k.SetDWORDValue(name, static_cast<DWORD>(i)) != ERROR_SUCCESS) {
                    _exit(1);
                }
            }
        }
        // Let it write a while, kill it mid-flight, then look at what is on disk.
        DWORD values = 0;
        while (values < static_cast<DWORD>(20 + 15 * round)) {
            CRegKey k;
            if (k.Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ) == ERROR_SUCCESS) {
                RegQueryInfoKey(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values,
                                nullptr, nullptr, nullptr, nullptr);
            }
            ASSERT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the writer stopped by itself";
        }
        ASSERT_EQ(kill(pid, SIGKILL), 0);
        ASSERT_EQ(waitpid(pid, nullptr, 0), pid);

        ASSERT_EQ(RegGetHiveError(HKEY_LOCAL_MACHINE), "");
        CRegKey k;
        ASSERT_EQ(k.Open(HKEY_LOCAL_MACHINE, key.c_str()), ERROR_SUCCESS);
        DWORD after = 0;
        ASSERT_EQ(RegQueryInfoKey(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &after,
                                  nullptr, nullptr, nullptr, nullptr),
                  ERROR_SUCCESS);
        EXPECT_GE(after, values);
        // Every write up to the last one that landed is there, in order.
        for (DWORD i = 0; i < after; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "v%06u", i);
            DWORD number = ~0u;
            ASSERT_EQ(k.QueryDWORDValue(name, number), ERROR_SUCCESS) << name;
            EXPECT_EQ(number, i);
        }
        // The next write goes through, and leaves no temporary file behind.
        EXPECT_EQ(k.SetDWORDValue("after", 1), ERROR_SUCCESS);
        EXPECT_FALSE(std::filesystem::exists(m_dir / "HKEY_LOCAL_MACHINE.reg.tmp"));
    }
}
