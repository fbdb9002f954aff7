#pragma once
// How the setup program reaches the machine's servers: the admin base object when it can be
// made (the metabase kind), the services they run as, and the access-list tool that lets the
// anonymous account into an area's directory.

#include "IISManager.h"
#include "SetupSession.h"

#include <memory>

// Makes an admin base object over this machine's metabase; null when "Dorvale.Metabase" is
// not registered or cannot be loaded. COM must be initialised.
std::unique_ptr<IAdminBase> CreateMetabaseAdminBase();

// The factory the setup program starts with.
AdminBaseFactory MetabaseAdminBaseFactory();

// The web and FTP services as the system runs them (see platform/services).
class CSystemServiceControl : public IServiceControl {
public:
    bool IsRunning(const std::string& service) override;
    bool Restart(const std::string& service) override;
};

// Sets the anonymous account's access to an area's directory with setfacl.
AnonymousAccessSetter SystemAccessSetter();

// For programs without dialogs: the metabase kind's managers for WebServerName and
// FtpServerName (the web instance, when there is exactly one, taken even without a name),
// else the registry kind's. `error` says why the web manager could not be connected.
void ConnectServerManagers(std::unique_ptr<CIISManagerBase>& web,
                           std::unique_ptr<CIISManagerBase>& ftp, std::string& error);
