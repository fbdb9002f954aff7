#include "Metabase.h"
#include "Com.h"

namespace metabase {

CComPtr<IMetabaseAdmin> CreateAdminBase() {
    CComPtr<IMetabaseAdmin> admin;
    CLSID clsid{};
    if (FAILED(CLSIDFromProgID(METABASE_PROGID, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IMetabaseAdmin,
                                reinterpret_cast<void**>(&admin)))) {
        return {};
    }
    return admin;
}

HRESULT CMetabaseKey::Open(const std::string& path, bool write, DWORD timeoutMs) {
    (void)Close();
    const DWORD access =
        write ? METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE : METADATA_PERMISSION_READ;
    return m_admin->OpenKey(METADATA_MASTER_ROOT_HANDLE, path.c_str(), access, timeoutMs,
                            &m_handle);
}

HRESULT CMetabaseKey::Close() {
    if (m_handle == 0) {
        return S_OK;
    }
    const HRESULT hr = m_admin->CloseKey(m_handle);
    m_handle = 0;
    return hr;
}

bool CMetabaseKey::GetString(const std::string& path, DWORD id, std::string& value) const {
    CProperty property;
    if (FAILED(m_admin->GetData(m_handle, path.c_str(), id, &property)) ||
        (property.dataType != STRING_METADATA && property.dataType != EXPANDSZ_METADATA &&
         property.dataType != MULTISZ_METADATA)) {
        return false;
    }
    value = property.bytes;
    if (property.dataType == MULTISZ_METADATA) {
        value = value.substr(0, value.find('\0')); // the first of the texts
    }
    return true;
}

bool CMetabaseKey::GetDword(const std::string& path, DWORD id, DWORD& value) const {
    CProperty property;
    std::uint32_t number = 0;
    if (FAILED(m_admin->GetData(m_handle, path.c_str(), id, &property)) ||
        !DwordOf(property, number)) {
        return false;
    }
    value = number;
    return true;
}

HRESULT CMetabaseKey::SetString(const std::string& path, DWORD id, const std::string& value,
                                DWORD userType) {
    const CProperty property = MakeString(id, value, METADATA_INHERIT, userType);
    return m_admin->SetData(m_handle, path.c_str(), &property);
}

HRESULT CMetabaseKey::SetDword(const std::string& path, DWORD id, DWORD value, DWORD userType) {
    const CProperty property = MakeDword(id, value, METADATA_INHERIT, userType);
    return m_admin->SetData(m_handle, path.c_str(), &property);
}

HRESULT CMetabaseKey::DeleteData(const std::string& path, DWORD id) {
    return m_admin->DeleteData(m_handle, path.c_str(), id);
}

std::vector<std::string> CMetabaseKey::Children(const std::string& path) const {
    std::vector<std::string> names;
    char name[METADATA_MAX_NAME_LEN];
    for (DWORD index = 0; SUCCEEDED(m_admin->EnumKeys(m_handle, path.c_str(), name, index));
         ++index) {
        names.emplace_back(name);
    }
    return names;
}

HRESULT CreateApplication(IMetabaseAdmin* admin, const std::string& path, bool inProcess,
                          DWORD timeoutMs) {
    CMetabaseKey key(admin);
    HRESULT hr = key.Open(path, true, timeoutMs);
    if (SUCCEEDED(hr)) {
        hr = key.SetString("", MD_APP_ROOT, path, IIS_MD_UT_SERVER);
    }
    if (SUCCEEDED(hr)) {
        hr = key.SetDword("", MD_APP_ISOLATED, inProcess ? 0 : 1, IIS_MD_UT_SERVER);
    }
    const HRESULT closed = key.Close();
    return FAILED(hr) ? hr : closed;
}

namespace {

HRESULT RemoveApplicationData(CMetabaseKey& key, const std::string& path, bool recursive) {
    for (DWORD id : {MD_APP_ROOT, MD_APP_ISOLATED}) {
        const HRESULT hr = key.DeleteData(path, id);
        if (FAILED(hr) && hr != MD_ERROR_DATA_NOT_FOUND) {
            return hr;
        }
    }
    if (recursive) {
        for (const std::string& child : key.Children(path)) {
            const HRESULT hr =
                RemoveApplicationData(key, path.empty() ? child : path + "/" + child, true);
            if (FAILED(hr)) {
                return hr;
            }
        }
    }
    return S_OK;
}

} // namespace

HRESULT DeleteApplication(IMetabaseAdmin* admin, const std::string& path, bool recursive,
                          DWORD timeoutMs) {
    CMetabaseKey key(admin);
    HRESULT hr = key.Open(path, true, timeoutMs);
    if (SUCCEEDED(hr)) {
        hr = RemoveApplicationData(key, "", recursive);
    }
    const HRESULT closed = key.Close();
    return FAILED(hr) ? hr : closed;
}

std::vector<CServerInstance> ListInstances(IMetabaseAdmin* admin, const std::string& service,
                                           DWORD timeoutMs) {
    std::vector<CServerInstance> instances;
    CMetabaseKey key(admin);
    if (FAILED(key.Open("/LM", false, timeoutMs))) {
        return instances;
    }
    for (unsigned number = 1;; ++number) {
        CServerInstance instance;
        instance.number = number;
        const std::string path = "/" + service + "/" + std::to_string(number);
        if (!key.GetString(path, MD_SERVER_COMMENT, instance.comment)) {
            break;
        }
        key.GetString(path, MD_SERVER_BINDINGS, instance.bindings);
        instances.push_back(std::move(instance));
    }
    return instances;
}

} // namespace metabase
