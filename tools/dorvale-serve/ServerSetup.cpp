#include "ServerSetup.h"

#include "Com.h"
#include "FileAreaStore.h"
#include "IISMetabaseManager.h"
#include "IISRegistryManager.h"
#include "Metabase.h"
#include "Publishing.h"
#include "Settings.h"
#include "Text.h"

#include <algorithm>
#include <charconv>

namespace {

constexpr DWORD READ_TIMEOUT_MS = 5000;

const char* DefaultComment(const std::string& service) {
    return service == WEB_SERVICE_NAME ? "Default Web Site" : "Default FTP Site";
}

std::string Binding(const std::string& address, int port) {
    return address + ":" + std::to_string(port) + ":";
}

// "address:port:hostname" (address empty: every address, taken here as loopback).
bool ParseBinding(const std::string& binding, std::string& address, int& port) {
    const std::size_t first = binding.find(':');
    const std::size_t second = first == std::string::npos ? first : binding.find(':', first + 1);
    if (second == std::string::npos) {
        return false;
    }
    address = binding.substr(0, first);
    if (address.empty()) {
        address = "127.0.0.1";
    }
    const char* begin = binding.data() + first + 1;
    const char* end = binding.data() + second;
    return std::from_chars(begin, end, port).ptr == end && port > 0 && port < 65536;
}

// Text that may stand in a configuration comment or quoted name.
std::string Plain(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '"' || c == '\\' ||
            c == '$') {
            c = ' ';
        }
    }
    return text;
}

// The areas a root serves: those hosted locally whose HTTP or FTP alias lies below it.
std::string AreasOf(const std::string& service, const std::string& alias) {
    std::string databasePath;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey, settings::DatabasePath,
                     databasePath);
    CFileAreaStore store;
    std::string names;
    if (databasePath.empty() || !store.OpenForReading(databasePath)) {
        return names;
    }
    const std::string root = base::LowerAscii(alias);
    for (const AreaRecord& area : store.EnumerateAreas()) {
        std::string areaAlias =
            base::LowerAscii(service == WEB_SERVICE_NAME ? area.HttpAlias : area.FtpAlias);
        if (!areaAlias.empty() && areaAlias.front() != '/') {
            areaAlias.insert(areaAlias.begin(), '/');
        }
        if ((area.Flags & AREA_HOSTED_LOCALLY) != 0 &&
            (areaAlias == root || areaAlias.rfind(root + "/", 0) == 0 || root == "/")) {
            names += (names.empty() ? "" : ", ") + std::string("area ") + std::to_string(area.Id) +
                     " \"" + area.Name + "\"";
        }
    }
    return names;
}

// The roots a server may publish, each checked; the others named in `warnings`.
std::vector<CFtpRoot> Publishable(const std::string& service, const std::string& comment,
                                  const std::vector<CVirtualRoot>& roots,
                                  std::vector<std::string>& warnings) {
    std::vector<CFtpRoot> result;
    for (const CVirtualRoot& root : roots) {
        // The instance's own root is the servers' start page or login directory, not an alias.
        if ((root.permissions & (VROOT_READ | VROOT_WRITE)) == 0 || root.alias == "/") {
            continue;
        }
        CFtpRoot served;
        std::string why;
        std::string resolved;
        const std::string areas = AreasOf(service, root.alias);
        const std::string what = service + " virtual root " + root.alias + " of \"" + comment +
                                 "\"" + (areas.empty() ? "" : " (" + areas + ")");
        if (!NormaliseAlias(root.alias, served.alias, why) ||
            !services::CheckPublishable(root.path, resolved, why) || !IsQuotable(root.path)) {
            warnings.push_back(
                what + ": " + root.path + " not published: " +
                (why.empty() ? "the path holds \" \\ $ or a control character" : why));
            continue;
        }
        served.path = root.path;
        while (served.path.size() > 1 && served.path.back() == '/') {
            served.path.pop_back();
        }
        served.permissions = root.permissions;
        served.area = Plain(areas.empty() ? "virtual root " + root.alias : areas);
        result.push_back(served);
    }
    return result;
}

