// The web server as the install program meets it: detection, its instances, virtual
// directories in either kind, and the services an installation adds.
#include "AccessList.h"
#include "ExtState.h"
#include "IISMetabaseManager.h"
#include "IISRegistryManager.h"
#include "InstallExt.h"
#include "InstalledServices.h"
#include "Metabase.h"
#include "Process.h"
#include "Registry.h"
#include "RemovalRecord.h"
#include "Services.h"
#include "Settings.h"
#include "Text.h"

#include "Com.h"

#include <filesystem>

using namespace installext;

namespace {

constexpr int SERVICE_STOPPED = 1;
constexpr int SERVICE_RUNNING = 4;

bool QueryText(HKEY root, const char* keyName, const char* valueName, std::string& value) {
    CRegKey key;
    return key.Open(root, keyName, KEY_READ) == ERROR_SUCCESS &&
           key.QueryStringValue(valueName, value) == ERROR_SUCCESS;
}

bool KeyExists(HKEY root, const char* keyName) {
    CRegKey key;
    return key.Open(root, keyName, KEY_READ) == ERROR_SUCCESS;
}

// The web service kept in the registry: its service key (what dorvale-serve registers), or a
// server that says who it is as the older servers did; and the page runtime's parameters.
bool HasRegistryWebServer() {
    std::string name;
    const bool named = QueryText(HKEY_LOCAL_MACHINE, settings::InetsrvCurrentVersionKey,
                                 settings::ServiceName, name) &&
                       (base::StartsWithNoCase(name, "microsoft internet information server") ||
                        base::StartsWithNoCase(name, "microsoft peer web server"));
    services::CServiceConfig config;
    return (named || services::ReadServiceConfig(WEB_SERVICE_NAME, config)) &&
           KeyExists(HKEY_LOCAL_MACHINE, settings::AspParametersKey);
}

std::string AliasOf(const std::string& virtualPath) {
    const std::size_t start = virtualPath.find_first_not_of('/');
    return "/" + (start == std::string::npos ? std::string() : virtualPath.substr(start));
}

bool AddMetabaseRoot(const std::string& siteComment, const std::string& virtualPath,
                     const std::string& physicalPath, int accessFlags, int options) {
    CComInitialize com;
    CComPtr<IMetabaseAdmin> admin = com.Succeeded() ? metabase::CreateAdminBase() : nullptr;
    if (!admin) {
        return SetError("the web server's admin base object cannot be created");
    }
    const std::vector<metabase::CServerInstance> instances =
        metabase::ListInstances(admin, WEB_SERVICE_NAME);
    const metabase::CServerInstance* site = nullptr;
    for (const metabase::CServerInstance& instance : instances) {
        if (siteComment.empty() ? instance.number == 1
                                : base::EqualsNoCase(instance.comment, siteComment)) {
            site = &instance;
            break;
        }
    }
    if (site == nullptr) {
        return SetError(siteComment.empty() ? "the web server has no site 1"
                                            : "no web site is named \"" + siteComment + "\"");
    }
    const std::string alias = AliasOf(virtualPath);
    if (alias == "/") {
        return SetError("the virtual path names the site's root");
    }
    std::string path = "/W3SVC/" + std::to_string(site->number) + "/Root";
    if (virtualPath.empty() || virtualPath.front() != '/') {
        path += "/";
    }
    path += virtualPath;
    try {
        CIISMetabaseManager manager(WEB_SERVICE_NAME, site->comment, admin);
        if (!manager.AddRoot(alias, physicalPath, static_cast<unsigned>(accessFlags))) {
            return SetError(manager.LastError().empty()
                                ? "the virtual directory " + alias + " cannot be made"
                                : manager.LastError());
        }
        if (!Record(removalrecord::VIRTUAL_ROOTS_SECTION, path, removalrecord::METABASE_ROOT)) {
            return false;
        }
        // Indexing is a wish the result does not depend on.
        (void)manager.SetContentIndexed(alias, (options & 2) != 0);
    } catch (const CIISInitException& e) {
        return SetError(e.what());
    }
    if ((options & 1) != 0) {
        if (SUCCEEDED(metabase::CreateApplication(admin, "/LM" + path, true))) {
            // Recorded by the virtual directory's key, where the removal looks it up; the
            // application itself is at "/LM" followed by that key.
            return Record(removalrecord::APPLICATIONS_SECTION, path,
                          removalrecord::METABASE_APPLICATION);
        }
        SetError("the application at /LM" + path + " cannot be made");
    }
    return true;
}

bool AddRegistryRoot(const std::string& virtualPath, const std::string& physicalPath,
                     int accessFlags) {
    std::unique_ptr<CIISManagerBase> manager = ConnectRegistryManager(WEB_SERVICE_NAME);
    // The value's name carries the comma the services write after an alias without a host.
    const std::string name = AliasOf(virtualPath) + ",";
    if (!manager || !manager->AddRoot(name, physicalPath, static_cast<unsigned>(accessFlags))) {
        return SetError("the virtual root " + name + " cannot be written");
    }
    return Record(removalrecord::VIRTUAL_ROOTS_SECTION, name, removalrecord::REGISTRY_ROOT);
}

} // namespace

