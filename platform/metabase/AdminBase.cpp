// The admin base object's server library. One object holds a copy of the tree, read from the
// file when it opens a handle with no other handle open (the lock keeps others from changing
// the file meanwhile), changed in memory through write handles and stored when the last
// change's handle closes.
#include "AdminBase.h"
#include "Com.h"
#include "ComServer.h"
#include "MetabaseFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

namespace {

using metabase::CKeyNode;
using metabase::CProperty;

CServerModule g_module;
constexpr char SOURCE[] = "Dorvale.Metabase";

struct CHandle {
    std::vector<std::string> names;
    bool write = false;
    bool dirty = false;
    metabase::CMetabaseLock lock;
};

class CAdminBase final : public CDispatchObject<IMetabaseAdmin> {
public:
    static HRESULT CreateInstance(REFIID riid, void** ppv) {
        return ComQueryNewObject(new (std::nothrow) CAdminBase, riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE OpenKey(METADATA_HANDLE parent, const char* path, DWORD permissions,
                                      DWORD timeoutMs, METADATA_HANDLE* key) override {
        if (key == nullptr) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        std::vector<std::string> names;
        HRESULT hr = Resolve(parent, path, names);
        if (FAILED(hr)) {
            return hr;
        }
        const bool write = (permissions & METADATA_PERMISSION_WRITE) != 0;
        auto handle = std::make_unique<CHandle>();
        if (!handle->lock.Acquire(m_directory, write, timeoutMs)) {
            return errno == EBUSY ? METABASE_E_PATH_BUSY : Fail(std::strerror(errno), E_FAIL);
        }
        if (m_handles.empty()) {
            std::string error;
            if (!metabase::LoadTree(m_directory, m_tree, error)) {
                return Fail(error, METABASE_E_INVALID_DATA);
            }
        }
        if (m_tree.Find(names) == nullptr) {
            return METABASE_E_PATH_NOT_FOUND;
        }
        handle->names = std::move(names);
        handle->write = write;
        *key = ++m_lastHandle;
        m_handles[*key] = std::move(handle);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CloseKey(METADATA_HANDLE key) override {
        std::lock_guard lock(m_mutex);
        const auto found = m_handles.find(key);
        if (found == m_handles.end()) {
            return METABASE_E_INVALID_HANDLE;
        }
        const HRESULT hr = Store(*found->second);
        m_handles.erase(found);
        return hr;
    }

    HRESULT STDMETHODCALLTYPE AddKey(METADATA_HANDLE key, const char* path) override {
        std::lock_guard lock(m_mutex);
        CHandle* handle = nullptr;
        std::vector<std::string> names;
        HRESULT hr = Writable(key, path, handle, names);
        if (FAILED(hr)) {
            return hr;
        }
        if (m_tree.Find(names) != nullptr) {
            return METABASE_E_ALREADY_EXISTS;
        }
        CKeyNode* node = &m_tree.Root();
        for (const std::string& name : names) {
            node = &node->AddChild(name);
        }
        handle->dirty = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DeleteKey(METADATA_HANDLE key, const char* path) override {
        std::lock_guard lock(m_mutex);
        CHandle* handle = nullptr;
        std::vector<std::string> names;
        HRESULT hr = Writable(key, path, handle, names);
        if (FAILED(hr)) {
            return hr;
        }
        if (names.size() <= handle->names.size()) {
            return E_INVALIDARG; // not the handle's own key
        }
        const std::string last = names.back();
        names.pop_back();
        CKeyNode* parentNode = m_tree.Find(names);
        if (parentNode == nullptr || !parentNode->RemoveChild(last)) {
            return METABASE_E_PATH_NOT_FOUND;
        }
        handle->dirty = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE EnumKeys(METADATA_HANDLE key, const char* path, char* name,
                                       DWORD index) override {
        if (name == nullptr) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        CKeyNode* node = nullptr;
        HRESULT hr = Node(key, path, node);
        if (FAILED(hr)) {
            return hr;
        }
        if (index >= node->children.size()) {
            return METABASE_E_NO_MORE_ITEMS;
        }
        const std::string& child = node->children[index]->name;
        std::memcpy(name, child.c_str(), child.size() + 1);
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetData(METADATA_HANDLE key, const char* path,
                                      const CProperty* property) override {
        if (property == nullptr) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        CHandle* handle = nullptr;
        CKeyNode* node = nullptr;
        const HRESULT hr = WritableNode(key, path, handle, node);
        if (FAILED(hr)) {
            return hr;
        }
        if (property->dataType < metabase::DWORD_METADATA ||
            property->dataType > metabase::MULTISZ_METADATA ||
            (property->dataType == metabase::DWORD_METADATA && property->bytes.size() != 4) ||
            property->bytes.size() > metabase::MAX_VALUE_BYTES) {
            return E_INVALIDARG;
        }
        node->properties[property->id] = *property;
        handle->dirty = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetData(METADATA_HANDLE key, const char* path, DWORD id,
                                      CProperty* property) override {
        if (property == nullptr) {
            return E_POINTER;
        }
        std::lock_guard lock(m_mutex);
        CKeyNode* node = nullptr;
        HRESULT hr = Node(key, path, node);
        if (FAILED(hr)) {
            return hr;
        }
        const auto found = node->properties.find(id);
        if (found == node->properties.end()) {
            return MD_ERROR_DATA_NOT_FOUND;
        }
        *property = found->second;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE DeleteData(METADATA_HANDLE key, const char* path, DWORD id) override {
        std::lock_guard lock(m_mutex);
        CHandle* handle = nullptr;
        CKeyNode* node = nullptr;
        const HRESULT hr = WritableNode(key, path, handle, node);
        if (FAILED(hr)) {
            return hr;
        }
        if (node->properties.erase(id) == 0) {
            return MD_ERROR_DATA_NOT_FOUND;
        }
        handle->dirty = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SaveData() override {
        std::lock_guard lock(m_mutex);
        for (auto& [id, handle] : m_handles) {
            const HRESULT hr = Store(*handle);
            if (FAILED(hr)) {
                return hr;
            }
        }
        return S_OK;
    }

private:
    static const CDispMember MEMBERS[5];

    CAdminBase()
        : CDispatchObject(&g_module, MEMBERS), m_directory(metabase::MetabaseDirectory()) {}
    ~CAdminBase() override {
        for (auto& [id, handle] : m_handles) {
            (void)Store(*handle);
        }
    }

    HRESULT Fail(const std::string& text, HRESULT hr) {
        return ComReportError(SOURCE, text.c_str(), IID_IMetabaseAdmin, hr);
    }

    HRESULT Resolve(METADATA_HANDLE key, const char* path, std::vector<std::string>& names) {
        names.clear();
        if (key != METADATA_MASTER_ROOT_HANDLE) {
            const auto found = m_handles.find(key);
            if (found == m_handles.end()) {
                return METABASE_E_INVALID_HANDLE;
            }
            names = found->second->names;
        }
        std::vector<std::string> below;
        if (!metabase::SplitPath(path != nullptr ? path : "", below)) {
            return E_INVALIDARG;
        }
        names.insert(names.end(), below.begin(), below.end());
        return S_OK;
    }

    HRESULT Node(METADATA_HANDLE key, const char* path, CKeyNode*& node) {
        if (key == METADATA_MASTER_ROOT_HANDLE || m_handles.count(key) == 0) {
            return METABASE_E_INVALID_HANDLE;
        }
        std::vector<std::string> names;
        HRESULT hr = Resolve(key, path, names);
        if (FAILED(hr)) {
            return hr;
        }
        node = m_tree.Find(names);
        return node != nullptr ? S_OK : METABASE_E_PATH_NOT_FOUND;
    }

    HRESULT Writable(METADATA_HANDLE key, const char* path, CHandle*& handle,
                     std::vector<std::string>& names) {
        const auto found = m_handles.find(key);
        if (found == m_handles.end()) {
            return METABASE_E_INVALID_HANDLE;
        }
        if (!found->second->write) {
            return METABASE_E_ACCESS_DENIED;
        }
        handle = found->second.get();
        return Resolve(key, path, names);
    }

    // The existing key at `path` below a write handle's key.
    HRESULT WritableNode(METADATA_HANDLE key, const char* path, CHandle*& handle, CKeyNode*& node) {
        std::vector<std::string> names;
        const HRESULT hr = Writable(key, path, handle, names);
        if (FAILED(hr)) {
            return hr;
        }
        node = m_tree.Find(names);
        return node != nullptr ? S_OK : METABASE_E_PATH_NOT_FOUND;
    }

    HRESULT Store(CHandle& handle) {
        if (!handle.dirty) {
            return S_OK;
        }
        handle.dirty = false;
        std::string error;
        if (!metabase::SaveTree(m_directory, m_tree, error)) {
            // What is in memory no longer matches the file: take the file's tree again.
            std::string ignored;
            (void)metabase::LoadTree(m_directory, m_tree, ignored);
            return Fail(error, E_FAIL);
        }
        return S_OK;
    }

    std::mutex m_mutex;
    std::string m_directory;
    metabase::CTree m_tree;
    std::map<METADATA_HANDLE, std::unique_ptr<CHandle>> m_handles;
    METADATA_HANDLE m_lastHandle = 0;
};

// ---- IDispatch: the tree by absolute paths, for scripts ----

constexpr DWORD SCRIPT_TIMEOUT_MS = 2000;

std::string Text(const VARIANT& value) {
    return value.bstrVal != nullptr ? std::string(value.bstrVal, SysStringLen(value.bstrVal))
                                    : std::string();
}

// Runs `work` on a handle of the root, opened for writing when `write`.
template <class F> HRESULT WithRoot(IDispatch* self, bool write, F work) {
    auto* admin = static_cast<IMetabaseAdmin*>(self);
    METADATA_HANDLE root = 0;
    HRESULT hr = admin->OpenKey(METADATA_MASTER_ROOT_HANDLE, "/",
                                write ? METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE
                                      : METADATA_PERMISSION_READ,
                                SCRIPT_TIMEOUT_MS, &root);
    if (FAILED(hr)) {
        return hr;
    }
    hr = work(admin, root);
    const HRESULT closed = admin->CloseKey(root);
    return FAILED(hr) ? hr : closed;
}

const CDispMember CAdminBase::MEMBERS[5] = {
    {"GetData",
     1,
     DISPATCH_METHOD,
     2,
     {VT_BSTR, VT_I4},
     [](IDispatch* self, VARIANT* args, VARIANT* result) {
         return WithRoot(self, false, [&](IMetabaseAdmin* admin, METADATA_HANDLE root) {
             CProperty property;
             const HRESULT hr = admin->GetData(root, Text(args[0]).c_str(),
                                               static_cast<DWORD>(args[1].lVal), &property);
             if (FAILED(hr)) {
                 return hr;
             }
             std::uint32_t number = 0;
             if (metabase::DwordOf(property, number)) {
                 result->vt = VT_I4;
                 result->lVal = static_cast<LONG>(number);
                 return S_OK;
             }
             std::string text = property.bytes;
             if (property.dataType == metabase::MULTISZ_METADATA) {
                 while (!text.empty() && text.back() == '\0') {
                     text.pop_back();
                 }
                 std::replace(text.begin(), text.end(), '\0', '\n');
             }
             result->vt = VT_BSTR;
             result->bstrVal = SysAllocStringByteLen(text.data(), static_cast<UINT>(text.size()));
             return S_OK;
         });
     }},
    {"SetData",
     2,
     DISPATCH_METHOD,
     3,
     {VT_BSTR, VT_I4, VT_VARIANT},
     [](IDispatch* self, VARIANT* args, VARIANT*) {
         return WithRoot(self, true, [&](IMetabaseAdmin* admin, METADATA_HANDLE root) {
             const auto id = static_cast<DWORD>(args[1].lVal);
             const CProperty property =
                 args[2].vt == VT_BSTR
                     ? metabase::MakeString(id, Text(args[2]), METADATA_INHERIT, IIS_MD_UT_SERVER)
                 : args[2].vt == VT_I4
                     ? metabase::MakeDword(id, static_cast<std::uint32_t>(args[2].lVal),
                                           METADATA_INHERIT, IIS_MD_UT_SERVER)
                     : CProperty();
             return property.dataType == 0 ? DISP_E_TYPEMISMATCH
                                           : admin->SetData(root, Text(args[0]).c_str(), &property);
         });
     }},
    {"EnumKeys",
     3,
     DISPATCH_METHOD,
     2,
     {VT_BSTR, VT_I4},
     [](IDispatch* self, VARIANT* args, VARIANT* result) {
         return WithRoot(self, false, [&](IMetabaseAdmin* admin, METADATA_HANDLE root) {
             char name[METADATA_MAX_NAME_LEN];
             const HRESULT hr = admin->EnumKeys(root, Text(args[0]).c_str(), name,
                                                static_cast<DWORD>(args[1].lVal));
             if (SUCCEEDED(hr)) {
                 result->vt = VT_BSTR;
                 result->bstrVal = SysAllocStringByteLen(name, static_cast<UINT>(strlen(name)));
             }
             return hr;
         });
     }},
    {"AddKey",
     4,
     DISPATCH_METHOD,
     1,
     {VT_BSTR},
     [](IDispatch* self, VARIANT* args, VARIANT*) {
         return WithRoot(self, true, [&](IMetabaseAdmin* admin, METADATA_HANDLE root) {
             return admin->AddKey(root, Text(args[0]).c_str());
         });
     }},
    {"DeleteKey",
     5,
     DISPATCH_METHOD,
     1,
     {VT_BSTR},
     [](IDispatch* self, VARIANT* args, VARIANT*) {
         return WithRoot(self, true, [&](IMetabaseAdmin* admin, METADATA_HANDLE root) {
             return admin->DeleteKey(root, Text(args[0]).c_str());
         });
     }},
};

CClassFactory<CAdminBase> g_factory(g_module);

const CClassRegistration CLASSES[] = {
    {&CLSID_DorvaleMetabase, "Dorvale Metabase Admin Base", "Dorvale.Metabase.1", METABASE_PROGID,
     "Both", true},
};
const CInterfaceRegistration INTERFACES[] = {{&IID_IMetabaseAdmin, "IMetabaseAdmin"}};
const CTypeLibRegistration TYPE_LIB = {&LIBID_DorvaleMetabase, "1.0",
                                        "Dorvale Metabase 1.0 Type Library", INTERFACES, 1};

} // namespace

DORVALE_COM_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return ComGetClassObject(rclsid, riid, ppv, CLSID_DorvaleMetabase, g_factory);
}

DORVALE_COM_SERVER_ENTRY_POINTS(g_module, CLASSES, &TYPE_LIB)
