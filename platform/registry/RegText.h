#pragma once
// The in-memory key tree and its REGEDIT4 text form, shared by the hive files, export and import.

#include "Registry.h"

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace regtext {

// The three roots, in the order of their hive files.
enum class ERoot { LocalMachine, CurrentUser, ClassesRoot };
constexpr int ROOT_COUNT = 3;

const char* RootName(ERoot root); // "HKEY_LOCAL_MACHINE", ...
// Accepts the full root names and HKLM, HKCU, HKCR, without regard to case.
[[nodiscard]] bool ParseRootName(std::string_view text, ERoot& root);

// ASCII case folding: the registry's name comparison.
std::string FoldName(std::string_view name);
bool NamesEqual(std::string_view a, std::string_view b);

// Deepest key nesting accepted, as on Windows.
constexpr std::size_t MAX_KEY_DEPTH = 512;

// Why a key or value name cannot be stored ("" when it can).
std::string CheckKeyName(std::string_view name);
std::string CheckValueName(std::string_view name);

struct CValue {
    std::string name; // "" is the default value
    DWORD type = REG_NONE;
    std::string data; // raw bytes, as given to RegSetValueEx
};

class CKey {
public:
    explicit CKey(std::string name = {}) : m_name(std::move(name)) {}
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;

    const std::string& Name() const { return m_name; }
    std::unique_ptr<CKey> Clone() const;

    CKey* FindSubkey(std::string_view name) const;
    // Returns the existing subkey (keeping its spelling) or a new one.
    CKey& CreateSubkey(std::string_view name, bool* created = nullptr);
    bool DeleteSubkey(std::string_view name);
    void Clear();
    // Subkeys in order of their folded names.
    const std::map<std::string, std::unique_ptr<CKey>>& Subkeys() const { return m_subkeys; }

    const CValue* FindValue(std::string_view name) const;
    void SetValue(std::string_view name, DWORD type, std::string data);
    bool DeleteValue(std::string_view name);
    const std::vector<CValue>& Values() const { return m_values; }

    // Follows a path of names; null when a step is missing.
    CKey* Find(const std::vector<std::string>& path);
    const CKey* Find(const std::vector<std::string>& path) const;

private:
    std::string m_name;
    std::vector<CValue> m_values;
    std::map<std::string, std::unique_ptr<CKey>> m_subkeys;
};

// One statement of a REGEDIT4 text.
struct CEntry {
    enum class EKind { Key, DeleteKey, Value, DeleteValue };
    EKind kind = EKind::Key;
    int line = 0;
    ERoot root = ERoot::LocalMachine;
    std::vector<std::string> path; // below the root
    std::string valueName;
    DWORD type = REG_NONE;
    std::string data;
};

struct CParseError {
    int line = 0;
    std::string message;
};

// Parses a REGEDIT4 text. An empty text is accepted when allowEmpty (a new hive file).
[[nodiscard]] bool ParseRegText(std::string_view text, bool allowEmpty,
                                std::vector<CEntry>& entries, CParseError& error);

// Applies parsed statements to the tree of their root (entries of other roots are skipped).
void ApplyEntries(CKey& rootKey, ERoot root, const std::vector<CEntry>& entries);

// Writes "REGEDIT4", then `key` (named fullName) and every key below it, each with its values.
// `key` itself is left out when it has no values and writeEmptyRoot is false.
std::string WriteRegText(const CKey& key, const std::string& fullName, bool writeEmptyRoot);

// Splits "A\B\C" into its names; false on an empty name (one trailing backslash is allowed).
[[nodiscard]] bool SplitKeyPath(std::string_view path, std::vector<std::string>& names);

// ---- Values as people type and read them (dorvale-reg), beside their REGEDIT4 form ----

// "REG_SZ", "REG_DWORD", ...; "REG_TYPE_0x<hex>" for a type without a name.
std::string TypeName(DWORD type);
// SZ, EXPAND_SZ, DWORD, BINARY or MULTI_SZ, with or without "REG_", in any letter case.
[[nodiscard]] bool ParseTypeName(std::string_view text, DWORD& type);

// A REG_DWORD's four bytes, least significant first, and back (false unless four bytes).
std::string DwordData(DWORD value);
[[nodiscard]] bool DwordFromData(std::string_view data, DWORD& value);
// A REG_MULTI_SZ's bytes: each string and its NUL, then the closing NUL (two for no strings).
std::string MultiStringData(const std::vector<std::string>& strings);

// 0 to 4294967295, decimal or hexadecimal after 0x; nothing else (no sign, no spaces).
[[nodiscard]] bool ParseDwordText(std::string_view text, DWORD& value);
// Pairs of hexadecimal digits, optionally separated by commas, colons, spaces or tabs.
[[nodiscard]] bool ParseHexBytes(std::string_view text, std::string& bytes);

// The data as a person reads it: text up to its NUL; "0x0000002a (42)" for a number; the
// strings of a list joined by "\0"; other data as hexadecimal digits.
std::string FormatValueData(DWORD type, std::string_view data);

} // namespace regtext