extern "C" {

int IsDCOMInstalled(void) {
    CComInitialize com;
    return com.Succeeded() ? 1 : 0;
}

int IsIIS40Installed(void) {
    CComInitialize com;
    return com.Succeeded() && metabase::CreateAdminBase() ? 1 : 0;
}

int IsIISInstalled(int* version) {
    int found = IsIIS40Installed() != 0 ? 4 : HasRegistryWebServer() ? 3 : 0;
    if (version != nullptr) {
        *version = found;
    }
    return found != 0 ? 1 : 0;
}

int FillIISWebServerList(void* list, InstallExtListItem addItem, const char* serviceName) {
    ClearError();
    CComInitialize com;
    CComPtr<IMetabaseAdmin> admin = com.Succeeded() ? metabase::CreateAdminBase() : nullptr;
    if (!admin || addItem == nullptr) {
        return 0;
    }
    int count = 0;
    for (const metabase::CServerInstance& instance : metabase::ListInstances(
             admin, Text(serviceName).empty() ? WEB_SERVICE_NAME : Text(serviceName))) {
        addItem(list, instance.comment.c_str(), count == 0 ? 1 : 0);
        ++count;
    }
    return count;
}

int AddVirtualRoot(const char* siteComment, const char* virtualPath, const char* physicalPath,
                   int accessFlags, int options) {
    ClearError();
    if (Text(virtualPath).empty() || Text(physicalPath).empty()) {
        return SetError("a virtual directory needs a virtual path and a directory");
    }
    return (IsIIS40Installed() != 0
                ? AddMetabaseRoot(Text(siteComment), Text(virtualPath), Text(physicalPath),
                                  accessFlags, options)
                : AddRegistryRoot(Text(virtualPath), Text(physicalPath), accessFlags))
               ? 1
               : 0;
}

int InstallNTService(const char* name, const char* displayName, int serviceType, int startType,
                     int errorControl, const char* binaryPath, const char* loadOrderGroup,
                     const char* dependencies, const char* account, const char* password) {
    (void)password;
    ClearError();
    services::CServiceDefinition definition;
    definition.displayName = Text(displayName);
    definition.serviceType = static_cast<unsigned>(serviceType);
    definition.startType = static_cast<unsigned>(startType);
    definition.errorControl = static_cast<unsigned>(errorControl);
    definition.commandLine = Text(binaryPath);
    definition.group = Text(loadOrderGroup);
    definition.account = Text(account);
    // "LocalSystem" and ".\name" as the service manager knew them.
    if (base::EqualsNoCase(definition.account, "LocalSystem")) {
        definition.account.clear();
    } else if (definition.account.rfind(".\\", 0) == 0) {
        definition.account.erase(0, 2);
    }
    const std::string list = Text(dependencies);
    for (std::size_t start = 0; start < list.size();) {
        std::size_t bar = list.find('|', start);
        if (bar == std::string::npos) {
            bar = list.size();
        }
        if (bar > start) {
            definition.dependencies.push_back(list.substr(start, bar - start));
        }
        start = bar + 1;
    }
    definition.installedBy = RecordPath();
    std::string error;
    if (!services::CreateService(Text(name), definition, error)) {
        return SetError(error);
    }
    return Record(removalrecord::SERVICE_SECTION, Text(name), removalrecord::SERVICE) ? 1 : 0;
}

int StartNTService(const char* name) {
    ClearError();
    std::string error;
    return services::StartService(Text(name), error) ? 1 : SetError(error);
}

int StopNTService(const char* name) {
    ClearError();
    std::string error;
    return services::StopService(Text(name), error) ? 1 : SetError(error);
}

int GetNTServiceStatus(const char* name) {
    bool known = false;
    const bool running = services::IsServiceRunning(Text(name), &known);
    return !known ? -1 : running ? SERVICE_RUNNING : SERVICE_STOPPED;
}

int DeleteNTService(const char* name) {
    ClearError();
    std::string error;
    return services::DeleteService(Text(name), error) ? 1 : SetError(error);
}

int ExecuteApplication(const char* program, const char* commandLine, const char* removalCommand,
                       int wait) {
    ClearError();
    std::vector<std::string> arguments;
    if (Text(program).empty() || !process::SplitCommandLine(Text(commandLine), arguments)) {
        return SetError("\"" + Text(commandLine) + "\" is not a command line");
    }
    std::vector<std::string> removal;
    if (!process::SplitCommandLine(Text(removalCommand), removal)) {
        return SetError("the removal command \"" + Text(removalCommand) +
                        "\" is not a command line");
    }
    process::CProcess child;
    std::string error;
    if (!child.Start(Text(program), arguments, {}, error)) {
        return SetError(error);
    }
    if (!Text(removalCommand).empty() &&
        !Record(removalrecord::PROGRAMS_SECTION, Text(program), Text(removalCommand))) {
        return 0;
    }
    if (wait == 0) {
        child.Detach();
        return 1;
    }
    process::CExitStatus status;
    child.Wait(-1, status);
    if (!status.exited || status.code != 0) {
        return SetError(Text(program) + " ended with " +
                        (status.exited ? "code " + std::to_string(status.code)
                                       : "signal " + std::to_string(status.signal)));
    }
    return 1;
}

int SetAdministratorPrivilages(const char* directory, const char* account, int readFlag,
                               int changeFlag) {
    ClearError();
    std::string path = Text(directory);
    if (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    std::string error;
    const services::EDirectoryAccess access = changeFlag != 0 ? services::EDirectoryAccess::Change
                                              : readFlag != 0 ? services::EDirectoryAccess::Read
                                                              : services::EDirectoryAccess::None;
    return services::SetDirectoryAccess(path, Text(account), access, error) ? 1 : SetError(error);
}

} // extern "C"
