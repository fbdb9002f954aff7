#include "Process.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace process;

namespace {

CSpawnOptions Discarding() {
    CSpawnOptions options;
    options.streams = EStreams::Discard;
    return options;
}

// Runs a little shell script as an ordinary program (the code under test never uses a shell).
CExitStatus RunScript(const std::string& script, const std::vector<std::string>& args = {},
                      CSpawnOptions options = {}) {
    std::vector<std::string> argv = {"-c", script, "sh"};
    argv.insert(argv.end(), args.begin(), args.end());
    CExitStatus status;
    std::string error;
    EXPECT_TRUE(RunAndWait("sh", argv, options, status, error)) << error;
    return status;
}

} // namespace

TEST(Process, ArgumentsArriveWholeAndExitCodesComeBack) {
    testsupport::CTempDir dir;
    const std::string out = dir / "args";
    const std::vector<std::string> args = {"two words", "\"quoted\"", "$HOME", "*", "", "a\\b"};
    std::vector<std::string> withOut = {out};
    withOut.insert(withOut.end(), args.begin(), args.end());
    CExitStatus status = RunScript("f=$1; shift; printf '%s|' \"$@\" > \"$f\"; exit 7", withOut);
    EXPECT_TRUE(status.exited);
    EXPECT_EQ(status.code, 7);
    EXPECT_GT(status.peakKiB, 0);
    EXPECT_EQ(testsupport::ReadFile(out), "two words|\"quoted\"|$HOME|*||a\\b|");

    status = RunScript("kill -TERM $$");
    EXPECT_FALSE(status.exited);
    EXPECT_EQ(status.signal, SIGTERM);

    // Environment entries replace the caller's and add new ones.
    CSpawnOptions options;
    options.environment = {"HOME=/elsewhere", "DORVALE_PROCESS_TEST=yes"};
    status =
        RunScript("[ \"$HOME\" = /elsewhere ] && [ \"$DORVALE_PROCESS_TEST\" = yes ]", {}, options);
    EXPECT_EQ(status.code, 0);
}

