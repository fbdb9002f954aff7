#pragma once
// What a visitor's browser sends, taken apart: URL-encoded forms and query strings, the
// boundary of a multipart body, and the checks every text field passes before use.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

// A form's fields by name. A name sent twice keeps its first value.
using CFormFields = std::map<std::string, std::string, std::less<>>;

// Decodes %XX escapes, and '+' as a space when `plusIsSpace` (form bodies and query strings).
// False for a '%' not followed by two hexadecimal digits.
bool UrlDecode(std::string_view text, std::string& out, bool plusIsSpace = true);

// Parses "a=1&b=2" (a query string or an application/x-www-form-urlencoded body). False with
// the reason when it is malformed, has more than `maxFields` fields, or a name or value
// longer than `maxValue` bytes once decoded.
bool ParseUrlEncoded(std::string_view text, CFormFields& fields, std::size_t maxFields,
                     std::size_t maxValue, std::string& error);

// The boundary of a "multipart/form-data; boundary=..." content type (quoted or not); false
// when the type is another or the boundary is missing, empty or longer than 70 bytes.
bool MultipartBoundary(std::string_view contentType, std::string& boundary);

// True when the text is well-formed UTF-8 (no overlong forms, no surrogates, nothing
// beyond U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The checks of a text field. One-line text admits no control character at all; multi-line
// text admits line feeds and tabs (CR LF is made LF first, a lone CR is refused).
enum class ETextCheck { Good, NotUtf8, ControlCharacter, TooLong };
ETextCheck CheckOneLine(std::string_view text, std::size_t maxBytes);
ETextCheck CheckMultiLine(std::string& text, std::size_t maxBytes);

// Leading and trailing spaces and tabs removed.
std::string Trim(std::string_view text);
