#pragma once
// Text helpers below every module. Text is UTF-8 bytes; limits count bytes, and a cut never
// splits a UTF-8 sequence. Letter case is ASCII only: bytes of multi-byte sequences are
// never changed, whatever the process's locale.

#include <cstddef>
#include <string>
#include <string_view>

namespace base {

// True for the second to fourth byte of a UTF-8 sequence (10xxxxxx).
constexpr bool IsUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The length of the longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 sequence. Bytes that are not well-formed UTF-8 are cut where they fall:
// there is no character to keep whole.
std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes);
// The same cut when only the kept bytes and the one byte after them are at hand (a stream).
std::size_t Utf8CutBefore(std::string_view kept, char next);
// The length of `text` without an incomplete UTF-8 sequence at its end, for text that
// someone else has already cut, the byte after it unknown.
std::size_t Utf8CompleteLength(std::string_view text);

// `text` cut to at most `maxBytes` bytes (Utf8CutLength).
std::string_view CutUtf8(std::string_view text, std::size_t maxBytes);
// What a fixed, NUL-terminated text field of maxBytes + 1 bytes keeps of `text`: the cut
// also ends at the first NUL, where any reader of the field would stop.
std::string_view CutUtf8Field(std::string_view text, std::size_t maxBytes);

constexpr char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string LowerAscii(std::string_view text);
// Compared with ASCII letters folded to lower case.
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// 0 to 15 for a hexadecimal digit of either case; -1 for any other byte.
constexpr int HexDigitValue(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// Decodes %XX escapes, and '+' as a space when `plusIsSpace` (form bodies and query strings).
// False, leaving `out` as it was, for a '%' not followed by two hexadecimal digits.
bool PercentDecode(std::string_view text, std::string& out, bool plusIsSpace);

// `bytes` in base64 (RFC 4648, with '=' padding), as MIME headers and bodies carry them.
std::string EncodeBase64(std::string_view bytes);

} // namespace base
