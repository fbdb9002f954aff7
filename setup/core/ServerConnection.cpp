#include "ServerConnection.h"

#include "AccessList.h"
#include "IISMetabaseManager.h"
#include "IISRegistryManager.h"
#include "Metabase.h"
#include "Services.h"
#include "Settings.h"

namespace {

class CMetabaseAdminBase : public IAdminBase {
public:
    explicit CMetabaseAdminBase(CComPtr<IMetabaseAdmin> admin) : m_admin(std::move(admin)) {}

    std::vector<std::string> ListServers(const std::string& service) override {
        std::vector<std::string> names;
        for (const metabase::CServerInstance& instance :
             metabase::ListInstances(m_admin, service)) {
            names.push_back(instance.comment);
        }
        return names;
    }

    std::unique_ptr<CIISManagerBase> Connect(const std::string& service,
                                             const std::string& name) override {
        return std::make_unique<CIISMetabaseManager>(service, name, m_admin);
    }

private:
    CComPtr<IMetabaseAdmin> m_admin;
};

std::unique_ptr<CIISManagerBase> TryConnect(IAdminBase& admin, const std::string& service,
                                            std::string name, std::string& error) {
    if (name.empty()) {
        const std::vector<std::string> servers = admin.ListServers(service);
        if (servers.size() != 1) {
            error = servers.empty() ? "the metabase has no " + service + " instance"
                                    : "several " + service +
                                          " instances: choose one with "
                                          "dorvale config set WebServerName NAME";
            return nullptr;
        }
        name = servers.front();
    }
    try {
        return admin.Connect(service, name);
    } catch (const CIISInitException& e) {
        error = e.what();
        return nullptr;
    }
}

} // namespace

std::unique_ptr<IAdminBase> CreateMetabaseAdminBase() {
    CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
    if (!admin) {
        return nullptr;
    }
    return std::make_unique<CMetabaseAdminBase>(std::move(admin));
}

AdminBaseFactory MetabaseAdminBaseFactory() {
    return [] { return CreateMetabaseAdminBase(); };
}

bool CSystemServiceControl::IsRunning(const std::string& service) {
    return services::IsServiceRunning(service);
}

bool CSystemServiceControl::Restart(const std::string& service) {
    std::string error;
    return services::RestartService(service, error);
}

AnonymousAccessSetter SystemAccessSetter() {
    return [](const std::string& path, const std::string& account, EAnonymousAccess access) {
        std::string error;
        (void)services::SetDirectoryAccess(
            path, account,
            access == EAnonymousAccess::Change ? services::EDirectoryAccess::Change
            : access == EAnonymousAccess::Read ? services::EDirectoryAccess::Read
                                               : services::EDirectoryAccess::None,
            error);
    };
}

void ConnectServerManagers(std::unique_ptr<CIISManagerBase>& web,
                           std::unique_ptr<CIISManagerBase>& ftp, std::string& error) {
    std::unique_ptr<IAdminBase> admin = CreateMetabaseAdminBase();
    if (!admin) {
        web = ConnectRegistryManager(WEB_SERVICE_NAME);
        ftp = ConnectRegistryManager(FTP_SERVICE_NAME);
        return;
    }
    std::string webName;
    std::string ftpName;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::WebServerName, webName);
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::FtpServerName, ftpName);
    web = TryConnect(*admin, WEB_SERVICE_NAME, webName, error);
    std::string ignored;
    ftp = ftpName.empty() ? nullptr : TryConnect(*admin, FTP_SERVICE_NAME, ftpName, ignored);
}
