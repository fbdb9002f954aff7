#include "MetabaseTree.h"
#include "Text.h"

#include <charconv>
#include <cstring>

namespace metabase {

namespace {

constexpr char TYPE_LETTERS[] = "?DSBEM";

// Bytes below space, DEL, '%', and those in `more` become %XX.
std::string Escape(std::string_view bytes, std::string_view more) {
    static constexpr char HEX[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '%' || more.find(c) != std::string_view::npos) {
            text += '%';
            text += HEX[u >> 4];
            text += HEX[u & 15];
        } else {
            text += c;
        }
    }
    return text;
}

bool ParseNumber(std::string_view text, std::uint32_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

void WriteKey(const CKeyNode& key, const std::string& path, std::string& text) {
    text += "[" + (path.empty() ? std::string("/") : path) + "]\n";
    for (const auto& [id, property] : key.properties) {
        text += std::to_string(id) + ' ' + TYPE_LETTERS[property.dataType] + ' ' +
                std::to_string(property.attributes) + ' ' + std::to_string(property.userType) + ' ';
        std::uint32_t number = 0;
        if (property.dataType == DWORD_METADATA && DwordOf(property, number)) {
            text += std::to_string(number);
        } else {
            text += Escape(property.bytes, "");
        }
        text += '\n';
    }
    for (const auto& child : key.children) {
        WriteKey(*child, path + "/" + Escape(child->name, "/]"), text);
    }
}

} // namespace

CKeyNode* CKeyNode::Child(std::string_view childName) const {
    for (const auto& child : children) {
        if (base::EqualsNoCase(child->name, childName)) {
            return child.get();
        }
    }
    return nullptr;
}

CKeyNode& CKeyNode::AddChild(std::string_view childName) {
    if (CKeyNode* existing = Child(childName)) {
        return *existing;
    }
    children.push_back(std::make_unique<CKeyNode>());
    children.back()->name = std::string(childName);
    return *children.back();
}

bool CKeyNode::RemoveChild(std::string_view childName) {
    for (auto it = children.begin(); it != children.end(); ++it) {
        if (base::EqualsNoCase((*it)->name, childName)) {
            children.erase(it);
            return true;
        }
    }
    return false;
}

std::unique_ptr<CKeyNode> CKeyNode::Clone() const {
    auto copy = std::make_unique<CKeyNode>();
    copy->name = name;
    copy->properties = properties;
    for (const auto& child : children) {
        copy->children.push_back(child->Clone());
    }
    return copy;
}

bool SplitPath(std::string_view path, std::vector<std::string>& names) {
    names.clear();
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = std::min(path.find('/', start), path.size());
        const std::string_view name = path.substr(start, slash - start);
        if (!name.empty()) {
            if (name.size() > MAX_KEY_NAME || names.size() >= MAX_DEPTH) {
                return false;
            }
            for (char c : name) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    return false;
                }
            }
            names.emplace_back(name);
        }
        start = slash + 1;
    }
    return true;
}

CTree::CTree() : m_root(std::make_unique<CKeyNode>()) {
    m_root->AddChild("LM");
}

CTree::CTree(const CTree& other) : m_root(other.m_root->Clone()) {}

CTree& CTree::operator=(const CTree& other) {
    if (this != &other) {
        m_root = other.m_root->Clone();
    }
    return *this;
}

CKeyNode* CTree::Find(const std::vector<std::string>& names) const {
    CKeyNode* key = m_root.get();
    for (const std::string& name : names) {
        key = key->Child(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

std::string CTree::Write() const {
    std::string text =
        "; Dorvale metabase: a [key] line per key, then one line per property:\n"
        "; id, type (D number, S text, B bytes, E expandable text, M texts),\n"
        "; attributes, user type, value (%XX for a byte that cannot stand as it is)\n";
    WriteKey(*m_root, "", text);
    return text;
}

bool CTree::Parse(std::string_view text, std::string& error) {
    auto root = std::make_unique<CKeyNode>();
    CKeyNode* current = nullptr;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    const auto fail = [&](const char* fault) {
        error = "line " + std::to_string(lineNumber) + ": " + fault;
        return false;
    };
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                return fail("a key line must end with ']'");
            }
            const std::string_view path = line.substr(1, line.size() - 2);
            if (path.empty() || path.front() != '/') {
                return fail("a key's path must begin with '/'");
            }
            current = root.get();
            std::size_t at = 1;
            std::size_t depth = 0;
            while (at < path.size()) {
                const std::size_t slash = std::min(path.find('/', at), path.size());
                std::string name;
                if (!base::PercentDecode(path.substr(at, slash - at), name, false) || name.empty() ||
                    name.size() > MAX_KEY_NAME || ++depth > MAX_DEPTH) {
                    return fail("a key name is empty, too long, too deep or badly escaped");
                }
                current = &current->AddChild(name);
                at = slash + 1;
            }
            continue;
        }
        if (current == nullptr) {
            return fail("a property before the first key");
        }
        // id type attributes usertype value
        std::string_view fields[4];
        for (std::string_view& field : fields) {
            const std::size_t space = line.find(' ');
            if (space == std::string_view::npos) {
                return fail("a property needs an id, a type, attributes, a user type and a value");
            }
            field = line.substr(0, space);
            line.remove_prefix(space + 1);
        }
        CProperty property;
        const char* letter =
            fields[1].size() == 1 ? std::strchr(TYPE_LETTERS + 1, fields[1][0]) : nullptr;
        if (!ParseNumber(fields[0], property.id) || letter == nullptr || *letter == '\0' ||
            !ParseNumber(fields[2], property.attributes) ||
            !ParseNumber(fields[3], property.userType)) {
            return fail("a property's id, type, attributes or user type is not valid");
        }
        property.dataType = static_cast<std::uint32_t>(letter - TYPE_LETTERS);
        if (property.dataType == DWORD_METADATA) {
            std::uint32_t value = 0;
            if (!ParseNumber(line, value)) {
                return fail("a number property's value is not a number");
            }
            property = MakeDword(property.id, value, property.attributes, property.userType);
        } else if (line.size() > 3 * MAX_VALUE_BYTES || !base::PercentDecode(line, property.bytes, false)) {
            return fail("a value is too long or badly escaped");
        }
        if (current->properties.count(property.id) != 0) {
            return fail("a property is given twice");
        }
        current->properties[property.id] = std::move(property);
    }
    if (root->Child("LM") == nullptr) {
        root->AddChild("LM");
    }
    m_root = std::move(root);
    return true;
}

CProperty MakeDword(std::uint32_t id, std::uint32_t value, std::uint32_t attributes,
                    std::uint32_t userType) {
    CProperty property;
    property.id = id;
    property.attributes = attributes;
    property.userType = userType;
    property.dataType = DWORD_METADATA;
    property.bytes.assign(reinterpret_cast<const char*>(&value), sizeof value);
    return property;
}

CProperty MakeString(std::uint32_t id, std::string_view value, std::uint32_t attributes,
                     std::uint32_t userType, std::uint32_t dataType) {
    CProperty property;
    property.id = id;
    property.attributes = attributes;
    property.userType = userType;
    property.dataType = dataType;
    property.bytes = std::string(value);
    return property;
}

bool DwordOf(const CProperty& property, std::uint32_t& value) {
    if (property.dataType != DWORD_METADATA || property.bytes.size() != sizeof value) {
        return false;
    }
    std::memcpy(&value, property.bytes.data(), sizeof value);
    return true;
}

} // namespace metabase
