#pragma once
// Zip archives made by tests with libzip.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct CZipMember {
    std::string name;
    std::string data;
    // When not 0, the member is this many zero bytes instead of `data` (an archive bomb
    // compresses a large member into a few kilobytes).
    std::uint64_t zeros = 0;
};

// Writes a zip archive holding `members` in order (deflated). False when libzip fails.
bool MakeZip(const std::string& path, const std::vector<CZipMember>& members);

} // namespace testsupport
