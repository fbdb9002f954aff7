#include "IISRegistryManager.h"

#include "Registry.h"

#include <charconv>

struct CIISRegistryManager::CConnection {
    CRegKey machine;
};

namespace {

constexpr char ANONYMOUS_USER_NAME[] = "AnonymousUserName";

// A string value's text, whether or not it was stored with its NUL.
bool QueryText(HKEY key, const std::string& name, std::string& text) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueEx(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    std::string data(size, '\0');
    if (RegQueryValueEx(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                        &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    data.resize(size);
    text = data.substr(0, data.find('\0'));
    return true;
}

} // namespace

std::string CIISRegistryManager::VirtualRootsKey(const std::string& serviceName) {
    return "System\\CurrentControlSet\\Services\\" + serviceName + "\\Parameters\\Virtual Roots";
}

std::string CIISRegistryManager::ParametersKey(const std::string& serviceName) {
    return "System\\CurrentControlSet\\Services\\" + serviceName + "\\Parameters";
}

void CIISRegistryManager::ParseRootData(const std::string& data, std::string& path,
                                        unsigned& permissions) {
    permissions = 0;
    const std::size_t last = data.rfind(',');
    const std::size_t second =
        last == std::string::npos || last == 0 ? std::string::npos : data.rfind(',', last - 1);
    if (second == std::string::npos) {
        path = data.substr(0, data.find(','));
        return;
    }
    path = data.substr(0, second);
    const char* first = data.data() + last + 1;
    const char* end = data.data() + data.size();
    while (first < end && *first == ' ') {
        ++first;
    }
    unsigned value = 0;
    if (std::from_chars(first, end, value).ec == std::errc()) {
        permissions = value;
    }
}

CIISRegistryManager::CIISRegistryManager(const std::string& serviceName,
                                         const std::string& machineName)
    : CIISManagerBase(serviceName, machineName), m_connection(std::make_unique<CConnection>()) {
    HKEY machine = nullptr;
    const LONG result = RegConnectRegistry(machineName.empty() ? nullptr : machineName.c_str(),
                                           HKEY_LOCAL_MACHINE, &machine);
    if (result != ERROR_SUCCESS) {
        throw CIISInitException("cannot connect to the registry of " + machineName + ": " +
                                RegGetErrorText(result));
    }
    m_connection->machine.Attach(machine);
}

CIISRegistryManager::~CIISRegistryManager() = default;

bool CIISRegistryManager::AddRoot(const std::string& alias, const std::string& path,
                                  unsigned permissions) {
    CRegKey key;
    if (key.Create(m_connection->machine, VirtualRootsKey(GetServiceName()).c_str(), KEY_WRITE) !=
        ERROR_SUCCESS) {
        return false;
    }
    const std::string data = path + ",," + std::to_string(permissions);
    // Stored without its NUL, as the services write it.
    return RegSetValueEx(key, alias.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool CIISRegistryManager::DeleteRoot(const std::string& alias) {
    CRegKey key;
    if (key.Open(m_connection->machine, VirtualRootsKey(GetServiceName()).c_str(), KEY_WRITE) !=
        ERROR_SUCCESS) {
        return false;
    }
    return RegDeleteValue(key, alias.c_str()) == ERROR_SUCCESS ||
           RegDeleteValue(key, (alias + ",").c_str()) == ERROR_SUCCESS;
}

bool CIISRegistryManager::UpdateRoot(const std::string& alias, const std::string& path,
                                     unsigned permissions) {
    return DeleteRoot(alias) && AddRoot(alias, path, permissions);
}

bool CIISRegistryManager::GetRoot(const std::string& alias, std::string& path,
                                  unsigned& permissions) {
    CRegKey key;
    if (key.Open(m_connection->machine, VirtualRootsKey(GetServiceName()).c_str(), KEY_READ) !=
        ERROR_SUCCESS) {
        return false;
    }
    std::string data;
    if (!QueryText(key, alias, data) &&
        (alias.empty() || alias.back() == ',' || !QueryText(key, alias + ",", data))) {
        return false;
    }
    ParseRootData(data, path, permissions);
    return true;
}

std::vector<CVirtualRoot> CIISRegistryManager::ListRoots() {
    return ListRootsOf(m_connection->machine, GetServiceName());
}

std::vector<CVirtualRoot> CIISRegistryManager::ListServiceRoots(const std::string& serviceName) {
    return ListRootsOf(HKEY_LOCAL_MACHINE, serviceName);
}

std::vector<CVirtualRoot> CIISRegistryManager::ListRootsOf(HKEY machine,
                                                           const std::string& serviceName) {
    std::vector<CVirtualRoot> roots;
    CRegKey key;
    if (key.Open(machine, VirtualRootsKey(serviceName).c_str(), KEY_READ) != ERROR_SUCCESS) {
        return roots;
    }
    std::string name(REG_MAX_VALUE_NAME + 1, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD type = REG_NONE;
        if (RegEnumValue(key, index, name.data(), &nameLength, nullptr, &type, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        const std::string valueName(name.data(), nameLength);
        const std::size_t comma = valueName.find(',');
        if (type != REG_SZ || (comma != std::string::npos && comma + 1 < valueName.size())) {
            continue; // not a root, or one bound to a host address
        }
        std::string data;
        if (!QueryText(key, valueName, data)) {
            continue;
        }
        CVirtualRoot root;
        root.alias = valueName.substr(0, comma);
        ParseRootData(data, root.path, root.permissions);
        roots.push_back(std::move(root));
    }
    return roots;
}

bool CIISRegistryManager::FindParentRoot(const std::string& alias, std::string& rootName,
                                         std::string* rootPath) {
    return FindParentRootIn(ListRoots(), alias, rootName, rootPath);
}

bool CIISRegistryManager::AliasForPath(const std::string& path, std::string& alias) {
    return AliasForPathIn(ListRoots(), path, alias);
}

std::string CIISRegistryManager::GetAnonymousUser() {
    CRegKey key;
    std::string user;
    if (key.Open(m_connection->machine, ParametersKey(GetServiceName()).c_str(), KEY_READ) ==
            ERROR_SUCCESS &&
        QueryText(key, ANONYMOUS_USER_NAME, user)) {
        return user;
    }
    return {};
}

std::unique_ptr<CIISManagerBase> ConnectRegistryManager(const std::string& serviceName) {
    try {
        return std::make_unique<CIISRegistryManager>(serviceName);
    } catch (const CIISInitException&) {
        return nullptr;
    }
}