bool ReadFromMetabase(IMetabaseAdmin* admin, const std::string& service,
                      const CListenOptions& options, const std::string& anonymousUser,
                      CServiceSetup& setup, std::vector<std::string>& warnings,
                      std::string& error) {
    const bool web = service == WEB_SERVICE_NAME;
    std::vector<metabase::CServerInstance> instances =
        metabase::ListInstances(admin, service, READ_TIMEOUT_MS);
    std::string siteName;
    ReadRegistryText(HKEY_LOCAL_MACHINE, settings::SettingsKey,
                     web ? settings::WebServerName : settings::FtpServerName, siteName);
    unsigned site = 1;
    for (const metabase::CServerInstance& instance : instances) {
        if (instance.comment == siteName) {
            site = instance.number;
        }
    }
    const bool wanted = web || options.ftpPort != 0;
    const int port = web ? options.port : options.ftpPort;
    {
        metabase::CMetabaseKey lm(admin);
        if (FAILED(lm.Open("/LM", true, READ_TIMEOUT_MS))) {
            error = "the metabase cannot be opened for writing";
            return false;
        }
        const std::string path = service + "/" + std::to_string(site);
        if (instances.empty() && wanted) {
            admin->AddKey(lm.Get(), (path + "/ROOT").c_str());
            lm.SetString(path, MD_SERVER_COMMENT, DefaultComment(service), IIS_MD_UT_SERVER);
            lm.SetString(path + "/ROOT", MD_VR_PATH, options.rootDirectory);
            lm.SetDword(path + "/ROOT", MD_ACCESS_PERM, VROOT_READ);
            lm.SetString(path, MD_SERVER_BINDINGS, Binding(options.address, port),
                         IIS_MD_UT_SERVER);
        } else if (!instances.empty() && ((web && options.portGiven) || (!web && port != 0))) {
            lm.SetString(path, MD_SERVER_BINDINGS, Binding(options.address, port),
                         IIS_MD_UT_SERVER);
        }
        std::string stored;
        if (!anonymousUser.empty() &&
            (!lm.GetString(service, MD_ANONYMOUS_USER_NAME, stored) || stored != anonymousUser)) {
            if (lm.Children(service).empty()) {
                admin->AddKey(lm.Get(), service.c_str());
            }
            lm.SetString(service, MD_ANONYMOUS_USER_NAME, anonymousUser, IIS_MD_UT_SERVER);
        }
        if (FAILED(lm.Close())) {
            error = "the metabase cannot be written";
            return false;
        }
    }
    for (const metabase::CServerInstance& instance :
         metabase::ListInstances(admin, service, READ_TIMEOUT_MS)) {
        CServedInstance served;
        served.number = instance.number;
        served.comment = Plain(instance.comment);
        if (!ParseBinding(instance.bindings, served.address, served.port)) {
            warnings.push_back(service + " instance \"" + instance.comment +
                               "\" not served: its bindings \"" + instance.bindings +
                               "\" are not address:port:");
            continue;
        }
        served.roots = Publishable(service, instance.comment,
                                   CIISMetabaseManager::ListInstanceRoots(
                                       admin, service, instance.number, READ_TIMEOUT_MS),
                                   warnings);
        auto at = instance.number == site ? setup.instances.begin() : setup.instances.end();
        setup.instances.insert(at, std::move(served));
    }
    return true;
}

} // namespace

bool ReadServiceSetup(const std::string& service, const CListenOptions& options,
                      const std::string& anonymousUser, CServiceSetup& setup,
                      std::vector<std::string>& warnings, std::string& error) {
    setup = CServiceSetup();
    setup.anonymousUser = anonymousUser;
    if (SUCCEEDED(CoInitialize(nullptr))) {
        CComPtr<IMetabaseAdmin> admin = metabase::CreateAdminBase();
        bool done = false;
        if (admin) {
            setup.metabase = true;
            done = ReadFromMetabase(admin, service, options, anonymousUser, setup, warnings, error);
        }
        admin = nullptr;
        CoUninitialize();
        if (setup.metabase) {
            return done;
        }
    }
    // The services' registry keys: one instance, where the options say.
    const bool web = service == WEB_SERVICE_NAME;
    if (!web && options.ftpPort == 0) {
        return true;
    }
    if (!anonymousUser.empty()) {
        WriteRegistryText(HKEY_LOCAL_MACHINE, CIISRegistryManager::ParametersKey(service).c_str(),
                          "AnonymousUserName", anonymousUser.c_str());
    }
    std::vector<CVirtualRoot> roots = CIISRegistryManager::ListServiceRoots(service);
    if (std::none_of(roots.begin(), roots.end(),
                     [](const CVirtualRoot& root) { return root.alias == "/"; })) {
        // Every service has a root; the setup program finds the others below it.
        const std::string data = options.rootDirectory + ",," + std::to_string(VROOT_READ);
        WriteRegistryText(HKEY_LOCAL_MACHINE, CIISRegistryManager::VirtualRootsKey(service).c_str(),
                          "/", data.c_str());
    }
    CServedInstance served;
    served.comment = DefaultComment(service);
    served.address = options.address;
    served.port = web ? options.port : options.ftpPort;
    served.roots = Publishable(service, served.comment, roots, warnings);
    setup.instances.push_back(std::move(served));
    return true;
}

void AddWebInstances(const CServiceSetup& setup, CNginxSite& site) {
    for (std::size_t i = 0; i < setup.instances.size(); ++i) {
        const CServedInstance& instance = setup.instances[i];
        std::vector<CServedAlias> aliases;
        for (const CFtpRoot& root : instance.roots) {
            if ((root.permissions & VROOT_READ) != 0) {
                aliases.push_back({root.alias, root.path, root.area});
            }
        }
        if (i == 0) {
            site.address = instance.address;
            site.port = instance.port;
            site.aliases = std::move(aliases);
        } else {
            site.instances.push_back({instance.comment, instance.address, instance.port, aliases});
        }
    }
}

void AddFtpInstances(const CServiceSetup& setup, CFtpSite& site) {
    for (const CServedInstance& instance : setup.instances) {
        site.instances.push_back(
            {instance.comment, instance.address, instance.port, instance.roots});
    }
}
