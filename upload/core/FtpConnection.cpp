// The connection's handles live in a state shared by the connection and its worker thread, so
// that a worker left behind by Close (it did not end within the wait) still has them until it
// ends: whichever of the two lets go last frees them. The worker drives libcurl through a multi
// handle and waits in curl_multi_poll, which Close interrupts with curl_multi_wakeup; that is
// what makes a cancel take effect at once rather than at the next network event.

#include "FtpConnection.h"

#include "Text.h"

#include <curl/curl.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <system_error>
#include <unistd.h>

namespace liftwell {

namespace {

constexpr long CONNECT_TIMEOUT_SECONDS = 30;
constexpr long RESPONSE_TIMEOUT_SECONDS = 60;
constexpr int POLL_MS = 200;

bool InitializeLibrary() {
    static const bool INITIALIZED = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return INITIALIZED;
}

bool IsHostCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u != 0x7F && c != '/' && c != '\\' && c != '@' && c != '?' && c != '#' &&
           c != '[' && c != ']';
}

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) {
        return false;
    }
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) {
        return false;
    }
    port = value;
    return true;
}

} // namespace

bool ParseFtpAddress(std::string_view address, std::string& host, int& port) {
    host.clear();
    port = FTP_DEFAULT_PORT;
    // The site's FTP server setting is often written as the URL visitors download from.
    constexpr std::string_view FTP_SCHEME = "ftp://";
    if (base::StartsWithNoCase(address, FTP_SCHEME)) {
        address.remove_prefix(FTP_SCHEME.size());
        while (!address.empty() && address.back() == '/') {
            address.remove_suffix(1);
        }
    }
    std::string_view name;
    std::string_view rest;
    if (!address.empty() && address.front() == '[') {
        const std::size_t close = address.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        name = address.substr(1, close - 1);
        rest = address.substr(close + 1);
        for (const char c : name) {
            if (base::HexDigitValue(c) < 0 && c != ':' && c != '.') {
                return false;
            }
        }
    } else {
        const std::size_t colon = address.find(':');
        name = address.substr(0, colon);
        rest = colon == std::string_view::npos ? std::string_view() : address.substr(colon);
        for (const char c : name) {
            if (!IsHostCharacter(c) || c == ':') {
                return false;
            }
        }
    }
    if (name.empty()) {
        return false;
    }
    if (!rest.empty() && (rest.front() != ':' || !ParsePort(rest.substr(1), port))) {
        return false;
    }
    host = std::string(name);
    return true;
}

struct CFtpConnection::CShared {
    CURLM* multi = nullptr;
    CURL* easy = nullptr;
    int localFd = -1; // the file being sent; the worker reads and closes it
    std::atomic<bool> cancel{false};
    std::atomic<EFtpWork> result{EFtpWork::Idle};
    std::atomic<std::uint64_t> sent{0};
    std::mutex mutex;
    std::condition_variable ended;
    bool workerEnded = true;
    std::string detail;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CShared() {
        if (InitializeLibrary()) {
            multi = curl_multi_init();
            easy = curl_easy_init();
        }
    }
    ~CShared() {
        if (localFd >= 0) {
            ::close(localFd);
        }
        if (easy) {
            curl_easy_cleanup(easy);
        }
        if (multi) {
            curl_multi_cleanup(multi);
        }
    }
    CShared(const CShared&) = delete;
    CShared& operator=(const CShared&) = delete;

    static std::size_t ReadLocal(char* buffer, std::size_t size, std::size_t count, void* user) {
        auto* self = static_cast<CShared*>(user);
        for (;;) {
            const ssize_t got = ::read(self->localFd, buffer, size * count);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                return CURL_READFUNC_ABORT;
            }
        }
    }

    static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded) {
        static_cast<CShared*>(user)->sent.store(static_cast<std::uint64_t>(uploaded));
        return 0;
    }

    // The worker: runs the prepared transfer until it ends or is cancelled.
    static void Run(const std::shared_ptr<CShared>& self) {
        EFtpWork outcome = EFtpWork::Failed;
        std::string detail;
        CURLMcode added = curl_multi_add_handle(self->multi, self->easy);
        if (added != CURLM_OK) {
            detail = curl_multi_strerror(added);
        } else {
            bool done = false;
            CURLcode code = CURLE_OK;
            while (!self->cancel.load()) {
                int running = 0;
                const CURLMcode performed = curl_multi_perform(self->multi, &running);
                if (performed != CURLM_OK) {
                    detail = curl_multi_strerror(performed);
                    break;
                }
                int left = 0;
                while (CURLMsg* message = curl_multi_info_read(self->multi, &left)) {
                    if (message->msg == CURLMSG_DONE && message->easy_handle == self->easy) {
                        code = message->data.result;
                        done = true;
                    }
                }
                if (done) {
                    break;
                }
                curl_multi_poll(self->multi, nullptr, 0, POLL_MS, nullptr);
            }
            // Taken out mid-transfer, the handle's connection is closed: the server sees the
            // data connection drop and the file ends there.
            curl_multi_remove_handle(self->multi, self->easy);
            if (self->cancel.load()) {
                outcome = EFtpWork::Cancelled;
            } else if (done && code == CURLE_OK) {
                outcome = EFtpWork::Succeeded;
            } else if (done) {
                detail = self->errorBuffer[0] ? self->errorBuffer : curl_easy_strerror(code);
            }
        }
        if (self->localFd >= 0) {
            ::close(self->localFd);
            self->localFd = -1;
        }
        {
            std::lock_guard lock(self->mutex);
            self->detail = std::move(detail);
            self->workerEnded = true;
            self->result.store(outcome);
        }
        self->ended.notify_all();
    }
};

