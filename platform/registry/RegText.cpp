#include "RegText.h"

#include "Text.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace regtext {

namespace {

const char* const ROOT_NAMES[ROOT_COUNT] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER",
                                            "HKEY_CLASSES_ROOT"};
const char* const ROOT_SHORT_NAMES[ROOT_COUNT] = {"HKLM", "HKCU", "HKCR"};

bool IsSpace(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// 1 to 8 hex digits, the whole of `s`.
bool ParseHexNumber(std::string_view s, DWORD& value) {
    if (s.empty() || s.size() > 8) {
        return false;
    }
    value = 0;
    for (char c : s) {
        const int d = base::HexDigitValue(c);
        if (d < 0) {
            return false;
        }
        value = (value << 4) | static_cast<DWORD>(d);
    }
    return true;
}

// The lines of a text, without their line ends, numbered from 1.
class CLineReader {
public:
    explicit CLineReader(std::string_view text) : m_text(text) {}

    bool Next(std::string_view& line) {
        if (m_pos >= m_text.size()) {
            return false;
        }
        const std::size_t end = m_text.find('\n', m_pos);
        const std::size_t stop = end == std::string_view::npos ? m_text.size() : end;
        line = m_text.substr(m_pos, stop - m_pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        m_pos = stop + 1;
        ++m_line;
        return true;
    }
    int Line() const { return m_line; }

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_line = 0;
};

class CParser {
public:
    CParser(std::string_view text, std::vector<CEntry>& entries, CParseError& error)
        : m_reader(text), m_entries(entries), m_error(error) {}

    bool Run(bool allowEmpty) {
        std::string_view line;
        if (!m_reader.Next(line)) {
            return allowEmpty || Fail(1, "empty text: the first line must be REGEDIT4");
        }
        if (line.starts_with("\xEF\xBB\xBF")) {
            line.remove_prefix(3);
        }
        line = TrimRight(TrimLeft(line));
        if (line != "REGEDIT4" && line != "Windows Registry Editor Version 5.00") {
            if (allowEmpty && OnlyBlankFrom(line)) {
                return true;
            }
            return Fail(1, "the first line must be REGEDIT4");
        }
        while (m_reader.Next(line)) {
            const int lineNo = m_reader.Line();
            const std::string_view body = TrimRight(TrimLeft(line));
            if (body.empty() || body.front() == ';') {
                continue;
            }
            bool ok = false;
            if (body.front() == '[') {
                ok = ParseSection(lineNo, body);
            } else if (body.front() == '"' || body.front() == '@') {
                ok = ParseValue(lineNo, TrimLeft(line));
            } else {
                ok = Fail(lineNo, "expected a [key] or a \"name\"=value line");
            }
            if (!ok) {
                return false;
            }
        }
        return true;
    }

private:
    bool Fail(int line, std::string message) {
        m_error.line = line;
        m_error.message = std::move(message);
        return false;
    }

    // An empty hive file may hold nothing but blank lines.
    bool OnlyBlankFrom(std::string_view first) {
        if (!first.empty()) {
            return false;
        }
        std::string_view line;
        while (m_reader.Next(line)) {
            if (!TrimRight(TrimLeft(line)).empty()) {
                return false;
            }
        }
        return true;
    }

    bool ParseSection(int lineNo, std::string_view body) {
        if (body.size() < 2 || body.back() != ']') {
            return Fail(lineNo, "a key line must end with ]");
        }
        std::string_view name = body.substr(1, body.size() - 2);
        CEntry entry;
        entry.line = lineNo;
        entry.kind = CEntry::EKind::Key;
        if (!name.empty() && name.front() == '-') {
            entry.kind = CEntry::EKind::DeleteKey;
            name.remove_prefix(1);
        }
        const std::size_t slash = name.find('\\');
        const std::string_view rootText = name.substr(0, slash);
        if (!ParseRootName(rootText, entry.root)) {
            return Fail(lineNo, "unknown root key \"" + std::string(rootText) + "\"");
        }
        if (slash != std::string_view::npos) {
            const std::string_view rest = name.substr(slash + 1);
            if (!SplitKeyPath(rest, entry.path) || entry.path.empty()) {
                return Fail(lineNo, "empty key name in the key path");
            }
            for (const auto& part : entry.path) {
                const std::string why = CheckKeyName(part);
                if (!why.empty()) {
                    return Fail(lineNo, why);
                }
            }
            if (entry.path.size() > MAX_KEY_DEPTH) {
                return Fail(lineNo, "keys nested too deeply");
            }
        }
        if (entry.kind == CEntry::EKind::DeleteKey && entry.path.empty()) {
            return Fail(lineNo, "a root key cannot be deleted");
        }
        m_sectionOpen = entry.kind == CEntry::EKind::Key;
        m_sectionDeleted = entry.kind == CEntry::EKind::DeleteKey;
        m_sectionRoot = entry.root;
        m_sectionPath = entry.path;
        m_entries.push_back(std::move(entry));
        return true;
    }

    // A quoted text with the escapes \\ and \" starting at s[pos] == '"'; pos ends after it.
    bool ParseQuoted(int lineNo, std::string_view s, std::size_t& pos, std::string& out) {
        ++pos;
        while (pos < s.size()) {
            const char c = s[pos++];
            if (c == '"') {
                return true;
            }
            if (c == '\\') {
                if (pos >= s.size()) {
                    break;
                }
                const char e = s[pos++];
                if (e != '\\' && e != '"') {
                    return Fail(lineNo, std::string("unknown escape \\") + e +
                                            " (only \\\\ and \\\" are allowed)");
                }
                out.push_back(e);
            } else {
                out.push_back(c);
            }
        }
        return Fail(lineNo, "missing closing quote");
    }

    bool ParseValue(int lineNo, std::string_view line) {
        if (m_sectionDeleted) {
            return Fail(lineNo, "a value under a deleted key");
        }
        if (!m_sectionOpen) {
            return Fail(lineNo, "a value before the first [key] line");
        }
        CEntry entry;
        entry.line = lineNo;
        entry.root = m_sectionRoot;
        entry.path = m_sectionPath;
        std::size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else {
            if (!ParseQuoted(lineNo, line, pos, entry.valueName)) {
                return false;
            }
            const std::string why = CheckValueName(entry.valueName);
            if (!why.empty()) {
                return Fail(lineNo, why);
            }
        }
        std::string_view rest = TrimLeft(line.substr(pos));
        if (rest.empty() || rest.front() != '=') {
            return Fail(lineNo, "expected = after the value name");
        }
        rest = TrimLeft(rest.substr(1));
        const std::string_view trimmed = TrimRight(rest);
        if (trimmed == "-") {
            entry.kind = CEntry::EKind::DeleteValue;
        } else if (!rest.empty() && rest.front() == '"') {
            entry.kind = CEntry::EKind::Value;
            entry.type = REG_SZ;
            std::size_t p = 0;
            if (!ParseQuoted(lineNo, rest, p, entry.data)) {
                return false;
            }
            if (!TrimRight(rest.substr(p)).empty()) {
                return Fail(lineNo, "unexpected text after the closing quote");
            }
            entry.data.push_back('\0');
        } else if (base::StartsWithNoCase(rest, "dword:")) {
            entry.kind = CEntry::EKind::Value;
            entry.type = REG_DWORD;
            DWORD number = 0;
            if (!ParseHexNumber(TrimRight(rest.substr(6)), number)) {
                return Fail(lineNo, "dword: needs 1 to 8 hexadecimal digits");
            }
            entry.data = DwordData(number);
        } else if (base::StartsWithNoCase(rest, "hex")) {
            entry.kind = CEntry::EKind::Value;
            if (!ParseHex(lineNo, rest.substr(3), entry)) {
                return false;
            }
        } else {
            return Fail(lineNo, "unknown value data (expected \"text\", dword:, hex: or -)");
        }
        m_entries.push_back(std::move(entry));
        return true;
    }

    // After "hex": "(N):" or ":", then bytes separated by commas, continued by a trailing \.
    bool ParseHex(int lineNo, std::string_view rest, CEntry& entry) {
        entry.type = REG_BINARY;
        if (!rest.empty() && rest.front() == '(') {
            const std::size_t close = rest.find(')');
            if (close == std::string_view::npos ||
                !ParseHexNumber(rest.substr(1, close - 1), entry.type)) {
                return Fail(lineNo, "hex(N): needs a hexadecimal type number");
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.empty() || rest.front() != ':') {
            return Fail(lineNo, "expected : after hex");
        }
        rest.remove_prefix(1);
        std::string list;
        std::string_view piece = TrimRight(rest);
        while (!piece.empty() && piece.back() == '\\') {
            piece.remove_suffix(1);
            list.append(piece);
            std::string_view next;
            if (!m_reader.Next(next)) {
                return Fail(lineNo, "the data goes on past the end of the text");
            }
            piece = TrimRight(TrimLeft(next));
        }
        list.append(piece);

        std::string_view all = list;
        bool first = true;
        while (true) {
            const std::size_t comma = all.find(',');
            const std::string_view token = TrimRight(TrimLeft(all.substr(0, comma)));
            const bool last = comma == std::string_view::npos;
            if (token.empty()) {
                // Nothing at all, or one comma closing the list, is accepted.
                if (last && (first || !entry.data.empty())) {
                    break;
                }
                return Fail(lineNo, "missing byte between commas");
            }
            DWORD byte = 0;
            if (token.size() > 2 || !ParseHexNumber(token, byte)) {
                return Fail(lineNo, "bad byte \"" + std::string(token.substr(0, 8)) +
                                        "\" (expected two hexadecimal digits)");
            }
            entry.data.push_back(static_cast<char>(byte));
            if (last) {
                break;
            }
            all.remove_prefix(comma + 1);
            first = false;
        }
        return true;
    }

    CLineReader m_reader;
    std::vector<CEntry>& m_entries;
    CParseError& m_error;
    bool m_sectionOpen = false;
    bool m_sectionDeleted = false;
    ERoot m_sectionRoot = ERoot::LocalMachine;
    std::vector<std::string> m_sectionPath;
};

void AppendHexByte(std::string& out, char byte) {
    static constexpr char DIGITS[] = "0123456789abcdef";
    const auto value = static_cast<unsigned char>(byte);
    out.push_back(DIGITS[value >> 4]);
    out.push_back(DIGITS[value & 0x0F]);
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    out.push_back('"');
}

// A REG_SZ written as "text" must read back as the same bytes: one closing NUL, no line breaks.
bool FitsQuotedText(const std::string& data) {
    if (data.empty() || data.back() != '\0') {
        return false;
    }
    const std::string_view body(data.data(), data.size() - 1);
    return body.find_first_of(std::string_view("\0\r\n", 3)) == std::string_view::npos;
}

void AppendValue(std::string& out, const CValue& value) {
    const std::size_t lineStart = out.size();
    if (value.name.empty()) {
        out.push_back('@');
    } else {
        AppendQuoted(out, value.name);
    }
    out.push_back('=');
    if (value.type == REG_SZ && FitsQuotedText(value.data)) {
        AppendQuoted(out, std::string_view(value.data.data(), value.data.size() - 1));
        out.push_back('\n');
        return;
    }
    char buffer[32];
    DWORD number = 0;
    if (value.type == REG_DWORD && DwordFromData(value.data, number)) {
        std::snprintf(buffer, sizeof buffer, "dword:%08x\n", number);
        out += buffer;
        return;
    }
    if (value.type == REG_BINARY) {
        out += "hex:";
    } else {
        std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
        out += buffer;
    }
    // Lines kept under 80 columns, continued with a backslash, as regedit writes them.
    std::size_t column = out.size() - lineStart;
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        const bool last = i + 1 == value.data.size();
        if (i > 0 && column + 3 > 77) {
            out += "\\\n  ";
            column = 2;
        }
        AppendHexByte(out, value.data[i]);
        if (!last) {
            out.push_back(',');
        }
        column += last ? 2 : 3;
    }
    out.push_back('\n');
}

void AppendKey(std::string& out, const CKey& key, const std::string& fullName, bool write) {
    if (write) {
        out += "[" + fullName + "]\n";
        for (const auto& value : key.Values()) {
            AppendValue(out, value);
        }
        out.push_back('\n');
    }
    for (const auto& [folded, sub] : key.Subkeys()) {
        AppendKey(out, *sub, fullName + "\\" + sub->Name(), true);
    }
}

} // namespace

const char* RootName(ERoot root) {
    return ROOT_NAMES[static_cast<int>(root)];
}

bool ParseRootName(std::string_view text, ERoot& root) {
    for (int i = 0; i < ROOT_COUNT; ++i) {
        if (NamesEqual(text, ROOT_NAMES[i]) || NamesEqual(text, ROOT_SHORT_NAMES[i])) {
            root = static_cast<ERoot>(i);
            return true;
        }
    }
    return false;
}

std::string FoldName(std::string_view name) {
    return base::LowerAscii(name);
}

bool NamesEqual(std::string_view a, std::string_view b) {
    return base::EqualsNoCase(a, b);
}

std::string CheckKeyName(std::string_view name) {
    if (name.empty()) {
        return "empty key name";
    }
    if (name.size() > REG_MAX_KEY_NAME) {
        return "key name longer than 255 bytes";
    }
    if (name.find('\\') != std::string_view::npos) {
        return "key name with a backslash";
    }
    if (name.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) {
        return "key name with a line break or NUL";
    }
    return {};
}

std::string CheckValueName(std::string_view name) {
    if (name.size() > REG_MAX_VALUE_NAME) {
        return "value name longer than 16383 bytes";
    }
    if (name.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) {
        return "value name with a line break or NUL";
    }
    return {};
}

std::unique_ptr<CKey> CKey::Clone() const {
    auto copy = std::make_unique<CKey>(m_name);
    copy->m_values = m_values;
    for (const auto& [folded, sub] : m_subkeys) {
        copy->m_subkeys.emplace(folded, sub->Clone());
    }
    return copy;
}

CKey* CKey::FindSubkey(std::string_view name) const {
    const auto it = m_subkeys.find(FoldName(name));
    return it == m_subkeys.end() ? nullptr : it->second.get();
}

CKey& CKey::CreateSubkey(std::string_view name, bool* created) {
    auto [it, inserted] = m_subkeys.try_emplace(FoldName(name));
    if (inserted) {
        it->second = std::make_unique<CKey>(std::string(name));
    }
    if (created) {
        *created = inserted;
    }
    return *it->second;
}

bool CKey::DeleteSubkey(std::string_view name) {
    return m_subkeys.erase(FoldName(name)) > 0;
}

void CKey::Clear() {
    m_values.clear();
    m_subkeys.clear();
}

const CValue* CKey::FindValue(std::string_view name) const {
    for (const auto& value : m_values) {
        if (NamesEqual(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

void CKey::SetValue(std::string_view name, DWORD type, std::string data) {
    for (auto& value : m_values) {
        if (NamesEqual(value.name, name)) {
            value.type = type;
            value.data = std::move(data);
            return;
        }
    }
    m_values.push_back(CValue{std::string(name), type, std::move(data)});
}

bool CKey::DeleteValue(std::string_view name) {
    const auto it = std::find_if(m_values.begin(), m_values.end(),
                                 [&](const CValue& v) { return NamesEqual(v.name, name); });
    if (it == m_values.end()) {
        return false;
    }
    m_values.erase(it);
    return true;
}

CKey* CKey::Find(const std::vector<std::string>& path) {
    CKey* key = this;
    for (const auto& name : path) {
        key = key->FindSubkey(name);
        if (!key) {
            return nullptr;
        }
    }
    return key;
}

const CKey* CKey::Find(const std::vector<std::string>& path) const {
    return const_cast<CKey*>(this)->Find(path);
}

bool ParseRegText(std::string_view text, bool allowEmpty, std::vector<CEntry>& entries,
                  CParseError& error) {
    CParser parser(text, entries, error);
    return parser.Run(allowEmpty);
}

void ApplyEntries(CKey& rootKey, ERoot root, const std::vector<CEntry>& entries) {
    CKey* current = nullptr;
    for (const auto& entry : entries) {
        if (entry.root != root) {
            continue;
        }
        switch (entry.kind) {
        case CEntry::EKind::Key:
            current = &rootKey;
            for (const auto& name : entry.path) {
                current = &current->CreateSubkey(name);
            }
            break;
        case CEntry::EKind::DeleteKey: {
            current = nullptr;
            std::vector<std::string> parentPath(entry.path.begin(), entry.path.end() - 1);
            if (CKey* parent = rootKey.Find(parentPath)) {
                parent->DeleteSubkey(entry.path.back());
            }
            break;
        }
        case CEntry::EKind::Value:
            if (current) {
                current->SetValue(entry.valueName, entry.type, entry.data);
            }
            break;
        case CEntry::EKind::DeleteValue:
            if (current) {
                current->DeleteValue(entry.valueName);
            }
            break;
        }
    }
}

std::string WriteRegText(const CKey& key, const std::string& fullName, bool writeEmptyRoot) {
    std::string out = "REGEDIT4\n\n";
    AppendKey(out, key, fullName, writeEmptyRoot || !key.Values().empty());
    return out;
}

bool SplitKeyPath(std::string_view path, std::vector<std::string>& names) {
    names.clear();
    if (path.empty()) {
        return true;
    }
    if (path.back() == '\\') {
        path.remove_suffix(1);
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = path.find('\\', start);
        const std::string_view name = path.substr(start, slash - start);
        if (name.empty()) {
            return false;
        }
        names.emplace_back(name);
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

std::string TypeName(DWORD type) {
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_QWORD:
        return "REG_QWORD";
    default: {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "REG_TYPE_0x%x", type);
        return buffer;
    }
    }
}

bool ParseTypeName(std::string_view text, DWORD& type) {
    if (text.size() > 4 && base::StartsWithNoCase(text, "REG_")) {
        text.remove_prefix(4);
    }
    static const std::pair<const char*, DWORD> TYPES[] = {{"SZ", REG_SZ},
                                                          {"EXPAND_SZ", REG_EXPAND_SZ},
                                                          {"DWORD", REG_DWORD},
                                                          {"BINARY", REG_BINARY},
                                                          {"MULTI_SZ", REG_MULTI_SZ}};
    for (const auto& [name, value] : TYPES) {
        if (NamesEqual(text, name)) {
            type = value;
            return true;
        }
    }
    return false;
}

std::string DwordData(DWORD value) {
    std::string data;
    for (int i = 0; i < 4; ++i) {
        data.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return data;
}

bool DwordFromData(std::string_view data, DWORD& value) {
    if (data.size() != 4) {
        return false;
    }
    value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(data[i]);
    }
    return true;
}

std::string MultiStringData(const std::vector<std::string>& strings) {
    std::string data;
    for (const std::string& text : strings) {
        data += text;
        data.push_back('\0');
    }
    data.push_back('\0');
    if (strings.empty()) {
        data.push_back('\0');
    }
    return data;
}

bool ParseDwordText(std::string_view text, DWORD& value) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string_view digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 10) {
        return false;
    }
    std::uint64_t number = 0;
    for (const char c : digits) {
        const int d = base::HexDigitValue(c);
        if (d < 0 || (!hex && d > 9)) {
            return false;
        }
        number = number * (hex ? 16 : 10) + static_cast<unsigned>(d);
    }
    if (number > 0xFFFFFFFFu) {
        return false;
    }
    value = static_cast<DWORD>(number);
    return true;
}

bool ParseHexBytes(std::string_view text, std::string& bytes) {
    int high = -1; // the first digit of a pair, while its second is awaited
    for (const char c : text) {
        if (c == ',' || c == ' ' || c == ':' || c == '\t') {
            continue;
        }
        const int d = base::HexDigitValue(c);
        if (d < 0) {
            return false;
        }
        if (high < 0) {
            high = d;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + d));
            high = -1;
        }
    }
    return high < 0;
}

std::string FormatValueData(DWORD type, std::string_view data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        return std::string(data.substr(0, data.find('\0')));
    }
    DWORD number = 0;
    if (type == REG_DWORD && DwordFromData(data, number)) {
        char buffer[40];
        std::snprintf(buffer, sizeof buffer, "0x%08x (%u)", number, number);
        return buffer;
    }
    if (type == REG_QWORD && data.size() == 8) {
        std::uint64_t wide = 0;
        for (int i = 7; i >= 0; --i) {
            wide = (wide << 8) | static_cast<unsigned char>(data[i]);
        }
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "0x%016" PRIx64 " (%" PRIu64 ")", wide, wide);
        return buffer;
    }
    std::string out;
    if (type == REG_MULTI_SZ) {
        std::size_t start = 0;
        while (start < data.size()) {
            const std::size_t end = std::min(data.find('\0', start), data.size());
            if (end == start) {
                break; // the empty string closing the list
            }
            out += (out.empty() ? "" : "\\0");
            out += data.substr(start, end - start);
            start = end + 1;
        }
        return out;
    }
    for (const char byte : data) {
        AppendHexByte(out, byte);
    }
    return out;
}

} // namespace regtext
