#pragma once
// One FTP connection of the upload control, over libcurl. Logging in and each file sent run on
// a worker thread of their own, one at a time; the caller polls the worker's result and byte
// count from its own thread. Closing stops a running worker within one second.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace liftwell {

inline constexpr int FTP_DEFAULT_PORT = 21;
// How long Close waits for a worker before it leaves it to end on its own.
inline constexpr int FTP_CLOSE_WAIT_MS = 1000;

struct CFtpAccount {
    std::string address;  // "host", "host:port", "[v6 address]" or "[v6 address]:port"
    std::string username; // empty: anonymous
    std::string password; // empty: none sent
};

// Splits an FTP address into its host and port (FTP_DEFAULT_PORT when none is written). The
// address may be written as a URL without a path ("ftp://host:port/"). False for an address
// that is empty, holds characters no host name has ('/', '@', spaces, control characters), or
// has a port that is not a number from 1 to 65535.
bool ParseFtpAddress(std::string_view address, std::string& host, int& port);

enum class EFtpWork { Idle, Running, Succeeded, Failed, Cancelled };

class CFtpConnection {
public:
    CFtpConnection();
    ~CFtpConnection(); // closes
    CFtpConnection(const CFtpConnection&) = delete;
    CFtpConnection& operator=(const CFtpConnection&) = delete;

    // Whether the client library could be set up; nothing else works when it could not.
    bool IsInitialized() const;

    // Starts a worker that connects and logs in. False when no worker could be started (not
    // initialised, an address that cannot be parsed, a worker still running).
    [[nodiscard]] bool StartConnect(const CFtpAccount& account);
    // Starts a worker that sends the local file to `remoteName` (relative to the login
    // directory, directories separated by '/') over the logged-in connection.
    [[nodiscard]] bool StartSend(const std::string& localFile, const std::string& remoteName);

    // What the last worker came to; Running while it works.
    EFtpWork Result() const;
    // Bytes of the current send that the server has taken so far.
    std::uint64_t Sent() const;
    // A line saying why the last worker failed, for logs and tests.
    std::string FailureDetail() const;

    // Stops a running worker and drops the connection. Waits FTP_CLOSE_WAIT_MS at most: a
    // worker that has not ended by then is left to end on its own, owning what it uses, and
    // the result is false.
    bool Close();

private:
    struct CShared;

    // False while the last worker is still running; otherwise it is joined.
    [[nodiscard]] bool JoinFinishedWorker();
    [[nodiscard]] bool StartWorker();

    std::shared_ptr<CShared> m_shared;
    std::thread m_worker;
    std::string m_baseUrl; // "ftp://host:port/"
};

} // namespace liftwell
