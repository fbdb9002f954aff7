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

std::vector<std::string> CMetabaseKey::Children(const std::string& path) const {
    std::vector<std::string> names;
    char name[METADATA_MAX_NAME_LEN];
    for (DWORD index = 0; SUCCEEDED(m_admin->EnumKeys(m_handle, path.c_str(), name, index));
         ++index) {
        names.emplace_back(name);
    }
    return names;
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
