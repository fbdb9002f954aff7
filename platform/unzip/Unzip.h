#pragma once
// The unzip library's one entry point, `dunzip`, and its parameter block: 142 bytes, all zero
// but the fields below. Only operation DUNZIP_EXTRACT exists: it extracts the members named in
// a space-separated list, each by its exact name, as plain files directly into the output
// directory, and nothing else; a member larger than DUNZIP_MEMBER_LIMIT is left in the archive
// so that an archive bomb cannot fill the disk. Names that are not bare file names ("..",
// anything with a '/') are never extracted. Members that are not in the archive are simply
// absent afterwards. Result 0 means success.
//
// The block keeps the classic layout of 32-bit pointers; where pointers are wider each field
// after a pointer moves on by the extra bytes, and the block stays 142 bytes.

#include <cstddef>
#include <cstdint>

constexpr std::size_t DUNZIP_BLOCK_SIZE = 142;
constexpr std::uint32_t DUNZIP_EXTRACT = 8;
constexpr std::uint64_t DUNZIP_MEMBER_LIMIT = 1024 * 1024;

constexpr std::size_t DUNZIP_POINTER_EXTRA = sizeof(void*) - 4;
// 32-bit: the block's size (DUNZIP_BLOCK_SIZE).
constexpr std::size_t DUNZIP_OFFSET_SIZE = 0;
// 32-bit: the operation (DUNZIP_EXTRACT).
constexpr std::size_t DUNZIP_OFFSET_OPERATION = 4;
// Pointer: the archive's path, NUL-terminated.
constexpr std::size_t DUNZIP_OFFSET_ARCHIVE = 8;
// Pointer: the members to extract, names separated by spaces.
constexpr std::size_t DUNZIP_OFFSET_MEMBERS = 16 + DUNZIP_POINTER_EXTRA;
// 32-bit signed: how many members at most; -1 for all that are named.
constexpr std::size_t DUNZIP_OFFSET_COUNT = 20 + 2 * DUNZIP_POINTER_EXTRA;
// Pointer: the output directory, which must exist.
constexpr std::size_t DUNZIP_OFFSET_OUTPUT = 24 + 2 * DUNZIP_POINTER_EXTRA;
// 32-bit: 1 replaces files of the same name in the output directory; 0 keeps them.
constexpr std::size_t DUNZIP_OFFSET_OVERWRITE = 36 + 3 * DUNZIP_POINTER_EXTRA;
// 32-bit: 1 extracts quietly; 0 reports each member skipped on standard error.
constexpr std::size_t DUNZIP_OFFSET_QUIET = 40 + 3 * DUNZIP_POINTER_EXTRA;

// Results other than 0.
constexpr int DUNZIP_BAD_BLOCK = 1;    // size, operation or a pointer missing
constexpr int DUNZIP_NO_ARCHIVE = 2;   // the archive cannot be opened as a zip archive
constexpr int DUNZIP_NO_OUTPUT = 3;    // the output directory cannot be opened
constexpr int DUNZIP_WRITE_FAILED = 4; // a member could not be written

// NOLINTBEGIN(readability-identifier-naming): the library's entry point keeps its name.
extern "C" int dunzip(void* parameters);
// NOLINTEND(readability-identifier-naming)

namespace unzip {

// Fills `block` (DUNZIP_BLOCK_SIZE bytes) for extracting `members` of `archive` into
// `outputDirectory`, the way the programs call it: count -1, overwrite 1, quiet 1. The texts
// must live as long as the block is used.
void BuildExtractBlock(unsigned char* block, const char* archive, const char* members,
                       const char* outputDirectory);

} // namespace unzip
