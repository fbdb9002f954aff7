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
    // The names of the keys right below `path`.
    std::vector<std::string> Children(const std::string& path) const;

private:
    IMetabaseAdmin* m_admin;
    METADATA_HANDLE m_handle = 0;
};

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