CFtpConnection::CFtpConnection() : m_shared(std::make_shared<CShared>()) {}

CFtpConnection::~CFtpConnection() {
    Close();
}

bool CFtpConnection::IsInitialized() const {
    return m_shared && m_shared->multi && m_shared->easy;
}

bool CFtpConnection::StartConnect(const CFtpAccount& account) {
    std::string host;
    int port = 0;
    if (!IsInitialized() || !JoinFinishedWorker() ||
        !ParseFtpAddress(account.address, host, port)) {
        return false;
    }
    const bool literal = host.find(':') != std::string::npos;
    m_baseUrl = "ftp://" + (literal ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/";
    CURL* easy = m_shared->easy;
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, m_shared->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, CONNECT_TIMEOUT_SECONDS);
    curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, RESPONSE_TIMEOUT_SECONDS);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
    // Without an account libcurl logs in as "anonymous".
    if (!account.username.empty()) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, account.username.c_str());
    }
    if (!account.password.empty()) {
        curl_easy_setopt(easy, CURLOPT_PASSWORD, account.password.c_str());
    }
    // Logging in and going nowhere: the connection stays in the multi handle's cache for the
    // sends that follow.
    curl_easy_setopt(easy, CURLOPT_URL, m_baseUrl.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 0L);
    return StartWorker();
}

bool CFtpConnection::StartSend(const std::string& localFile, const std::string& remoteName) {
    if (!IsInitialized() || !JoinFinishedWorker() || m_baseUrl.empty() || remoteName.empty()) {
        return false;
    }
    std::string url = m_baseUrl;
    std::size_t pos = 0;
    while (pos <= remoteName.size()) {
        const std::size_t slash = remoteName.find('/', pos);
        const std::size_t stop = slash == std::string::npos ? remoteName.size() : slash;
        const std::string segment = remoteName.substr(pos, stop - pos);
        char* escaped =
            curl_easy_escape(m_shared->easy, segment.c_str(), static_cast<int>(segment.size()));
        if (!escaped) {
            return false;
        }
        url += escaped;
        curl_free(escaped);
        if (slash == std::string::npos) {
            break;
        }
        url += '/';
        pos = slash + 1;
    }
    const int fd = ::open(localFile.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    if (m_shared->localFd >= 0) {
        ::close(m_shared->localFd);
    }
    m_shared->localFd = fd;
    m_shared->sent.store(0);
    CURL* easy = m_shared->easy;
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(easy, CURLOPT_TRANSFERTEXT, 0L);
    curl_easy_setopt(easy, CURLOPT_READFUNCTION, &CShared::ReadLocal);
    curl_easy_setopt(easy, CURLOPT_READDATA, m_shared.get());
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CShared::Progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, m_shared.get());
    if (!StartWorker()) {
        ::close(m_shared->localFd);
        m_shared->localFd = -1;
        return false;
    }
    return true;
}

bool CFtpConnection::JoinFinishedWorker() {
    if (m_worker.joinable()) {
        // The handles and the file are the worker's until it has ended.
        if (Result() == EFtpWork::Running) {
            return false;
        }
        m_worker.join();
    }
    return true;
}

bool CFtpConnection::StartWorker() {
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->workerEnded = false;
        m_shared->detail.clear();
        m_shared->errorBuffer[0] = '\0';
        m_shared->result.store(EFtpWork::Running);
    }
    try {
        m_worker = std::thread(&CShared::Run, m_shared);
    } catch (const std::system_error&) {
        std::lock_guard lock(m_shared->mutex);
        m_shared->workerEnded = true;
        m_shared->result.store(EFtpWork::Failed);
        return false;
    }
    return true;
}

EFtpWork CFtpConnection::Result() const {
    return m_shared ? m_shared->result.load() : EFtpWork::Idle;
}

std::uint64_t CFtpConnection::Sent() const {
    return m_shared ? m_shared->sent.load() : 0;
}

std::string CFtpConnection::FailureDetail() const {
    if (!m_shared) {
        return {};
    }
    std::lock_guard lock(m_shared->mutex);
    return m_shared->detail;
}

bool CFtpConnection::Close() {
    if (!m_shared) {
        return true;
    }
    m_shared->cancel.store(true);
    if (m_shared->multi) {
        curl_multi_wakeup(m_shared->multi);
    }
    bool ended = true;
    if (m_worker.joinable()) {
        {
            std::unique_lock lock(m_shared->mutex);
            ended = m_shared->ended.wait_for(lock, std::chrono::milliseconds(FTP_CLOSE_WAIT_MS),
                                             [&] { return m_shared->workerEnded; });
        }
        if (ended) {
            m_worker.join();
        } else {
            m_worker.detach(); // it holds the shared state and frees it when it ends
        }
    }
    m_shared.reset();
    return ended;
}

} // namespace liftwell
