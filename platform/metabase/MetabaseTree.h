#pragma once
// The metabase's key tree in memory and as text. Keys are named like directories
// ("/LM/W3SVC/1/ROOT"), compared without regard to letter case and kept in the case they were made
// with; each key holds numbered properties. The text form is what the store writes: one "[path]"
// line per key, in tree order, each followed by its properties as "id type attributes usertype
// value".

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace metabase {

// Property data types.
constexpr std::uint32_t DWORD_METADATA = 1;
constexpr std::uint32_t STRING_METADATA = 2;
constexpr std::uint32_t BINARY_METADATA = 3;
constexpr std::uint32_t EXPANDSZ_METADATA = 4;
constexpr std::uint32_t MULTISZ_METADATA = 5;

// Limits that keep a damaged or hostile file from taking the process with it.
constexpr std::size_t MAX_KEY_NAME = 255;
constexpr std::size_t MAX_DEPTH = 64;
constexpr std::size_t MAX_VALUE_BYTES = 1 << 20;

struct CProperty {
    std::uint32_t id = 0;
    std::uint32_t attributes = 0;
    std::uint32_t userType = 0;
    std::uint32_t dataType = 0;
    // The value's bytes: a DWORD as 4 bytes in the machine's order, strings without their
    // terminating NUL, a multi-string as its strings each ended by a NUL.
    std::string bytes;
};

class CKeyNode {
public:
    std::string name;
    std::vector<std::unique_ptr<CKeyNode>> children;
    std::map<std::uint32_t, CProperty> properties;

    CKeyNode* Child(std::string_view childName) const;
    // The child of that name, made when absent.
    CKeyNode& AddChild(std::string_view childName);
    bool RemoveChild(std::string_view childName);
    std::unique_ptr<CKeyNode> Clone() const;
};

// Splits a path on '/' into its names, skipping empty ones. False for a name that is too
// long or holds a control character.
bool SplitPath(std::string_view path, std::vector<std::string>& names);

class CTree {
public:
    CTree();
    CTree(const CTree& other);
    CTree& operator=(const CTree& other);

    CKeyNode& Root() { return *m_root; }
    const CKeyNode& Root() const { return *m_root; }
    // The key at `names` below the root, or null.
    CKeyNode* Find(const std::vector<std::string>& names) const;

    // The whole tree as text.
    std::string Write() const;
    // Replaces the tree by the one `text` holds; false with "line N: fault" otherwise (the
    // tree is then left as it was).
    bool Parse(std::string_view text, std::string& error);

private:
    std::unique_ptr<CKeyNode> m_root;
};

// A property's value as DWORD and as text, for the types that have them.
CProperty MakeDword(std::uint32_t id, std::uint32_t value, std::uint32_t attributes,
                    std::uint32_t userType);
CProperty MakeString(std::uint32_t id, std::string_view value, std::uint32_t attributes,
                     std::uint32_t userType, std::uint32_t dataType = STRING_METADATA);
bool DwordOf(const CProperty& property, std::uint32_t& value);

} // namespace metabase
