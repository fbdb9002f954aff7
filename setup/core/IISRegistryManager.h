#pragma once
// Virtual roots kept in the services' registry keys: one value per root under
// "System\CurrentControlSet\Services\<service>\Parameters\Virtual Roots", named by the alias
// (optionally followed by a comma and a host address) and holding "path,account,permissions".

#include "IISManager.h"
#include "Registry.h"

#include <memory>

class CIISRegistryManager : public CIISManagerBase {
public:
    // Connects to the machine's registry (empty: this machine); throws CIISInitException
    // when that fails.
    CIISRegistryManager(const std::string& serviceName, const std::string& machineName = {});
    ~CIISRegistryManager() override;

    bool AddRoot(const std::string& alias, const std::string& path, unsigned permissions) override;
    bool DeleteRoot(const std::string& alias) override;
    bool UpdateRoot(const std::string& alias, const std::string& path,
                    unsigned permissions) override;
    bool FindParentRoot(const std::string& alias, std::string& rootName,
                        std::string* rootPath = nullptr) override;
    bool AliasForPath(const std::string& path, std::string& alias) override;
    bool GetRoot(const std::string& alias, std::string& path, unsigned& permissions) override;
    std::string GetAnonymousUser() override;
    int ServerKind() const override { return SERVER_KIND_REGISTRY; }

    // The key of the service's virtual roots, below HKEY_LOCAL_MACHINE.
    static std::string VirtualRootsKey(const std::string& serviceName);
    // The service's parameters key, which holds AnonymousUserName.
    static std::string ParametersKey(const std::string& serviceName);
    // Splits a root's data into its directory and permissions. The account and the
    // permissions are the last two fields, so a directory holding commas survives; data
    // with fewer than three fields has permissions 0.
    static void ParseRootData(const std::string& data, std::string& path, unsigned& permissions);
    // Every root of the service on this machine whose name carries no host address: what the
    // service publishes when it starts.
    static std::vector<CVirtualRoot> ListServiceRoots(const std::string& serviceName);

private:
    // Every root whose name carries no host address.
    std::vector<CVirtualRoot> ListRoots();
    static std::vector<CVirtualRoot> ListRootsOf(HKEY machine, const std::string& serviceName);

    struct CConnection;
    std::unique_ptr<CConnection> m_connection;
};

// A registry-kind manager of this machine for the service, or null when the registry cannot
// be reached.
std::unique_ptr<CIISManagerBase> ConnectRegistryManager(const std::string& serviceName);
