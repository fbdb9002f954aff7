#pragma once
// Using the admin base object from C++: creating it, a handle that closes itself, and the
// few typed reads and writes the system needs.

#include "AdminBase.h"
#include "ComPtr.h"

#include <string>
#include <vector>

namespace metabase {

// Creates the admin base object of this machine through its registration; null when it is
// not registered or cannot be loaded. COM must be initialised.
CComPtr<IMetabaseAdmin> CreateAdminBase();

// An open key of the admin base object, closed (and, for a write handle, stored) on
// destruction or Close.
class CMetabaseKey {
public:
    explicit CMetabaseKey(IMetabaseAdmin* admin) : m_admin(admin) {}
    ~CMetabaseKey() { (void)Close(); }
    CMetabaseKey(const CMetabaseKey&) = delete;
    CMetabaseKey& operator=(const CMetabaseKey&) = delete;

    HRESULT Open(const std::string& path, bool write, DWORD timeoutMs);
    HRESULT Close();
    bool IsOpen() const { return m_handle != 0; }
    METADATA_HANDLE Get() const { return m_handle; }

    // Typed reads of a property of the key at `path` below this one; false when it is
    // missing or of another type.
    bool GetString(const std::string& path, DWORD id, std::string& value) const;
    bool GetDword(const std::string& path, DWORD id, DWORD& value) const;
    HRESULT SetString(const std::string& path, DWORD id, const std::string& value,
                      DWORD userType = IIS_MD_UT_FILE);
    HRESULT SetDword(const std::string& path, DWORD id, DWORD value,
                     DWORD userType = IIS_MD_UT_FILE);
    // MD_ERROR_DATA_NOT_FOUND when the key has no such property.
    HRESULT DeleteData(const std::string& path, DWORD id);
    // The names of the keys right below `path`.
    std::vector<std::string> Children(const std::string& path) const;

private:
    IMetabaseAdmin* m_admin;
    METADATA_HANDLE m_handle = 0;
};

// Web applications, as the web server's application administration object makes them: an
// application at a key is its properties MD_APP_ROOT (the key's full path, "/LM/...") and
// MD_APP_ISOLATED (0: runs in the server's own process). nginx runs no application code of
// its own, so these are kept for whoever asks, and removed with the application.
HRESULT CreateApplication(IMetabaseAdmin* admin, const std::string& path, bool inProcess,
                          DWORD timeoutMs = 1000);
// Removes the application at `path` and, when `recursive`, every one below it. S_OK also when
// there was none; a missing key fails.
HRESULT DeleteApplication(IMetabaseAdmin* admin, const std::string& path, bool recursive,
                          DWORD timeoutMs = 1000);

// One instance of a service ("/LM/W3SVC/<number>").
struct CServerInstance {
    unsigned number = 0;
    std::string comment;  // its descriptive name
    std::string bindings; // "address:port:" (first binding)
};

// The service's instances 1, 2, ... up to the first number without a descriptive name.
std::vector<CServerInstance> ListInstances(IMetabaseAdmin* admin, const std::string& service,
                                           DWORD timeoutMs = 1000);

} // namespace metabase
