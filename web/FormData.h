#pragma once
// What a visitor's browser sends, taken apart: URL-encoded forms and query strings, the
// boundary of a multipart body, and the checks every text field passes before use.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// A form's fields by name. A name sent twice keeps its first value.
using CFormFields = std::map<std::string, std::string, std::less<>>;

// The value of a field; empty when the form does not have it.
std::string FieldValue(const CFormFields& fields, std::string_view name);

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
std::string_view TrimBlanks(std::string_view text);

// Checks one field a visitor filled in, adding what is wrong to `problems` (each a sentence
// that names the field by `label`); true when it is good. One-line text is trimmed; multi-line
// text has its line ends made LF and its blank lines and blanks around it removed. A required
// field left empty is "<label> field is required.", as the administration's dialogs say it.
enum class EFieldKind { OneLine, MultiLine };
bool CheckFormField(std::string& value, std::string_view label, std::size_t maxBytes,
                    EFieldKind kind, bool required, std::vector<std::string>& problems);

// LF line ends made CR LF, as the description file and the mailed submission write them.
std::string WithCrLf(std::string_view text);
