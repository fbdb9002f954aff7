#include "IISMetabaseManager.h"

#include "Publishing.h"
#include "Services.h"

namespace {

// "/pub/new" as a key below ROOT: "pub/new"; the root itself is "".
std::string KeyOf(const std::string& alias) {
    std::size_t start = alias.find_first_not_of('/');
    return start == std::string::npos ? std::string() : alias.substr(start);
}

void Walk(const metabase::CMetabaseKey& key, const std::string& path, const std::string& alias,
          std::vector<CVirtualRoot>& roots) {
    CVirtualRoot root;
    if (key.GetString(path, MD_VR_PATH, root.path)) {
        DWORD permissions = 0;
        key.GetDword(path, MD_ACCESS_PERM, permissions);
        root.alias = alias.empty() ? "/" : alias;
        root.permissions = permissions;
        roots.push_back(root);
    }
    for (const std::string& child : key.Children(path)) {
        Walk(key, path.empty() ? child : path + "/" + child, alias + "/" + child, roots);
    }
}

} // namespace

CIISMetabaseManager::CIISMetabaseManager(const std::string& serviceName,
                                         const std::string& serverName, IMetabaseAdmin* admin)
    : CIISManagerBase(serviceName, {}), m_admin(admin), m_serverName(serverName) {
    if (admin == nullptr) {
        throw CIISInitException("the web server's admin base object cannot be created");
    }
    for (const metabase::CServerInstance& instance : metabase::ListInstances(admin, serviceName)) {
        if (instance.comment == serverName) {
            m_instance = instance.number;
            return;
        }
    }
    throw CIISInitException("no " + serviceName + " instance is named \"" + serverName + "\"");
}

std::string CIISMetabaseManager::RootKeyOf(const std::string& serviceName, unsigned instance) {
    return "/LM/" + serviceName + "/" + std::to_string(instance) + "/ROOT";
}

std::string CIISMetabaseManager::RootKey() const {
    return RootKeyOf(GetServiceName(), m_instance);
}

bool CIISMetabaseManager::WriteRoot(const std::string& key, bool present, const std::string& path,
                                    unsigned permissions) {
    metabase::CMetabaseKey root(m_admin);
    if (FAILED(root.Open(RootKey(), true, OPEN_TIMEOUT_MS))) {
        m_lastError = "the metabase key " + RootKey() + " cannot be opened for writing";
        return false;
    }
    if (!present) {
        return SUCCEEDED(m_admin->DeleteKey(root.Get(), key.c_str())) && SUCCEEDED(root.Close());
    }
    if (!key.empty()) {
        const HRESULT added = m_admin->AddKey(root.Get(), key.c_str());
        if (FAILED(added) && added != METABASE_E_ALREADY_EXISTS) {
            return false;
        }
    }
    return SUCCEEDED(root.SetString(key, MD_VR_PATH, path)) &&
           SUCCEEDED(root.SetDword(key, MD_ACCESS_PERM, permissions)) && SUCCEEDED(root.Close());
}

bool CIISMetabaseManager::ChangeRoot(const std::string& alias, bool present,
                                     const std::string& path, unsigned permissions,
                                     bool mustExist) {
    m_lastError.clear();
    const std::string key = KeyOf(alias);
    if (present) {
        std::string resolved;
        std::string why;
        if (!services::CheckPublishable(path, resolved, why)) {
            m_lastError = "the directory " + path + " cannot be published as " + alias + ": " + why;
            return false;
        }
    }
    // What was there, to put back if the server refuses the change.
    std::string oldPath;
    unsigned oldPermissions = 0;
    const bool existed = GetRoot(alias, oldPath, oldPermissions);
    if (mustExist && !existed) {
        return false;
    }
    if (!WriteRoot(key, present, path, permissions)) {
        return false;
    }
    std::string error;
    if (services::IsServiceRunning(GetServiceName()) &&
        !services::ReloadService(GetServiceName(), error)) {
        m_lastError = error;
        if (existed) {
            WriteRoot(key, true, oldPath, oldPermissions);
        } else if (present) {
            WriteRoot(key, false, {}, 0);
        }
        return false;
    }
    return true;
}

bool CIISMetabaseManager::AddRoot(const std::string& alias, const std::string& path,
                                  unsigned permissions) {
    return ChangeRoot(alias, true, path, permissions, false);
}

bool CIISMetabaseManager::DeleteRoot(const std::string& alias) {
    return !KeyOf(alias).empty() && ChangeRoot(alias, false, {}, 0, true);
}

bool CIISMetabaseManager::UpdateRoot(const std::string& alias, const std::string& path,
                                     unsigned permissions) {
    return ChangeRoot(alias, true, path, permissions, true);
}

bool CIISMetabaseManager::GetRoot(const std::string& alias, std::string& path,
                                  unsigned& permissions) {
    metabase::CMetabaseKey root(m_admin);
    if (FAILED(root.Open(RootKey(), false, OPEN_TIMEOUT_MS))) {
        return false;
    }
    const std::string key = KeyOf(alias);
    DWORD access = 0;
    if (!root.GetString(key, MD_VR_PATH, path)) {
        return false;
    }
    root.GetDword(key, MD_ACCESS_PERM, access);
    permissions = access;
    return true;
}

std::vector<CVirtualRoot> CIISMetabaseManager::ListRoots() {
    return ListInstanceRoots(m_admin, GetServiceName(), m_instance);
}

std::vector<CVirtualRoot> CIISMetabaseManager::ListInstanceRoots(IMetabaseAdmin* admin,
                                                                 const std::string& serviceName,
                                                                 unsigned instance,
                                                                 DWORD timeoutMs) {
    std::vector<CVirtualRoot> roots;
    metabase::CMetabaseKey root(admin);
    if (SUCCEEDED(root.Open(RootKeyOf(serviceName, instance), false, timeoutMs))) {
        Walk(root, "", "", roots);
    }
    return roots;
}

bool CIISMetabaseManager::FindParentRoot(const std::string& alias, std::string& rootName,
                                         std::string* rootPath) {
    return FindParentRootIn(ListRoots(), alias, rootName, rootPath);
}

bool CIISMetabaseManager::AliasForPath(const std::string& path, std::string& alias) {
    return AliasForPathIn(ListRoots(), path, alias);
}

std::string CIISMetabaseManager::GetAnonymousUser() {
    metabase::CMetabaseKey service(m_admin);
    std::string user;
    if (SUCCEEDED(service.Open("/LM/" + GetServiceName() + "/", false, OPEN_TIMEOUT_MS))) {
        service.GetString("", MD_ANONYMOUS_USER_NAME, user);
    }
    return user;
}

bool CIISMetabaseManager::SetContentIndexed(const std::string& alias, bool indexed) {
    metabase::CMetabaseKey root(m_admin);
    return SUCCEEDED(root.Open(RootKey(), true, OPEN_TIMEOUT_MS)) &&
           SUCCEEDED(root.SetDword(KeyOf(alias), MD_IS_CONTENT_INDEXED, indexed ? 1 : 0)) &&
           SUCCEEDED(root.Close());
}
