#include "Registry.h"

#include "HiveStore.h"
#include "RegText.h"

#include <cstring>
#include <functional>
#include <mutex>
#include <unistd.h>
#include <unordered_set>

using regtext::CKey;
using regtext::ERoot;

// An open key: its root, the path below it and the access it was opened with.
struct HKEY__ {
    ERoot root;
    std::vector<std::string> path;
    REGSAM access;
};

namespace {

// A single value larger than this is refused rather than bloating the hive text.
constexpr DWORD MAX_VALUE_BYTES = 16u << 20;

std::mutex g_handleMutex;
std::unordered_set<HKEY> g_handles;

struct CKeyRef {
    ERoot root = ERoot::LocalMachine;
    std::vector<std::string> path;
    REGSAM access = 0;
};

bool PredefinedRoot(HKEY hKey, ERoot& root) {
    if (hKey == HKEY_LOCAL_MACHINE) {
        root = ERoot::LocalMachine;
    } else if (hKey == HKEY_CURRENT_USER) {
        root = ERoot::CurrentUser;
    } else if (hKey == HKEY_CLASSES_ROOT) {
        root = ERoot::ClassesRoot;
    } else {
        return false;
    }
    return true;
}

bool Resolve(HKEY hKey, CKeyRef& ref) {
    if (PredefinedRoot(hKey, ref.root)) {
        ref.path.clear();
        ref.access = KEY_ALL_ACCESS;
        return true;
    }
    std::lock_guard<std::mutex> guard(g_handleMutex);
    if (!hKey || !g_handles.contains(hKey)) {
        return false;
    }
    ref.root = hKey->root;
    ref.path = hKey->path;
    ref.access = hKey->access;
    return true;
}

HKEY NewHandle(ERoot root, std::vector<std::string> path, REGSAM access) {
    HKEY handle = new HKEY__{root, std::move(path), access};
    std::lock_guard<std::mutex> guard(g_handleMutex);
    g_handles.insert(handle);
    return handle;
}

bool Allowed(const CKeyRef& ref, REGSAM needed) {
    return (ref.access & needed) == needed;
}

std::string NameOf(const char* name) {
    return name ? std::string(name) : std::string();
}

// A sub-key argument: null or empty means the key itself.
bool SplitSubKey(const char* subKey, std::vector<std::string>& names) {
    return regtext::SplitKeyPath(subKey ? std::string_view(subKey) : std::string_view(), names);
}

std::vector<std::string> Join(const std::vector<std::string>& a,
                              const std::vector<std::string>& b) {
    std::vector<std::string> all(a);
    all.insert(all.end(), b.begin(), b.end());
    return all;
}

// The tree of a handle's hive and the handle's key in it.
LONG Lookup(const CKeyRef& ref, std::shared_ptr<const CKey>& tree, const CKey*& key) {
    const LONG result = hivestore::ReadHive(ref.root, tree);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    key = tree->Find(ref.path);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Resolves a handle that must have been opened with `needed` access.
LONG ResolveFor(HKEY hKey, REGSAM needed, CKeyRef& ref) {
    if (!Resolve(hKey, ref)) {
        return ERROR_INVALID_HANDLE;
    }
    return Allowed(ref, needed) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The key behind a handle that must have `needed` access, as its hive holds it now.
LONG ReadKey(HKEY hKey, REGSAM needed, CKeyRef& ref, std::shared_ptr<const CKey>& tree,
             const CKey*& key) {
    const LONG result = ResolveFor(hKey, needed, ref);
    return result == ERROR_SUCCESS ? Lookup(ref, tree, key) : result;
}

// Edits the handle's key under the hive's write lock; a key deleted meanwhile is reported.
LONG ModifyKey(const CKeyRef& ref, const std::function<LONG(CKey& key, bool& changed)>& change) {
    return hivestore::ModifyHive(ref.root, [&](CKey& rootKey, bool& changed) {
        CKey* key = rootKey.Find(ref.path);
        return key ? change(*key, changed) : ERROR_KEY_DELETED;
    });
}

// Copies a name into a caller's buffer of *size characters including the NUL.
LONG CopyName(const std::string& name, char* buffer, DWORD* size) {
    if (*size <= name.size()) {
        *size = static_cast<DWORD>(name.size() + 1);
        return ERROR_MORE_DATA;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *size = static_cast<DWORD>(name.size());
    return ERROR_SUCCESS;
}

// Copies value data as RegQueryValueEx does.
LONG CopyData(const std::string& data, BYTE* buffer, DWORD* size) {
    if (!size) {
        return ERROR_SUCCESS;
    }
    const DWORD needed = static_cast<DWORD>(data.size());
    if (buffer && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (buffer && needed > 0) {
        std::memcpy(buffer, data.data(), needed);
    }
    *size = needed;
    return ERROR_SUCCESS;
}

std::string LocalHostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0) {
        return {};
    }
    return name;
}

bool IsThisMachine(const char* machine) {
    std::string_view name = machine ? machine : "";
    while (name.starts_with('\\')) {
        name.remove_prefix(1);
    }
    if (name.empty() || name == "." || regtext::NamesEqual(name, "localhost") ||
        name == "127.0.0.1" || name == "::1") {
        return true;
    }
    const std::string host = LocalHostName();
    if (host.empty()) {
        return false;
    }
    // A short name matches a fully qualified host name and the other way round.
    const std::string_view hostShort = std::string_view(host).substr(0, host.find('.'));
    return regtext::NamesEqual(name, host) || regtext::NamesEqual(name, hostShort);
}

} // namespace

LONG RegOpenKeyEx(HKEY hKey, const char* lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult) {
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    CKeyRef ref;
    if (!Resolve(hKey, ref)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> names;
    if (!SplitSubKey(lpSubKey, names)) {
        return ERROR_FILE_NOT_FOUND;
    }
    std::shared_ptr<const CKey> tree;
    const CKey* base = nullptr;
    const LONG result = Lookup(ref, tree, base);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (!base->Find(names)) {
        return ERROR_FILE_NOT_FOUND;
    }
    *phkResult = NewHandle(ref.root, Join(ref.path, names), samDesired);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyEx(HKEY hKey, const char* lpSubKey, DWORD, const char*, DWORD, REGSAM samDesired,
                    const void*, HKEY* phkResult, DWORD* lpdwDisposition) {
    if (!phkResult || !lpSubKey) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    CKeyRef ref;
    if (!Resolve(hKey, ref)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> names;
    if (!SplitSubKey(lpSubKey, names)) {
        return ERROR_INVALID_PARAMETER;
    }
    for (const auto& name : names) {
        if (!regtext::CheckKeyName(name).empty()) {
            return ERROR_INVALID_PARAMETER;
        }
    }
    std::vector<std::string> full = Join(ref.path, names);
    if (full.size() > regtext::MAX_KEY_DEPTH) {
        return ERROR_INVALID_PARAMETER;
    }

    std::shared_ptr<const CKey> tree;
    const CKey* base = nullptr;
    LONG result = Lookup(ref, tree, base);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!base->Find(names)) {
        if (!Allowed(ref, KEY_CREATE_SUB_KEY)) {
            return ERROR_ACCESS_DENIED;
        }
        result = ModifyKey(ref, [&](CKey& base, bool& changed) {
            CKey* key = &base;
            for (const auto& name : names) {
                bool created = false;
                key = &key->CreateSubkey(name, &created);
                changed = changed || created;
            }
            disposition = changed ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
            return ERROR_SUCCESS;
        });
        if (result != ERROR_SUCCESS) {
            return result;
        }
    }
    if (lpdwDisposition) {
        *lpdwDisposition = disposition;
    }
    *phkResult = NewHandle(ref.root, std::move(full), samDesired);
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    ERoot root;
    if (PredefinedRoot(hKey, root)) {
        return ERROR_SUCCESS;
    }
    {
        std::lock_guard<std::mutex> guard(g_handleMutex);
        if (!hKey || g_handles.erase(hKey) == 0) {
            return ERROR_INVALID_HANDLE;
        }
    }
    delete hKey;
    return ERROR_SUCCESS;
}

LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD*, DWORD* lpType, BYTE* lpData,
                     DWORD* lpcbData) {
    if (lpData && !lpcbData) {
        return ERROR_INVALID_PARAMETER;
    }
    CKeyRef ref;
    std::shared_ptr<const CKey> tree;
    const CKey* key = nullptr;
    const LONG result = ReadKey(hKey, KEY_QUERY_VALUE, ref, tree, key);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const regtext::CValue* value = key->FindValue(NameOf(lpValueName));
    if (!value) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (lpType) {
        *lpType = value->type;
    }
    return CopyData(value->data, lpData, lpcbData);
}

LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                   DWORD cbData) {
    if ((!lpData && cbData > 0) || cbData > MAX_VALUE_BYTES) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string name = NameOf(lpValueName);
    if (!regtext::CheckValueName(name).empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    CKeyRef ref;
    const LONG result = ResolveFor(hKey, KEY_SET_VALUE, ref);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    std::string data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
    return ModifyKey(ref, [&](CKey& key, bool& changed) {
        const regtext::CValue* old = key.FindValue(name);
        // The stored spelling of the name is kept; an identical value needs no write.
        changed = !old || old->type != dwType || old->data != data;
        if (changed) {
            key.SetValue(old ? std::string_view(old->name) : std::string_view(name), dwType, data);
        }
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValue(HKEY hKey, const char* lpValueName) {
    CKeyRef ref;
    const LONG result = ResolveFor(hKey, KEY_SET_VALUE, ref);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    const std::string name = NameOf(lpValueName);
    return ModifyKey(ref, [&](CKey& key, bool& changed) {
        changed = key.DeleteValue(name);
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
}

namespace {

LONG DeleteKey(HKEY hKey, const char* lpSubKey, bool tree) {
    CKeyRef ref;
    if (!Resolve(hKey, ref)) {
        return ERROR_INVALID_HANDLE;
    }
    std::vector<std::string> names;
    if (!SplitSubKey(lpSubKey, names)) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (names.empty() && (!tree || ref.path.empty())) {
        // A root is never deleted or emptied, and RegDeleteKey needs a sub-key.
        return tree ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER;
    }
    return ModifyKey(ref, [&](CKey& base, bool& changed) {
        if (names.empty()) {
            changed = !base.Values().empty() || !base.Subkeys().empty();
            base.Clear();
            return ERROR_SUCCESS;
        }
        CKey* parent = base.Find(std::vector<std::string>(names.begin(), names.end() - 1));
        CKey* target = parent ? parent->FindSubkey(names.back()) : nullptr;
        if (!target) {
            return ERROR_FILE_NOT_FOUND;
        }
        if (!tree && !target->Subkeys().empty()) {
            return ERROR_ACCESS_DENIED;
        }
        changed = parent->DeleteSubkey(names.back());
        return ERROR_SUCCESS;
    });
}

} // namespace

LONG RegDeleteKey(HKEY hKey, const char* lpSubKey) {
    if (!lpSubKey || !*lpSubKey) {
        return ERROR_INVALID_PARAMETER;
    }
    return DeleteKey(hKey, lpSubKey, false);
}

LONG RegDeleteTree(HKEY hKey, const char* lpSubKey) {
    return DeleteKey(hKey, lpSubKey, true);
}

LONG RegEnumKeyEx(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD*, char* lpClass,
                  DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    if (!lpName || !lpcchName) {
        return ERROR_INVALID_PARAMETER;
    }
    CKeyRef ref;
    std::shared_ptr<const CKey> tree;
    const CKey* key = nullptr;
    const LONG result = ReadKey(hKey, KEY_ENUMERATE_SUB_KEYS, ref, tree, key);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (dwIndex >= key->Subkeys().size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    auto it = key->Subkeys().begin();
    std::advance(it, dwIndex);
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) {
        *lpftLastWriteTime = FILETIME{};
    }
    return CopyName(it->second->Name(), lpName, lpcchName);
}

LONG RegEnumValue(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD*,
                  DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) {
        return ERROR_INVALID_PARAMETER;
    }
    CKeyRef ref;
    std::shared_ptr<const CKey> tree;
    const CKey* key = nullptr;
    const LONG result = ReadKey(hKey, KEY_QUERY_VALUE, ref, tree, key);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (dwIndex >= key->Values().size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const regtext::CValue& value = key->Values()[dwIndex];
    const LONG nameResult = CopyName(value.name, lpValueName, lpcchValueName);
    if (lpType) {
        *lpType = value.type;
    }
    const LONG dataResult = CopyData(value.data, lpData, lpcbData);
    return nameResult != ERROR_SUCCESS ? nameResult : dataResult;
}

LONG RegQueryInfoKey(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD*, DWORD* lpcSubKeys,
                     DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen, DWORD* lpcValues,
                     DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                     DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime) {
    CKeyRef ref;
    std::shared_ptr<const CKey> tree;
    const CKey* key = nullptr;
    const LONG result = ReadKey(hKey, KEY_QUERY_VALUE, ref, tree, key);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    DWORD maxSubKey = 0, maxValueName = 0, maxValue = 0;
    for (const auto& [folded, sub] : key->Subkeys()) {
        maxSubKey = std::max<DWORD>(maxSubKey, static_cast<DWORD>(sub->Name().size()));
    }
    for (const auto& value : key->Values()) {
        maxValueName = std::max<DWORD>(maxValueName, static_cast<DWORD>(value.name.size()));
        maxValue = std::max<DWORD>(maxValue, static_cast<DWORD>(value.data.size()));
    }
    if (lpClass && lpcchClass && *lpcchClass > 0) {
        lpClass[0] = '\0';
    }
    if (lpcchClass) {
        *lpcchClass = 0;
    }
    if (lpcSubKeys) {
        *lpcSubKeys = static_cast<DWORD>(key->Subkeys().size());
    }
    if (lpcbMaxSubKeyLen) {
        *lpcbMaxSubKeyLen = maxSubKey;
    }
    if (lpcbMaxClassLen) {
        *lpcbMaxClassLen = 0;
    }
    if (lpcValues) {
        *lpcValues = static_cast<DWORD>(key->Values().size());
    }
    if (lpcbMaxValueNameLen) {
        *lpcbMaxValueNameLen = maxValueName;
    }
    if (lpcbMaxValueLen) {
        *lpcbMaxValueLen = maxValue;
    }
    if (lpcbSecurityDescriptor) {
        *lpcbSecurityDescriptor = 0;
    }
    if (lpftLastWriteTime) {
        *lpftLastWriteTime = FILETIME{};
    }
    return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY hKey) {
    CKeyRef ref;
    return Resolve(hKey, ref) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG RegConnectRegistry(const char* lpMachineName, HKEY hKey, HKEY* phkResult) {
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    // Only the machine hive is reachable from another machine.
    if (hKey != HKEY_LOCAL_MACHINE) {
        return ERROR_INVALID_HANDLE;
    }
    if (!IsThisMachine(lpMachineName)) {
        return ERROR_BAD_NETPATH;
    }
    *phkResult = NewHandle(ERoot::LocalMachine, {}, KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
}

std::string RegGetHivePath(HKEY hRoot) {
    ERoot root;
    return PredefinedRoot(hRoot, root) ? hivestore::HivePath(root) : std::string();
}

std::string RegGetHiveError(HKEY hRoot) {
    ERoot root;
    return PredefinedRoot(hRoot, root) ? hivestore::HiveError(root) : std::string();
}

std::string RegGetErrorText(LONG result) {
    switch (result) {
    case ERROR_SUCCESS:
        return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND:
        return "The system cannot find the file specified.";
    case ERROR_ACCESS_DENIED:
        return "Access is denied.";
    case ERROR_INVALID_HANDLE:
        return "The handle is invalid.";
    case ERROR_INVALID_DATA:
        return "The data is invalid.";
    case ERROR_OUTOFMEMORY:
        return "Not enough storage is available to complete this operation.";
    case ERROR_BAD_NETPATH:
        return "The network path was not found.";
    case ERROR_INVALID_PARAMETER:
        return "The parameter is incorrect.";
    case ERROR_MORE_DATA:
        return "More data is available.";
    case ERROR_NO_MORE_ITEMS:
        return "No more data is available.";
    case ERROR_BADDB:
        return "The configuration registry database is corrupt.";
    case ERROR_BADKEY:
        return "The configuration registry key is invalid.";
    case ERROR_CANTOPEN:
        return "The configuration registry key could not be opened.";
    case ERROR_CANTREAD:
        return "The configuration registry key could not be read.";
    case ERROR_CANTWRITE:
        return "The configuration registry key could not be written.";
    case ERROR_KEY_DELETED:
        return "Illegal operation attempted on a registry key that has been marked for deletion.";
    default:
        return "Error " + std::to_string(result) + ".";
    }
}

LONG RegExportKey(HKEY hKey, std::string& text) {
    CKeyRef ref;
    std::shared_ptr<const CKey> tree;
    const CKey* key = nullptr;
    const LONG result = ReadKey(hKey, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, ref, tree, key);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    // The full name in its stored spelling.
    std::string fullName = regtext::RootName(ref.root);
    const CKey* step = tree.get();
    for (const auto& name : ref.path) {
        step = step->FindSubkey(name);
        fullName += "\\" + step->Name();
    }
    text = regtext::WriteRegText(*key, fullName, true);
    return ERROR_SUCCESS;
}

LONG RegImportText(const std::string& text, const std::string& sourceName, std::string* error) {
    std::vector<regtext::CEntry> entries;
    regtext::CParseError parseError;
    if (!regtext::ParseRegText(text, false, entries, parseError)) {
        if (error) {
            *error = sourceName + ":" + std::to_string(parseError.line) + ": " + parseError.message;
        }
        return ERROR_BADDB;
    }
    for (int i = 0; i < regtext::ROOT_COUNT; ++i) {
        const ERoot root = static_cast<ERoot>(i);
        bool touched = false;
        for (const auto& entry : entries) {
            touched = touched || entry.root == root;
        }
        if (!touched) {
            continue;
        }
        const LONG result = hivestore::ModifyHive(root, [&](CKey& rootKey, bool& changed) {
            regtext::ApplyEntries(rootKey, root, entries);
            changed = true;
            return ERROR_SUCCESS;
        });
        if (result != ERROR_SUCCESS) {
            if (error) {
                *error = result == ERROR_BADDB
                             ? hivestore::HiveError(root)
                             : hivestore::HivePath(root) + ": " + RegGetErrorText(result);
            }
            return result;
        }
    }
    return ERROR_SUCCESS;
}

// ---- CRegKey ----

namespace {

LONG ReadValueBytes(HKEY hKey, const char* valueName, DWORD& type, std::string& bytes) {
    // The value may grow between asking its size and reading it; ask again then.
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = 0;
        LONG result = RegQueryValueEx(hKey, valueName, nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS) {
            return result;
        }
        bytes.assign(size, '\0');
        result = RegQueryValueEx(hKey, valueName, nullptr, &type,
                                 reinterpret_cast<BYTE*>(bytes.data()), &size);
        if (result == ERROR_SUCCESS) {
            bytes.resize(size);
            return ERROR_SUCCESS;
        }
        if (result != ERROR_MORE_DATA) {
            return result;
        }
    }
    return ERROR_MORE_DATA;
}

} // namespace

CRegKey& CRegKey::operator=(CRegKey&& other) noexcept {
    if (this != &other) {
        Attach(other.Detach());
    }
    return *this;
}

LONG CRegKey::Open(HKEY hKeyParent, const char* keyName, REGSAM samDesired) {
    HKEY key = nullptr;
    const LONG result = RegOpenKeyEx(hKeyParent, keyName, 0, samDesired, &key);
    if (result == ERROR_SUCCESS) {
        Attach(key);
    }
    return result;
}

LONG CRegKey::Create(HKEY hKeyParent, const char* keyName, REGSAM samDesired, DWORD* disposition) {
    HKEY key = nullptr;
    const LONG result = RegCreateKeyEx(hKeyParent, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       samDesired, nullptr, &key, disposition);
    if (result == ERROR_SUCCESS) {
        Attach(key);
    }
    return result;
}

LONG CRegKey::Close() noexcept {
    if (!m_hKey) {
        return ERROR_SUCCESS;
    }
    const LONG result = RegCloseKey(m_hKey);
    m_hKey = nullptr;
    return result;
}

void CRegKey::Attach(HKEY hKey) noexcept {
    Close();
    m_hKey = hKey;
}

HKEY CRegKey::Detach() noexcept {
    HKEY key = m_hKey;
    m_hKey = nullptr;
    return key;
}

LONG CRegKey::QueryStringValue(const char* valueName, char* value, ULONG* pnChars) {
    if (!value || !pnChars) {
        return ERROR_INVALID_PARAMETER;
    }
    DWORD type = REG_NONE;
    DWORD size = *pnChars;
    const LONG result =
        RegQueryValueEx(m_hKey, valueName, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    if (result == ERROR_MORE_DATA) {
        *pnChars = size;
    }
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return ERROR_INVALID_DATA;
    }
    // Text stored without its NUL still comes back terminated, if there is room.
    if (size == 0 || value[size - 1] != '\0') {
        if (size >= *pnChars) {
            *pnChars = size + 1;
            return ERROR_MORE_DATA;
        }
        value[size++] = '\0';
    }
    *pnChars = size;
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryStringValue(const char* valueName, std::string& value) {
    DWORD type = REG_NONE;
    std::string bytes;
    const LONG result = ReadValueBytes(m_hKey, valueName, type, bytes);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
        return ERROR_INVALID_DATA;
    }
    value.assign(bytes.c_str()); // up to the first NUL
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryDWORDValue(const char* valueName, DWORD& value) {
    DWORD type = REG_NONE;
    BYTE data[4];
    DWORD size = sizeof data;
    const LONG result = RegQueryValueEx(m_hKey, valueName, nullptr, &type, data, &size);
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) {
        return result;
    }
    if (type != REG_DWORD || size != 4) {
        return ERROR_INVALID_DATA;
    }
    value = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
            static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    return ERROR_SUCCESS;
}

LONG CRegKey::QueryBinaryValue(const char* valueName, std::string& bytes) {
    DWORD type = REG_NONE;
    const LONG result = ReadValueBytes(m_hKey, valueName, type, bytes);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    return type == REG_BINARY ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

LONG CRegKey::QueryValue(const char* valueName, DWORD* type, void* data, ULONG* pnBytes) {
    return RegQueryValueEx(m_hKey, valueName, nullptr, type, static_cast<BYTE*>(data), pnBytes);
}

LONG CRegKey::SetStringValue(const char* valueName, const char* value, DWORD type) {
    if (!value || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return ERROR_INVALID_PARAMETER;
    }
    return SetValue(valueName, type, value, static_cast<ULONG>(std::strlen(value) + 1));
}

LONG CRegKey::SetDWORDValue(const char* valueName, DWORD value) {
    const BYTE data[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                          static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return SetValue(valueName, REG_DWORD, data, sizeof data);
}

LONG CRegKey::SetBinaryValue(const char* valueName, const void* data, ULONG nBytes) {
    return SetValue(valueName, REG_BINARY, data, nBytes);
}

LONG CRegKey::SetMultiStringValue(const char* valueName, const char* value) {
    if (!value) {
        return ERROR_INVALID_PARAMETER;
    }
    // The list ends at the first empty string; its closing NUL is part of the data.
    const char* end = value;
    while (*end) {
        end += std::strlen(end) + 1;
    }
    return SetValue(valueName, REG_MULTI_SZ, value, static_cast<ULONG>(end - value + 1));
}

LONG CRegKey::SetValue(const char* valueName, DWORD type, const void* data, ULONG nBytes) {
    return RegSetValueEx(m_hKey, valueName, 0, type, static_cast<const BYTE*>(data), nBytes);
}

LONG CRegKey::DeleteValue(const char* valueName) {
    return RegDeleteValue(m_hKey, valueName);
}

LONG CRegKey::DeleteSubKey(const char* subKeyName) {
    return RegDeleteKey(m_hKey, subKeyName);
}

LONG CRegKey::RecurseDeleteKey(const char* subKeyName) {
    return RegDeleteTree(m_hKey, subKeyName);
}

LONG CRegKey::EnumKey(DWORD index, char* name, DWORD* pnLength) {
    return RegEnumKeyEx(m_hKey, index, name, pnLength, nullptr, nullptr, nullptr, nullptr);
}
