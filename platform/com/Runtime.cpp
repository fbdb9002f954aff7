// Thread initialisation and creation of registered classes.

#include "Com.h"

#include "Registry.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <string>
#include <strings.h>
#include <unistd.h>

namespace {

// ---- Threads ----

struct CThreadState {
    unsigned count = 0;
    DWORD mode = 0;
    ~CThreadState();
};

std::mutex g_threadsMutex;
unsigned g_initialisedThreads = 0;
unsigned g_multithreadedThreads = 0;

thread_local CThreadState t_thread;

void ThreadLeft(DWORD mode) {
    bool last = false;
    {
        std::lock_guard lock(g_threadsMutex);
        --g_initialisedThreads;
        if (!(mode & COINIT_APARTMENTTHREADED)) {
            --g_multithreadedThreads;
        }
        last = g_initialisedThreads == 0;
    }
    if (last) {
        CoFreeUnusedLibraries();
    }
}

// A thread that ends without balancing its calls still leaves the process's count.
CThreadState::~CThreadState() {
    if (count > 0) {
        count = 0;
        std::lock_guard lock(g_threadsMutex);
        --g_initialisedThreads;
        if (!(mode & COINIT_APARTMENTTHREADED)) {
            --g_multithreadedThreads;
        }
    }
}

// Creation needs an initialised thread, or a multithreaded one anywhere in the process
// (whose apartment every thread may use).
bool CanCreate() {
    if (t_thread.count > 0) {
        return true;
    }
    std::lock_guard lock(g_threadsMutex);
    return g_multithreadedThreads > 0;
}

// ---- Loaded server libraries ----

struct CLibrary {
    void* handle = nullptr;
    PFN_DLLGETCLASSOBJECT getClassObject = nullptr;
    PFN_DLLCANUNLOADNOW canUnloadNow = nullptr;
};

// Recursive: a server may create other classes while it hands out a class object.
std::recursive_mutex g_librariesMutex;
std::map<std::string, CLibrary> g_libraries;

// ---- Registry look-ups ----

bool ReadDefaultString(HKEY root, const std::string& subKey, std::string& value, DWORD* type) {
    CRegKey key;
    if (key.Open(root, subKey.c_str(), KEY_READ) != ERROR_SUCCESS) {
        return false;
    }
    DWORD storedType = 0;
    ULONG size = 0;
    if (key.QueryValue(nullptr, &storedType, nullptr, &size) != ERROR_SUCCESS ||
        (storedType != REG_SZ && storedType != REG_EXPAND_SZ)) {
        return false;
    }
    std::string data(size, '\0');
    if (key.QueryValue(nullptr, &storedType, data.data(), &size) != ERROR_SUCCESS) {
        return false;
    }
    data.resize(size);
    while (!data.empty() && data.back() == '\0') {
        data.pop_back();
    }
    value = data;
    if (type) {
        *type = storedType;
    }
    return true;
}

// %NAME% is replaced by the environment variable's value (kept as written when unset).
std::string ExpandEnvironment(const std::string& text) {
    std::string result;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t open = text.find('%', pos);
        if (open == std::string::npos) {
            break;
        }
        const std::size_t close = text.find('%', open + 1);
        if (close == std::string::npos) {
            break;
        }
        result.append(text, pos, open - pos);
        const std::string name = text.substr(open + 1, close - open - 1);
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (value) {
            result += value;
        } else {
            result.append(text, open, close - open + 1);
        }
        pos = close + 1;
    }
    result.append(text, pos, std::string::npos);
    return result;
}

bool IsLocalMachine(const char* name) {
    if (!name || !*name) {
        return true;
    }
    while (*name == '\\') {
        ++name;
    }
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return strcasecmp(name, ".") == 0 || strcasecmp(name, "localhost") == 0 ||
           strcmp(name, "127.0.0.1") == 0 || strcasecmp(name, host) == 0;
}

// The class of a ProgID: the current version's class when "CurVer" names one, else its
// own "CLSID". A ProgID is one key name: a backslash would reach into another key.
HRESULT ResolveProgID(const std::string& progId, int depth, CLSID& clsid) {
    if (depth > 8 || progId.empty() || progId.find('\\') != std::string::npos) {
        return CO_E_CLASSSTRING;
    }
    CRegKey key;
    if (key.Open(HKEY_CLASSES_ROOT, progId.c_str(), KEY_READ) != ERROR_SUCCESS) {
        return CO_E_CLASSSTRING;
    }
    std::string current;
    if (ReadDefaultString(HKEY_CLASSES_ROOT, progId + "\\CurVer", current, nullptr) &&
        !current.empty() && strcasecmp(current.c_str(), progId.c_str()) != 0 &&
        SUCCEEDED(ResolveProgID(current, depth + 1, clsid))) {
        return S_OK;
    }
    std::string text;
    if (ReadDefaultString(HKEY_CLASSES_ROOT, progId + "\\CLSID", text, nullptr) &&
        GuidFromString(text, clsid)) {
        return S_OK;
    }
    return CO_E_CLASSSTRING;
}

} // namespace

// ---- Threads ----

