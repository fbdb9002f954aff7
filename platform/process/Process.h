#pragma once
// Child processes without a shell: a program and its argument vector, started with
// posix_spawn, waited for with or without a time-out, terminated, or left to run on its own.
//
// A command line that arrives as one text (a configured program's arguments, say) is split
// into words by SplitCommandLine, with the quoting rules of the usual shells but none of their
// expansions; QuoteArgument writes a word so that SplitCommandLine gives it back unchanged.

#include "Fd.h"

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace process {

// What becomes of the child's standard streams.
enum class EStreams {
    Inherit, // the caller's own
    Discard, // /dev/null for standard input, output and error
    ToFile,  // /dev/null for standard input; output and error into CSpawnOptions::outputFile
};

struct CSpawnOptions {
    // Look the program up on PATH when its name holds no '/'.
    bool searchPath = true;
    EStreams streams = EStreams::Inherit;
    // For EStreams::ToFile: the file (made anew) that takes standard output and error, so a
    // caller can read what the child said without a pipe a daemon might keep open.
    std::string outputFile;
    // A session of its own, so that the child outlives a terminal closed under the caller.
    bool newSession = false;
    // "NAME=VALUE" entries that replace or add to the caller's environment.
    std::vector<std::string> environment;
};

enum class EWaitResult {
    Exited,   // the child ended; see CExitStatus
    TimedOut, // still running when the time ran out
    Failed,   // no child to wait for
};

struct CExitStatus {
    bool exited = false; // ended by returning or calling exit (code is valid)
    int code = -1;       // its exit code
    int signal = 0;      // the signal that ended it, when !exited
    long peakKiB = 0;    // its peak resident memory
};

class CProcess {
public:
    CProcess() = default;
    // A child still running is left to run; it is reaped when it ends (see Detach).
    ~CProcess();
    CProcess(const CProcess&) = delete;
    CProcess& operator=(const CProcess&) = delete;
    CProcess(CProcess&& other) noexcept;
    CProcess& operator=(CProcess&& other) noexcept;

    // Starts `program` with `arguments` (argv[1] onwards; argv[0] is the program as given).
    // Descriptors other than the three standard ones are not passed on. False, with the
    // reason in `error`, when the program cannot be found or started.
    [[nodiscard]] bool Start(const std::string& program, const std::vector<std::string>& arguments,
                             const CSpawnOptions& options, std::string& error);

    bool IsStarted() const { return m_pid > 0; }
    pid_t GetPid() const { return m_pid; }

    // Waits for the child to end: timeoutMs < 0 waits without limit, 0 only looks.
    EWaitResult Wait(int timeoutMs, CExitStatus& status);
    // Asks the child to end (SIGTERM); after graceMs still running, ends it (SIGKILL) and
    // reaps it. False when there is no child.
    bool Terminate(int graceMs, CExitStatus& status);
    // Lets the child run on its own: nobody waits for it, and a thread of this process
    // reaps it when it ends so that it leaves no zombie.
    void Detach();

private:
    pid_t m_pid = -1;
    base::CFd m_pidfd; // readable once the child has ended (none on old kernels)
};

// Starts a program and waits for it without limit. False when it could not be started.
[[nodiscard]] bool RunAndWait(const std::string& program, const std::vector<std::string>& arguments,
                              const CSpawnOptions& options, CExitStatus& status,
                              std::string& error);

// The path of the executable file `name` would start: `name` itself when it holds a '/',
// otherwise the first match in the directories of PATH (or `path` when given). Empty when
// there is none.
std::string FindProgram(std::string_view name, const char* path = nullptr);

// Splits a command line into words. Blanks (space, tab, line breaks) separate words; '...'
// keeps everything up to the next ' as it stands; "..." keeps everything but lets a backslash
// escape " and \; outside quotes a backslash takes the next character literally. Quotes next
// to other text join it ("a"b is one word ab), and "" is an empty word. False for an
// unterminated quote or a backslash at the very end.
[[nodiscard]] bool SplitCommandLine(std::string_view text, std::vector<std::string>& words);

// The word between double quotes, with " and \ escaped.
std::string QuoteArgument(std::string_view word);

// Whether the process `pid` lives; a zombie nobody has reaped yet has ended all the same.
bool IsAlive(long pid);
// The pid a daemon wrote to `pidFile` (its digits, then blanks or line breaks) while that
// process lives and is named `name` (/proc/PID/comm; any name when empty); 0 otherwise, so a
// pid file left behind, or whose number was given to another program since, does not count.
long RunningFromPidFile(const std::string& pidFile, const std::string& name);

} // namespace process
