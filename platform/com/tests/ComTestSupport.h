#pragma once
// What tests of server libraries share: a private registry, an initialised thread, and
// registering a library the way dorvale-regsvr does.

#include "Com.h"
#include "TestSupport.h"

#include <cstdlib>
#include <dlfcn.h>
#include <string>

namespace comtest {

// A temporary directory whose "registry" subdirectory is the registry of this process
// while the object lives, and an initialised COM thread.
class CComTestEnvironment {
public:
    explicit CComTestEnvironment(DWORD coInit = COINIT_APARTMENTTHREADED) {
        const char* previous = std::getenv("DORVALE_REGISTRY");
        m_hadPrevious = previous != nullptr;
        if (previous) {
            m_previous = previous;
        }
        std::filesystem::create_directories(m_dir.Path() / "registry");
        setenv("DORVALE_REGISTRY", RegistryDir().c_str(), 1);
        m_initResult = CoInitializeEx(nullptr, coInit);
    }
    ~CComTestEnvironment() {
        if (SUCCEEDED(m_initResult)) {
            CoUninitialize();
        }
        if (m_hadPrevious) {
            setenv("DORVALE_REGISTRY", m_previous.c_str(), 1);
        } else {
            unsetenv("DORVALE_REGISTRY");
        }
    }
    CComTestEnvironment(const CComTestEnvironment&) = delete;
    CComTestEnvironment& operator=(const CComTestEnvironment&) = delete;

    const std::filesystem::path& Dir() const { return m_dir.Path(); }
    std::string RegistryDir() const { return (m_dir.Path() / "registry").string(); }
    // "DORVALE_REGISTRY=..." for programs the test starts.
    std::string RegistryEnv() const { return "DORVALE_REGISTRY=" + RegistryDir(); }
    HRESULT InitResult() const { return m_initResult; }

private:
    testsupport::CTempDir m_dir;
    std::string m_previous;
    bool m_hadPrevious = false;
    HRESULT m_initResult = E_FAIL;
};

// Loads the library, calls its DllRegisterServer (or DllUnregisterServer) and lets it go.
inline HRESULT CallRegistrationEntry(const std::string& path, bool unregister = false) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        return CO_E_DLLNOTFOUND;
    }
    auto entry = reinterpret_cast<PFN_DLLREGISTERSERVER>(
        dlsym(handle, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
    const HRESULT hr = entry ? entry() : CO_E_ERRORINDLL;
    dlclose(handle);
    return hr;
}

// Whether the library is loaded into this process now.
inline bool IsLibraryLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        return false;
    }
    dlclose(handle);
    return true;
}

} // namespace comtest