HRESULT CoInitialize(void* pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(void*, DWORD dwCoInit) {
    const DWORD mode = dwCoInit & COINIT_APARTMENTTHREADED;
    if (t_thread.count > 0) {
        if (t_thread.mode != mode) {
            return RPC_E_CHANGED_MODE;
        }
        ++t_thread.count;
        return S_FALSE;
    }
    t_thread.count = 1;
    t_thread.mode = mode;
    std::lock_guard lock(g_threadsMutex);
    ++g_initialisedThreads;
    if (!(mode & COINIT_APARTMENTTHREADED)) {
        ++g_multithreadedThreads;
    }
    return S_OK;
}

void CoUninitialize() {
    if (t_thread.count == 0) {
        return;
    }
    if (--t_thread.count == 0) {
        ThreadLeft(t_thread.mode);
    }
}

// ---- Creation ----

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (!lpszProgID || !lpclsid) {
        return E_INVALIDARG;
    }
    return ResolveProgID(lpszProgID, 0, *lpclsid);
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID) {
    if (!lplpszProgID) {
        return E_INVALIDARG;
    }
    *lplpszProgID = nullptr;
    std::string progId;
    if (!ReadDefaultString(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(clsid) + "\\ProgID", progId,
                           nullptr)) {
        return REGDB_E_CLASSNOTREG;
    }
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(progId.size() + 1));
    if (!copy) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(copy, progId.c_str(), progId.size() + 1);
    *lplpszProgID = copy;
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, COSERVERINFO* pServerInfo,
                         REFIID riid, void** ppv) {
    if (!ppv) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    if (!CanCreate()) {
        return CO_E_NOTINITIALIZED;
    }
    if (pServerInfo && !IsLocalMachine(pServerInfo->pwszName)) {
        return RPC_E_SERVER_UNAVAILABLE;
    }
    if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_REMOTE_SERVER))) {
        return REGDB_E_CLASSNOTREG;
    }
    const std::string clsidKey = "CLSID\\" + GuidToString(rclsid);
    std::string path;
    DWORD type = 0;
    if (!ReadDefaultString(HKEY_CLASSES_ROOT, clsidKey + "\\InprocServer32", path, &type) ||
        path.empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    if (type == REG_EXPAND_SZ) {
        path = ExpandEnvironment(path);
    }

    std::lock_guard lock(g_librariesMutex);
    auto found = g_libraries.find(path);
    if (found == g_libraries.end()) {
        CLibrary library;
        library.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library.handle) {
            return CO_E_DLLNOTFOUND;
        }
        library.getClassObject =
            reinterpret_cast<PFN_DLLGETCLASSOBJECT>(dlsym(library.handle, "DllGetClassObject"));
        library.canUnloadNow =
            reinterpret_cast<PFN_DLLCANUNLOADNOW>(dlsym(library.handle, "DllCanUnloadNow"));
        if (!library.getClassObject) {
            dlclose(library.handle);
            return CO_E_ERRORINDLL;
        }
        found = g_libraries.emplace(path, library).first;
    }
    return found->second.getClassObject(rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    if (!factory) {
        return E_UNEXPECTED;
    }
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr)) {
        *ppv = nullptr;
    }
    return hr;
}

HRESULT CoCreateInstanceEx(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsCtx,
                           COSERVERINFO* pServerInfo, DWORD dwCount, MULTI_QI* pResults) {
    if (dwCount == 0 || !pResults) {
        return E_INVALIDARG;
    }
    for (DWORD i = 0; i < dwCount; ++i) {
        if (!pResults[i].pIID) {
            return E_INVALIDARG;
        }
        pResults[i].pItf = nullptr;
        pResults[i].hr = E_NOINTERFACE;
    }
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsCtx, pServerInfo, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        for (DWORD i = 0; i < dwCount; ++i) {
            pResults[i].hr = hr;
        }
        return hr;
    }
    IUnknown* object = nullptr;
    hr = factory->CreateInstance(pUnkOuter, *pResults[0].pIID, reinterpret_cast<void**>(&object));
    factory->Release();
    if (FAILED(hr)) {
        for (DWORD i = 0; i < dwCount; ++i) {
            pResults[i].hr = hr;
        }
        return hr;
    }
    DWORD found = 0;
    for (DWORD i = 0; i < dwCount; ++i) {
        void* itf = nullptr;
        pResults[i].hr = object->QueryInterface(*pResults[i].pIID, &itf);
        if (SUCCEEDED(pResults[i].hr)) {
            pResults[i].pItf = static_cast<IUnknown*>(itf);
            ++found;
        }
    }
    object->Release();
    if (found == dwCount) {
        return S_OK;
    }
    return found > 0 ? CO_S_NOTALLINTERFACES : E_NOINTERFACE;
}

void CoFreeUnusedLibraries() {
    std::lock_guard lock(g_librariesMutex);
    for (auto it = g_libraries.begin(); it != g_libraries.end();) {
        CLibrary& library = it->second;
        if (library.canUnloadNow && library.canUnloadNow() == S_OK) {
            dlclose(library.handle);
            it = g_libraries.erase(it);
        } else {
            ++it;
        }
    }
}

void* CoTaskMemAlloc(std::size_t cb) {
    return std::malloc(cb ? cb : 1);
}

void CoTaskMemFree(void* pv) {
    std::free(pv);
}
