#pragma once
// The system registry: hives of typed values kept as REGEDIT4 text files, reached through the
// familiar Win32 calls so that code written against them works unchanged.
//
// Hives: HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT, each one file named
// "<ROOT NAME>.reg" in the hive directory: $DORVALE_REGISTRY when set, otherwise
// /var/lib/dorvale/registry for the machine and class hives and $XDG_CONFIG_HOME/dorvale
// (~/.config/dorvale) for the user hive. Names are UTF-8 and compared without regard to ASCII
// case; the stored spelling is kept. Text data is UTF-8 bytes (no UTF-16).
//
// Every change is made under an exclusive lock on "<hive>.lock", written to a temporary file,
// flushed and renamed over the hive, so a hive on disk is always a whole old or a whole new one.
// A hive that cannot be parsed is never rewritten: every call on it fails with ERROR_BADDB and
// RegGetHiveError tells the file, line and fault.
//
// Handles are not shared between threads; distinct handles may be used from distinct threads.

#include <cstddef>
#include <cstdint>
#include <string>

using BYTE = std::uint8_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using REGSAM = DWORD;

struct HKEY__;
using HKEY = HKEY__*;

// The Windows type, with its field names.
// NOLINTBEGIN(readability-identifier-naming)
struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

// Predefined roots (their handles are never closed).
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

// Results.
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_OUTOFMEMORY = 14;
constexpr LONG ERROR_BAD_NETPATH = 53;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_BADKEY = 1010;
constexpr LONG ERROR_CANTOPEN = 1011;
constexpr LONG ERROR_CANTREAD = 1012;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_KEY_DELETED = 1018;

// Value types. Any other type number is kept as raw bytes (REGEDIT4 "hex(N):").
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

// Access rights, checked on every call made through a handle.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// RegCreateKeyEx options and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
// NOLINTEND(readability-identifier-naming)

// Longest key name component and value name, in bytes.
constexpr DWORD REG_MAX_KEY_NAME = 255;
constexpr DWORD REG_MAX_VALUE_NAME = 16383;

LONG RegOpenKeyEx(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                  HKEY* phkResult);
LONG RegCreateKeyEx(HKEY hKey, const char* lpSubKey, DWORD reserved, const char* lpClass,
                    DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                    HKEY* phkResult, DWORD* lpdwDisposition);
LONG RegCloseKey(HKEY hKey);

// lpcbData: in, the buffer size; out, the size of the data. A null lpData asks only the size;
// a buffer too small gives ERROR_MORE_DATA with the needed size in *lpcbData.
// A null or empty lpValueName names the key's default value.
LONG RegQueryValueEx(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                     BYTE* lpData, DWORD* lpcbData);
LONG RegSetValueEx(HKEY hKey, const char* lpValueName, DWORD reserved, DWORD dwType,
                   const BYTE* lpData, DWORD cbData);
LONG RegDeleteValue(HKEY hKey, const char* lpValueName);

// Deletes a key that has no subkeys (ERROR_ACCESS_DENIED otherwise).
LONG RegDeleteKey(HKEY hKey, const char* lpSubKey);
// Deletes a key with all its subkeys and values; a null or empty lpSubKey clears hKey itself.
LONG RegDeleteTree(HKEY hKey, const char* lpSubKey);

// Subkeys are enumerated in name order, values in stored order.
// lpcchName: in, the buffer size including the NUL; out, the name length without it.
LONG RegEnumKeyEx(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                  char* lpClass, DWORD* lpcchClass, FILETIME* lpftLastWriteTime);
LONG RegEnumValue(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                  DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);
LONG RegQueryInfoKey(HKEY hKey, char* lpClass, DWORD* lpcchClass, DWORD* lpReserved,
                     DWORD* lpcSubKeys, DWORD* lpcbMaxSubKeyLen, DWORD* lpcbMaxClassLen,
                     DWORD* lpcValues, DWORD* lpcbMaxValueNameLen, DWORD* lpcbMaxValueLen,
                     DWORD* lpcbSecurityDescriptor, FILETIME* lpftLastWriteTime);
// Changes are on disk when each call returns; kept for code that flushes.
LONG RegFlushKey(HKEY hKey);

// A null or empty machine name, ".", "localhost" or this host's name (optionally "\\name")
// connects to the local registry; any other machine fails with ERROR_BAD_NETPATH.
LONG RegConnectRegistry(const char* lpMachineName, HKEY hKey, HKEY* phkResult);

// ---- Beyond Win32: what the command-line tool and diagnostics need. ----

// The file that holds the hive of a root ("" for a handle that is not a root).
std::string RegGetHivePath(HKEY hRoot);
// "<file>:<line>: <fault>" when the root's hive cannot be parsed, else "".
std::string RegGetHiveError(HKEY hRoot);
// A one-line English text for a result code.
std::string RegGetErrorText(LONG result);
// The REGEDIT4 text of a key, its values and all its subkeys, with full key names.
LONG RegExportKey(HKEY hKey, std::string& text);
// Applies a REGEDIT4 text ("[-KEY]" deletes a key, "name"=- a value). Nothing is applied when
// the text cannot be parsed: ERROR_BADDB, and *error says "<sourceName>:<line>: <fault>".
// The changes to one hive are made in one write.
LONG RegImportText(const std::string& text, const std::string& sourceName, std::string* error);

// An owned key handle, closed when it goes.
class CRegKey {
public:
    CRegKey() noexcept = default;
    explicit CRegKey(HKEY hKey) noexcept : m_hKey(hKey) {}
    ~CRegKey() { Close(); }
    CRegKey(CRegKey&& other) noexcept : m_hKey(other.Detach()) {}
    CRegKey& operator=(CRegKey&& other) noexcept;
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    operator HKEY() const noexcept { return m_hKey; }
    bool IsOpen() const noexcept { return m_hKey != nullptr; }

    LONG Open(HKEY hKeyParent, const char* keyName, REGSAM samDesired = KEY_READ | KEY_WRITE);
    LONG Create(HKEY hKeyParent, const char* keyName, REGSAM samDesired = KEY_READ | KEY_WRITE,
                DWORD* disposition = nullptr);
    LONG Close() noexcept;
    void Attach(HKEY hKey) noexcept;
    HKEY Detach() noexcept;

    // Typed reads fail with ERROR_INVALID_DATA when the stored type differs.
    // pnChars: in, the buffer size including the NUL; out, the length used including the NUL.
    LONG QueryStringValue(const char* valueName, char* value, ULONG* pnChars);
    LONG QueryStringValue(const char* valueName, std::string& value);
    LONG QueryDWORDValue(const char* valueName, DWORD& value);
    LONG QueryBinaryValue(const char* valueName, std::string& bytes);
    LONG QueryValue(const char* valueName, DWORD* type, void* data, ULONG* pnBytes);

    LONG SetStringValue(const char* valueName, const char* value, DWORD type = REG_SZ);
    LONG SetDWORDValue(const char* valueName, DWORD value);
    LONG SetBinaryValue(const char* valueName, const void* data, ULONG nBytes);
    // Strings separated by NULs and closed by an empty one.
    LONG SetMultiStringValue(const char* valueName, const char* value);
    LONG SetValue(const char* valueName, DWORD type, const void* data, ULONG nBytes);

    LONG DeleteValue(const char* valueName);
    LONG DeleteSubKey(const char* subKeyName);
    LONG RecurseDeleteKey(const char* subKeyName);
    LONG EnumKey(DWORD index, char* name, DWORD* pnLength);

private:
    HKEY m_hKey = nullptr;
};
