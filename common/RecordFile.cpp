#include "RecordFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Growth is written in blocks no larger than this.
constexpr std::size_t GROWTH_BLOCK = 4096;

} // namespace

RecordFile::RecordFile(std::size_t recordSize, bool writable)
    : m_recordSize(recordSize), m_writable(writable) {}

RecordFile::~RecordFile() {
    Close();
}

RecordFile::RecordFile(RecordFile&& other) noexcept
    : m_recordSize(other.m_recordSize), m_writable(other.m_writable),
      m_fd(std::exchange(other.m_fd, -1)), m_view(std::exchange(other.m_view, nullptr)),
      m_viewSize(std::exchange(other.m_viewSize, 0)), m_count(std::exchange(other.m_count, 0)) {}

RecordFile& RecordFile::operator=(RecordFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_recordSize = other.m_recordSize;
        m_writable = other.m_writable;
        m_fd = std::exchange(other.m_fd, -1);
        m_view = std::exchange(other.m_view, nullptr);
        m_viewSize = std::exchange(other.m_viewSize, 0);
        m_count = std::exchange(other.m_count, 0);
    }
    return *this;
}

bool RecordFile::Open(const std::string& path, std::size_t minimumCount, bool createWhenAbsent) {
    Close();
    if (m_recordSize == 0 || path.empty()) {
        return false;
    }

    // O_NONBLOCK only keeps a FIFO planted at the path from hanging the open; it is refused
    // below like any other file that is not a regular one.
    int flags = (m_writable ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
    if (createWhenAbsent) {
        flags |= O_CREAT;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }

    // The writer holds the file alone; readers share it. Never wait: a refused open is an
    // answer the caller shows to the user.
    if (::flock(fd, (m_writable ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }

    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_count = static_cast<std::size_t>(st.st_size) / m_recordSize;

    if (minimumCount > m_count) {
        if (!m_writable) {
            Close();
            return false;
        }
        const std::vector<unsigned char> zeros(GROWTH_BLOCK, 0);
        std::size_t offset = static_cast<std::size_t>(st.st_size);
        const std::size_t target = minimumCount * m_recordSize;
        while (offset < target) {
            const std::size_t chunk = std::min(GROWTH_BLOCK, target - offset);
            if (!WriteAll(zeros.data(), chunk, offset)) {
                Close();
                return false;
            }
            offset += chunk;
        }
        m_count = minimumCount;
    }

    if (!Map()) {
        Close();
        return false;
    }
    return true;
}

void RecordFile::Close() {
    Unmap();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_count = 0;
}

const unsigned char* RecordFile::GetRecord(std::size_t index) const {
    if (m_view == nullptr || index >= m_count) {
        return nullptr;
    }
    return m_view + index * m_recordSize;
}

bool RecordFile::WriteRecord(std::size_t index, const void* record) {
    if (m_fd < 0 || !m_writable || record == nullptr) {
        return false;
    }
    Unmap();

    bool ok = true;
    if (index > m_count) {
        const std::vector<unsigned char> zeros(m_recordSize, 0);
        while (ok && m_count < index) {
            ok = WriteAll(zeros.data(), m_recordSize, m_count * m_recordSize);
            if (ok) {
                ++m_count;
            }
        }
    }
    if (ok) {
        ok = WriteAll(record, m_recordSize, index * m_recordSize);
        if (ok && index == m_count) {
            ++m_count;
        }
    }
    if (!ok) {
        // A short write may have left part of a record behind; count what is really there.
        RefreshCount();
    }
    return Map() && ok;
}

bool RecordFile::RemoveRecord(std::size_t index) {
    if (m_fd < 0 || !m_writable || index >= m_count || m_view == nullptr) {
        return false;
    }
    unsigned char* const target = m_view + index * m_recordSize;
    std::memmove(target, target + m_recordSize, (m_count - index - 1) * m_recordSize);
    Unmap();
    --m_count;
    bool ok = true;
    int rc;
    do {
        rc = ::ftruncate(m_fd, static_cast<off_t>(m_count * m_recordSize));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ok = false;
        RefreshCount();
    }
    return Map() && ok;
}

bool RecordFile::Flush() {
    if (m_fd < 0) {
        return false;
    }
    if (m_view != nullptr && m_writable && ::msync(m_view, m_viewSize, MS_SYNC) != 0) {
        return false;
    }
    return ::fsync(m_fd) == 0;
}

bool RecordFile::Map() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        return false;
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size == 0) {
        // Nothing to map: the file simply has no records.
        return true;
    }
    const int prot = m_writable ? (PROT_READ | PROT_WRITE) : PROT_READ;
    void* view = ::mmap(nullptr, size, prot, MAP_SHARED, m_fd, 0);
    if (view == MAP_FAILED) {
        return false;
    }
    m_view = static_cast<unsigned char*>(view);
    m_viewSize = size;
    return true;
}

void RecordFile::Unmap() {
    if (m_view != nullptr) {
        ::munmap(m_view, m_viewSize);
        m_view = nullptr;
        m_viewSize = 0;
    }
}

bool RecordFile::WriteAll(const void* data, std::size_t size, std::size_t offset) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t written = ::pwrite(m_fd, bytes, size, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::size_t>(written);
    }
    return true;
}

bool RecordFile::RefreshCount() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        return false;
    }
    m_count = static_cast<std::size_t>(st.st_size) / m_recordSize;
    return true;
}
