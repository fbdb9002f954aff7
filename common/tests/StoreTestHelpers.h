#pragma once
// Shared by the store tests: building expected bytes by hand, and holding files open from a
// second process.

#include <cstdint>
#include <functional>
#include <string>

namespace storetest {

// Four bytes, least significant first.
inline std::string U32(std::uint32_t v) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    return bytes;
}

// `text` padded with NULs to `size` bytes.
inline std::string Field(const std::string& text, std::size_t size) {
    std::string field = text;
    field.resize(size, '\0');
    return field;
}

// An area record assembled field by field, independently of the code under test.
inline std::string AreaBytes(std::uint32_t id, const std::string& name, const std::string& path,
                             const std::string& ftp, const std::string& http, std::uint32_t flags) {
    return U32(id) + Field(name, 80) + Field(path, 260) + Field(ftp, 260) + Field(http, 260) +
           U32(flags);
}

inline std::string HeaderBytes(std::uint32_t nextId) {
    return U32(12) + U32(0) + U32(nextId) + std::string(856, '\0');
}

// Runs `open` in a forked child, which keeps whatever it opened until the holder is
// destroyed (or Release is called). Opened() tells whether the child's open succeeded.
class CChildHolder {
public:
    explicit CChildHolder(const std::function<bool()>& open);
    ~CChildHolder();
    CChildHolder(const CChildHolder&) = delete;
    CChildHolder& operator=(const CChildHolder&) = delete;

    bool Opened() const { return m_opened; }
    // Lets the child close what it holds and exit; returns its exit status.
    int Release();

private:
    int m_pid = -1;
    int m_release = -1;
    bool m_opened = false;
};

// Runs `attempt` in a forked child and returns its result.
bool SucceedsInChild(const std::function<bool()>& attempt);

} // namespace storetest