TEST(Process, WaitingWithATimeOutAndTerminating) {
    CProcess child;
    std::string error;
    ASSERT_TRUE(child.Start("sleep", {"30"}, {}, error)) << error;
    CExitStatus status;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(child.Wait(100, status), EWaitResult::TimedOut);
    EXPECT_EQ(child.Wait(0, status), EWaitResult::TimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
    ASSERT_TRUE(child.Terminate(2000, status));
    EXPECT_FALSE(status.exited);
    EXPECT_EQ(status.signal, SIGTERM);
    EXPECT_EQ(child.Wait(0, status), EWaitResult::Failed);
    EXPECT_FALSE(child.Terminate(0, status));

    // A child that ignores SIGTERM is ended after the grace time.
    CProcess stubborn;
    ASSERT_TRUE(stubborn.Start("sh", {"-c", "trap '' TERM; echo ready; sleep 30 & wait"},
                               Discarding(), error));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(stubborn.Terminate(200, status));
    EXPECT_EQ(status.signal, SIGKILL);

    CProcess quick;
    ASSERT_TRUE(quick.Start("true", {}, {}, error));
    EXPECT_EQ(quick.Wait(10000, status), EWaitResult::Exited);
    EXPECT_TRUE(status.exited);
    EXPECT_EQ(status.code, 0);
}

TEST(Process, ProgramsAreFoundOnThePathAndOnlyIfExecutable) {
    testsupport::CTempDir dir;
    const std::string tool = dir / "dorvale-test-tool";
    testsupport::WriteFile(tool, "#!/bin/sh\nexit 5\n");
    const std::string plain = dir / "not-executable";
    testsupport::WriteFile(plain, "#!/bin/sh\nexit 0\n");
    ::chmod(tool.c_str(), 0755);
    std::filesystem::create_directory(dir / "dir-named-like-a-program");

    const std::string path = "/nonexistent:" + dir.Path().string() + ":/usr/bin:/bin";
    EXPECT_EQ(FindProgram("dorvale-test-tool", path.c_str()), tool);
    EXPECT_EQ(FindProgram("not-executable", path.c_str()), "");
    EXPECT_EQ(FindProgram("dir-named-like-a-program", path.c_str()), "");
    EXPECT_EQ(FindProgram("sh", path.c_str()), "/usr/bin/sh");
    EXPECT_EQ(FindProgram(tool), tool); // a name with a slash is taken as it is
    EXPECT_EQ(FindProgram(plain), "");
    EXPECT_EQ(FindProgram(""), "");

    std::string error;
    CProcess missing;
    EXPECT_FALSE(missing.Start("dorvale-no-such-program", {}, {}, error));
    EXPECT_EQ(error, "dorvale-no-such-program: command not found");
    EXPECT_FALSE(missing.IsStarted());
    // Without the search a bare name is a path relative to the current directory.
    CSpawnOptions noSearch;
    noSearch.searchPath = false;
    EXPECT_FALSE(missing.Start("sh", {}, noSearch, error));

    CExitStatus status;
    ASSERT_TRUE(RunAndWait(tool, {}, {}, status, error)) << error;
    EXPECT_EQ(status.code, 5);
}

TEST(Process, TheChildGetsOnlyTheStandardStreams) {
    // A descriptor this process holds open without close-on-exec is not passed on.
    const int open = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(open, 3);
    const std::string fd = std::to_string(open);
    EXPECT_EQ(RunScript("[ -e /proc/self/fd/$1 ] && exit 3; exit 0", {fd}).code, 0);
    ::close(open);

    // Discarded streams: input reads as empty, output goes nowhere.
    CSpawnOptions options;
    options.streams = EStreams::Discard;
    EXPECT_EQ(RunScript("read line && exit 4; echo out; echo err >&2; "
                        "[ \"$(readlink /proc/$$/fd/1)\" = /dev/null ]",
                        {}, options)
                  .code,
              0);
}

TEST(Process, ADetachedChildIsReapedWhenItEnds) {
    std::string error;
    pid_t pid = -1;
    {
        CProcess child;
        CSpawnOptions ownSession;
        ownSession.newSession = true;
        ASSERT_TRUE(child.Start("sleep", {"0.1"}, ownSession, error));
        pid = child.GetPid();
        // Leaving the scope detaches it.
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int raw = 0;
    bool gone = false;
    while (std::chrono::steady_clock::now() < deadline) {
        // ECHILD once the reaper has collected it; a zombie would still be ours to wait for.
        if (::waitpid(pid, &raw, WNOHANG) < 0 && errno == ECHILD && ::kill(pid, 0) != 0) {
            gone = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(gone);
}

TEST(Process, CommandLinesSplitWithTheUsualQuotingRules) {
    struct CCase {
        const char* text;
        std::vector<std::string> words;
    };
    const CCase cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"--no-summary  -d /db/test.hdb", {"--no-summary", "-d", "/db/test.hdb"}},
        {"\"/srv/area one/file.zip\"", {"/srv/area one/file.zip"}},
        {"'single \"kept\" \\n'", {"single \"kept\" \\n"}},
        {"\"a \\\"b\\\" \\\\ \\n\"", {"a \"b\" \\ \\n"}},
        {"back\\ slash\\'s", {"back slash's"}},
        {"a\"b c\"'d e'f", {"ab cd ef"}},
        {"\"\" ''", {"", ""}},
        {"x\n y\r\nz", {"x", "y", "z"}},
    };
    for (const CCase& c : cases) {
        std::vector<std::string> words = {"stale"};
        EXPECT_TRUE(SplitCommandLine(c.text, words)) << c.text;
        EXPECT_EQ(words, c.words) << c.text;
    }
    std::vector<std::string> words;
    for (const char* bad : {"\"open", "'open", "end\\", "a \"b\\\""}) {
        EXPECT_FALSE(SplitCommandLine(bad, words)) << bad;
    }

    // A quoted path comes back whole, whatever it holds.
    for (const std::string& path : std::vector<std::string>{
             "/srv/files/plain.zip", "/srv/a b/c\"d\\e'f.zip", "/tmp/$(x) `y` *"}) {
        ASSERT_TRUE(SplitCommandLine("--scan -q " + QuoteArgument(path), words));
        ASSERT_EQ(words.size(), 3u);
        EXPECT_EQ(words[2], path);
    }
    EXPECT_EQ(QuoteArgument("/srv/x y.zip"), "\"/srv/x y.zip\"");
}

TEST(Process, APidFileCountsOnlyWhileItsProgramLives) {
    testsupport::CTempDir dir;
    const std::string pidFile = dir / "sleep.pid";
    CProcess child;
    std::string error;
    ASSERT_TRUE(child.Start("sleep", {"30"}, {}, error)) << error;
    const long pid = child.GetPid();
    testsupport::WriteFile(pidFile, std::to_string(pid) + "\n");
    EXPECT_TRUE(IsAlive(pid));
    EXPECT_EQ(RunningFromPidFile(pidFile, "sleep"), pid);
    EXPECT_EQ(RunningFromPidFile(pidFile, ""), pid);
    // Its number given to another program: not the daemon that wrote it.
    EXPECT_EQ(RunningFromPidFile(pidFile, "nginx"), 0);
    for (const char* text : {"", "abc", "12 34", "-1", "0", "1234567890"}) {
        testsupport::WriteFile(pidFile, text);
        EXPECT_EQ(RunningFromPidFile(pidFile, ""), 0) << text;
    }
    EXPECT_EQ(RunningFromPidFile(dir / "missing.pid", ""), 0);

    // Killed and not reaped yet: a zombie, which has ended all the same.
    testsupport::WriteFile(pidFile, std::to_string(pid));
    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGKILL), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (IsAlive(pid) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(IsAlive(pid));
    EXPECT_EQ(::kill(static_cast<pid_t>(pid), 0), 0); // still there to be reaped
    EXPECT_EQ(RunningFromPidFile(pidFile, "sleep"), 0);
    CExitStatus status;
    EXPECT_EQ(child.Wait(1000, status), EWaitResult::Exited);
    EXPECT_FALSE(IsAlive(pid));
    EXPECT_FALSE(IsAlive(0));
    EXPECT_FALSE(IsAlive(-5));
}
