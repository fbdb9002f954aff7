#pragma once
// File descriptors: one owner that closes them, and whole reads and writes that go on after
// a signal or a short transfer. Failures leave errno set, so callers can name the reason.

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace base {

// Owns a descriptor (or none, -1) and closes it when dropped.
class CFd {
public:
    explicit CFd(int fd = -1) noexcept : m_fd(fd) {}
    ~CFd() { Reset(); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    CFd(CFd&& other) noexcept : m_fd(other.Release()) {}
    CFd& operator=(CFd&& other) noexcept;

    int Get() const { return m_fd; }
    bool IsOpen() const { return m_fd >= 0; }
    // Closes the descriptor held, if any, and takes `fd`.
    void Reset(int fd = -1) noexcept;
    // Gives the descriptor up without closing it.
    int Release() noexcept;
    // Closes now and says whether the close succeeded: data written is only known to be
    // stored once it has. True when nothing was open.
    [[nodiscard]] bool Close() noexcept;

private:
    int m_fd;
};

// Writes the whole of `bytes`; false, errno set, when a write fails.
[[nodiscard]] bool WriteAll(int fd, std::string_view bytes);
// The same on a socket, where a peer that has gone must fail the send (EPIPE) rather than
// raise SIGPIPE and end the process.
[[nodiscard]] bool SendAll(int socket, std::string_view bytes);

// Appends what `fd` yields up to its end to `bytes`; false, errno set, when a read fails, or
// with EFBIG once more than `maxBytes` bytes have been read.
[[nodiscard]] bool ReadAll(int fd, std::string& bytes,
                           std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

// The text of a small file (a pid file, an entry of /proc, what a program said) without the
// line breaks and spaces at its end; empty when it cannot be read or holds more than
// `maxBytes` bytes.
std::string ReadTrimmedFile(const std::string& path, std::size_t maxBytes = 4096);

} // namespace base
