#include "FormData.h"

#include "Text.h"

bool ParseUrlEncoded(std::string_view text, CFormFields& fields, std::size_t maxFields,
                     std::size_t maxValue, std::string& error) {
    fields.clear();
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        const std::string_view pair = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (pair.empty()) {
            continue;
        }
        const std::size_t equals = pair.find('=');
        std::string name;
        std::string value;
        // Both are at most three times their decoded size, so this bounds the work too.
        if (pair.size() > 3 * maxValue + 3 * 256 + 1) {
            error = "a field of the form is too long";
            return false;
        }
        if (!base::PercentDecode(pair.substr(0, equals), name, true) ||
            (equals != std::string_view::npos &&
             !base::PercentDecode(pair.substr(equals + 1), value, true))) {
            error = "the form's data is not properly encoded";
            return false;
        }
        if (name.size() > 256 || value.size() > maxValue) {
            error = "a field of the form is too long";
            return false;
        }
        if (fields.size() >= maxFields && fields.find(name) == fields.end()) {
            error = "the form has too many fields";
            return false;
        }
        fields.emplace(std::move(name), std::move(value));
    }
    return true;
}

bool MultipartBoundary(std::string_view contentType, std::string& boundary) {
    if (!base::StartsWithNoCase(contentType, "multipart/form-data")) {
        return false;
    }
    std::string_view rest = contentType.substr(19);
    while (!rest.empty()) {
        const std::size_t semicolon = rest.find(';');
        std::string_view param = rest.substr(0, semicolon);
        rest =
            semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        while (!param.empty() && (param.front() == ' ' || param.front() == '\t')) {
            param.remove_prefix(1);
        }
        if (!base::StartsWithNoCase(param, "boundary=")) {
            continue;
        }
        std::string_view value = param.substr(9);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
            value.remove_suffix(1);
        }
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.empty() || value.size() > 70 ||
            value.find_first_of(std::string_view("\r\n\"\0", 4)) != std::string_view::npos) {
            return false;
        }
        boundary.assign(value);
        return true;
    }
    return false;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned min = 0;
        unsigned code = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            code = c & 0x1F;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            code = c & 0x0F;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            code = c & 0x07;
            min = 0x10000;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

ETextCheck CheckOneLine(std::string_view text, std::size_t maxBytes) {
    if (!IsValidUtf8(text)) {
        return ETextCheck::NotUtf8;
    }
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return ETextCheck::ControlCharacter;
        }
    }
    return text.size() > maxBytes ? ETextCheck::TooLong : ETextCheck::Good;
}

ETextCheck CheckMultiLine(std::string& text, std::size_t maxBytes) {
    if (!IsValidUtf8(text)) {
        return ETextCheck::NotUtf8;
    }
    std::string joined;
    joined.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        if ((byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7F) {
            return ETextCheck::ControlCharacter;
        }
        joined += text[i];
    }
    if (joined.size() > maxBytes) {
        return ETextCheck::TooLong;
    }
    text = std::move(joined);
    return ETextCheck::Good;
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string FieldValue(const CFormFields& fields, std::string_view name) {
    const auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

bool CheckFormField(std::string& value, std::string_view label, std::size_t maxBytes,
                    EFieldKind kind, bool required, std::vector<std::string>& problems) {
    const bool multiLine = kind == EFieldKind::MultiLine;
    if (!multiLine) {
        value = std::string(TrimBlanks(value));
    }
    const ETextCheck check =
        multiLine ? CheckMultiLine(value, maxBytes) : CheckOneLine(value, maxBytes);
    const std::string field = "The field \"" + std::string(label) + "\" ";
    switch (check) {
    case ETextCheck::NotUtf8:
        problems.push_back(field + "is not valid UTF-8 text.");
        return false;
    case ETextCheck::ControlCharacter:
        problems.push_back(field + (multiLine ? "holds a control character."
                                              : "holds a control character or a line break."));
        return false;
    case ETextCheck::TooLong:
        problems.push_back(field + "is too long (at most " + std::to_string(maxBytes) + " bytes).");
        return false;
    case ETextCheck::Good:
        break;
    }
    if (multiLine) {
        const std::size_t first = value.find_first_not_of(" \t\n");
        const std::size_t last = value.find_last_not_of(" \t\n");
        value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    }
    if (required && value.empty()) {
        problems.push_back(std::string(label) + " field is required.");
        return false;
    }
    return true;
}

std::string WithCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}
