#include "Fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace base {

CFd& CFd::operator=(CFd&& other) noexcept {
    if (this != &other) {
        Reset(other.Release());
    }
    return *this;
}

void CFd::Reset(int fd) noexcept {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}

int CFd::Release() noexcept {
    return std::exchange(m_fd, -1);
}

bool CFd::Close() noexcept {
    // Not retried on EINTR: on Linux the descriptor is gone whatever close returns.
    return m_fd < 0 || ::close(Release()) == 0;
}

namespace {

// Hands `bytes` to `transfer` (one write or send) until all are taken.
template <typename TTransfer> bool TransferAll(std::string_view bytes, TTransfer transfer) {
    while (!bytes.empty()) {
        const ssize_t n = transfer(bytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = EIO; // nothing taken and no reason given: never loop on it
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

bool WriteAll(int fd, std::string_view bytes) {
    return TransferAll(
        bytes, [fd](std::string_view rest) { return ::write(fd, rest.data(), rest.size()); });
}

bool SendAll(int socket, std::string_view bytes) {
    return TransferAll(bytes, [socket](std::string_view rest) {
        return ::send(socket, rest.data(), rest.size(), MSG_NOSIGNAL);
    });
}

bool ReadAll(int fd, std::string& bytes, std::size_t maxBytes) {
    char buffer[65536];
    std::size_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        total += static_cast<std::size_t>(n);
        if (total > maxBytes) {
            errno = EFBIG;
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

std::string ReadTrimmedFile(const std::string& path, std::size_t maxBytes) {
    const CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (!fd.IsOpen() || !ReadAll(fd.Get(), text, maxBytes)) {
        return {};
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

} // namespace base
