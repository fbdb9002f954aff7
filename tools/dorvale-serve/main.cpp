// dorvale-serve: puts the templates in place and serves the generated site with nginx.
#include "IISManager.h"
#include "IndexServer.h"
#include "Process.h"
#include "Publishing.h"
#include "ServeSite.h"
#include "ServerControl.h"
#include "ServerSetup.h"
#include "Services.h"
#include "Settings.h"
#include "Tool.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char USAGE[] =
    "Usage: dorvale-serve install [--templates DIR]\n"
    "       dorvale-serve config|start|reload [--dir DIR] [--service web|ftp|all] [--port N]\n"
    "                     [--address ADDR] [--ftp-port N] [--nginx PROGRAM] [--web PROGRAM]\n"
    "       dorvale-serve stop|status [--dir DIR] [--service web|ftp|all]\n"
    "\n"
    "Puts the site's templates in place and serves the generated Dorvale site with nginx,\n"
    "without needing root: nginx runs from a directory of its own and listens on this\n"
    "machine only unless --address says otherwise.\n"
    "\n"
    "Commands:\n"
    "  install   copy the templates (*.tmpl) into InstallDir/templates and the assets\n"
    "            (stylesheet, icon) into HttpPath/assets, where the pages find them\n"
    "  config    write DIR/nginx.conf from the settings and print it\n"
    "  start     write the configuration, start the servers and print the site's address;\n"
    "            what already serves from DIR is restarted (so areas and settings changed\n"
    "            since take effect)\n"
    "  reload    have the running servers take the virtual roots as they are now; a\n"
    "            configuration the server refuses is reported and the old one keeps serving\n"
    "  stop      stop the servers serving from DIR (dorvale-web writes its download\n"
    "            counts first)\n"
    "  status    tell whether they (nginx, dorvale-web, proftpd) serve from DIR, and\n"
    "            where\n"
    "\n"
    "What is served: the web service W3SVC is nginx: HttpPath under /dorvale/\n"
    "(server-side includes on, .asp files as HTML), the visitors' service dorvale-web\n"
    "(reviews, uploads, file submissions, counted downloads) under /dorvale/do/ through\n"
    "its socket DIR/dorvale-web.sock, and every virtual root with read permission under\n"
    "its alias. The FTP service MSFTPSVC is ProFTPD: every virtual root under its alias,\n"
    "downloads where it has read and uploads where it has write permission.\n"
    "The virtual roots are those of the metabase (when Dorvale.Metabase is registered: one\n"
    "server per instance, changes take effect at once) or of the services' Virtual Roots\n"
    "registry keys (taken at start). Dotfiles, *.desc files and symbolic links are never\n"
    "served; a root that is /, a system directory or holds Dorvale's own data is refused.\n"
    "Started as root, nginx's workers run as www-data and the FTP server as nobody.\n"
    "When the index server (dorvale-index start) is recorded, nginx passes /dorvaleindex/\n"
    "(the site's search and the index server's pages) to it.\n"
    "\n"
    "Options:\n"
    "  --dir DIR        nginx's own directory: configuration, pid, logs, temporary files\n"
    "                   (default: InstallDir/nginx)\n"
    "  --service S      web, ftp or all (default): which servers\n"
    "  --port N         the port the site's web instance listens on (default 8080, or the\n"
    "                   instance's binding in the metabase)\n"
    "  --ftp-port N     the port of the FTP instance; serves FTP (the first time, with the\n"
    "                   metabase; every time with the registry keys)\n"
    "  --address ADDR   the IPv4 address to listen on (default 127.0.0.1)\n"
    "  --nginx PROGRAM  the nginx program (default: nginx on PATH, or /usr/sbin/nginx)\n"
    "  --web PROGRAM    the dorvale-web program (default: the one beside dorvale-serve,\n"
    "                   or dorvale-web on PATH)\n"
    "  --templates DIR  for install: the templates to copy (default: the ones that come\n"
    "                   with Dorvale)\n"
    "  --help           show this text\n"
    "\n"
    "Settings come from the registry ($DORVALE_REGISTRY when set).\n"
    "Exit status: 0 done (status: nginx and dorvale-web run), 1 failed (status: one of\n"
    "them does not run), 2 wrong usage.\n";

struct COptions {
    std::string command;
    std::string service = "all";
    bool portGiven = false;
    int ftpPort = 0;
    std::string dir;
    std::string templates;
    std::string nginx;
    std::string web;
    std::string address = "127.0.0.1";
    int port = 8080;
};

const tool::CTool TOOL("dorvale-serve", USAGE);

bool IsIpv4(const std::string& text) {
    int parts = 0;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, '.')) {
        long long number = 0;
        if (part.size() > 3 || !tool::ParseNumber(part, 0, 255, number)) {
            return false;
        }
        ++parts;
    }
    return parts == 4 && !text.empty() && text.back() != '.';
}

// Returns -1 when the options are good, else the exit status.
int Parse(tool::CArgs& args, COptions& options) {
    if (!args.Next()) {
        return TOOL.UsageError("no command given");
    }
    options.command = args.Current();
    const std::string& command = options.command;
    if (command != "install" && command != "config" && command != "start" && command != "stop" &&
        command != "status" && command != "reload") {
        return TOOL.UsageError("unknown command \"" + command + "\"");
    }
    const bool serving = command == "config" || command == "start" || command == "reload";
    while (args.Next()) {
        long long number = 0;
        if (args.Is("--dir") && command != "install") {
            if (!args.TakeValue(options.dir)) {
                return TOOL.UsageError("--dir needs a directory");
            }
        } else if (args.Is("--port") && serving) {
            if (!args.TakeNumber(number, 1, 65535)) {
                return TOOL.UsageError("--port needs a number from 1 to 65535");
            }
            options.port = static_cast<int>(number);
            options.portGiven = true;
        } else if (args.Is("--ftp-port") && serving) {
            if (!args.TakeNumber(number, 1, 65535)) {
                return TOOL.UsageError("--ftp-port needs a number from 1 to 65535");
            }
            options.ftpPort = static_cast<int>(number);
        } else if (args.Is("--service") && command != "install") {
            if (!args.TakeValue(options.service) ||
                (options.service != "web" && options.service != "ftp" &&
                 options.service != "all")) {
                return TOOL.UsageError("--service needs web, ftp or all");
            }
        } else if (args.Is("--address") && serving) {
            if (!args.TakeValue(options.address) || !IsIpv4(options.address)) {
                return TOOL.UsageError("--address needs an IPv4 address such as 127.0.0.1");
            }
            options.portGiven = true;
        } else if (args.Is("--nginx") && serving) {
            if (!args.TakeValue(options.nginx)) {
                return TOOL.UsageError("--nginx needs a program");
            }
        } else if (args.Is("--web") && serving) {
            if (!args.TakeValue(options.web)) {
                return TOOL.UsageError("--web needs a program");
            }
        } else if (args.Is("--templates") && command == "install") {
            if (!args.TakeValue(options.templates)) {
                return TOOL.UsageError("--templates needs a directory");
            }
        } else {
            return TOOL.UsageError(args.Unexpected() + " for " + command);
        }
    }
    return -1;
}

// `path` made absolute against the working directory; false when that cannot be read.
bool Absolute(const std::string& path, std::string& absolute, std::string& error) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec) {
        error = "cannot resolve " + path + ": " + ec.message();
        return false;
    }
    absolute = full.lexically_normal().string();
    return true;
}

// The templates that come with Dorvale: beside an installed program, else in the sources
// this program was built from.
std::string DefaultTemplates() {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const auto installed = std::filesystem::path(std::string(self, length)).parent_path() /
                               "../share/dorvale/templates";
        std::error_code ec;
        if (std::filesystem::is_directory(installed, ec)) {
            return installed.lexically_normal().string();
        }
    }
    return DORVALE_TEMPLATES_DIR;
}

bool RunDir(const COptions& options, const CServeSettings* settings, std::string& dir,
            std::string& error) {
    if (!options.dir.empty()) {
        if (!Absolute(options.dir, dir, error)) {
            return false;
        }
        while (dir.size() > 1 && dir.back() == '/') {
            dir.pop_back();
        }
        return true;
    }
    if (settings && !settings->installDir.empty()) {
        return Absolute(settings->installDir + "/nginx", dir, error);
    }
    error = "give --dir DIR (InstallDir, whose nginx/ directory is the default, is not set)";
    return false;
}

// The visitors' service under /dorvale/do/, on its socket in nginx's directory.
void AddVisitorService(CNginxSite& site, const CServeSettings& settings) {
    site.webSocket = VisitorServiceSocket(site.runDir);
    // Room for the form's fields and boundaries around the largest file.
    site.webBodyLimit = (static_cast<long long>(settings.uploadLimitMiB) + 1) << 20;
}

int StopService(const std::string& runDir) {
    const long pid = RunningVisitorService(runDir);
    std::string error;
    if (!StopVisitorService(runDir, error)) {
        return TOOL.Fail(error);
    }
    if (pid != 0) {
        std::printf("Stopped dorvale-web %ld\n", pid);
    }
    return 0;
}

int Install(const COptions& options) {
    CServeSettings settings;
    std::string error;
    std::string from;
    int copied = 0;
    if (!ReadServeSettings(settings, error) ||
        !Absolute(options.templates.empty() ? DefaultTemplates() : options.templates, from,
                  error) ||
        !InstallSiteFiles(from, settings, copied, error)) {
        return TOOL.Fail(error);
    }
    std::printf("Copied %d files: templates into %s/templates, assets into %s/assets\n", copied,
                settings.installDir.c_str(), settings.httpPath.c_str());
    return tool::EXIT_DONE;
}

bool WantsWeb(const COptions& options) {
    return options.service != "ftp";
}

bool WantsFtp(const COptions& options) {
    return options.service != "web";
}

void Warn(const std::vector<std::string>& warnings) {
    for (const std::string& warning : warnings) {
        TOOL.Warn(warning);
    }
}

// The command line the service key records: this program with the options that say where it
// serves, so that the service can be started, stopped and reloaded the way it was started.
std::string ServiceCommandLine(const COptions& options, const std::string& runDir,
                               const char* service) {
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::vector<std::string> words = {length > 0 ? std::string(self, length) : "dorvale-serve",
                                      "--dir",
                                      runDir,
                                      "--service",
                                      service,
                                      "--address",
                                      options.address};
    if (options.portGiven) {
        words.insert(words.end(), {"--port", std::to_string(options.port)});
    }
    if (options.ftpPort != 0) {
        words.insert(words.end(), {"--ftp-port", std::to_string(options.ftpPort)});
    }
    if (!options.nginx.empty()) {
        words.insert(words.end(), {"--nginx", options.nginx});
    }
    if (!options.web.empty()) {
        words.insert(words.end(), {"--web", options.web});
    }
    std::string line;
    for (const std::string& word : words) {
        line += (line.empty() ? "" : " ") + process::QuoteArgument(word);
    }
    return line;
}

CListenOptions ListenOptions(const COptions& options, const std::string& rootDirectory) {
    std::error_code ec;
    std::filesystem::create_directories(rootDirectory, ec);
    CListenOptions listen;
    listen.rootDirectory = rootDirectory;
    listen.address = options.address;
    listen.port = options.port;
    listen.portGiven = options.portGiven;
    listen.ftpPort = options.ftpPort;
    return listen;
}

// Whether `alias` is `root` or lies below it.
bool IsBelow(const std::string& alias, const std::string& root) {
    return alias == root || alias.rfind(root + "/", 0) == 0;
}

// The web instances as nginx serves them. The site's instance also publishes every locally
// hosted area whose HTTP alias no virtual root serves, as it did before the area had one.
bool PrepareWeb(const COptions& options, const CServeSettings& settings, CNginxSite& site,
                std::string& error) {
    std::string user;
    std::string group;
    if (!services::ChooseWorkerAccount({"www-data", "nobody"}, user, group, error)) {
        error = "nginx not started: " + error;
        return false;
    }
    CServiceSetup setup;
    std::vector<std::string> warnings;
    if (!ReadServiceSetup(WEB_SERVICE_NAME, ListenOptions(options, site.runDir + "/wwwroot"), user,
                          setup, warnings, error)) {
        return false;
    }
    Warn(warnings);
    site.address = options.address;
    site.port = options.port;
    if (!Absolute(settings.httpPath, site.httpPath, error)) {
        return false;
    }
    AddWebInstances(setup, site);
    for (const CServedAlias& area : settings.aliases) {
        bool served = false;
        for (const CServedAlias& root : site.aliases) {
            served = served || IsBelow(area.alias, root.alias);
        }
        std::string resolved;
        std::string why;
        if (!served && !services::CheckPublishable(area.path, resolved, why)) {
            TOOL.Warn("area " + area.area + ": " + area.path + " not published: " + why);
        } else if (!served) {
            site.aliases.push_back(area);
        }
    }
    std::string index;
    ReadRegistryText(HKEY_LOCAL_MACHINE, services::ServiceKey(INDEX_SERVICE_NAME).c_str(), "Listen",
                     index);
    const std::size_t colon = index.rfind(':');
    long long indexPort = 0;
    if (colon != std::string::npos && IsIpv4(index.substr(0, colon)) &&
        tool::ParseNumber(index.substr(colon + 1), 1, 65535, indexPort)) {
        site.indexService = index;
    } else if (!index.empty()) {
        std::fprintf(stderr,
                     "dorvale-serve: warning: the index server's address \"%s\" is not "
                     "address:port; /dorvaleindex/ is not served\n",
                     index.c_str());
    }
    if (geteuid() == 0) {
        site.workerUser = user;
        site.workerGroup = group;
    }
    if (!IsQuotable(site.runDir) || !IsQuotable(site.httpPath)) {
        error = "nginx cannot be given " + site.runDir + " or " + site.httpPath +
                ": a path must not hold \" \\ $ or control characters";
        return false;
    }
    return true;
}

// The FTP instances; `configured` false when the FTP service has none.
bool PrepareFtp(const COptions& options, CFtpSite& site, bool& configured, std::string& error) {
    configured = false;
    std::string user;
    std::string group;
    if (!services::ChooseWorkerAccount({"nobody"}, user, group, error)) {
        error = "proftpd not started: " + error;
        return false;
    }
    CServiceSetup setup;
    std::vector<std::string> warnings;
    if (!ReadServiceSetup(FTP_SERVICE_NAME,
                          ListenOptions(options, FtpDirectory(site.runDir) + "/root"), user, setup,
                          warnings, error)) {
        return false;
    }
    Warn(warnings);
    configured = !setup.instances.empty();
    const passwd* account = getpwnam(user.c_str());
    if (account == nullptr) {
        error = "the account " + user + " has gone";
        return false;
    }
    site.user = user;
    site.group = group;
    site.loginUid = account->pw_uid;
    site.loginGid = account->pw_gid;
    AddFtpInstances(setup, site);
    return true;
}

int ServeWeb(const COptions& options, const CServeSettings& settings, const std::string& runDir) {
    CNginxSite site;
    site.runDir = runDir;
    std::string error;
    if (!PrepareWeb(options, settings, site, error)) {
        return TOOL.Fail(error);
    }
    AddVisitorService(site, settings);
    if (options.command == "config") {
        if (!WriteNginxConfig(site, error)) {
            return TOOL.Fail(error);
        }
        std::fputs(BuildNginxConfig(site).c_str(), stdout);
        return tool::EXIT_DONE;
    }
    const std::string nginx = FindNginx(options.nginx);
    if (nginx.empty()) {
        return TOOL.Fail("nginx was not found (install the Debian package nginx, or give --nginx)");
    }
    if (options.command == "reload") {
        if (!ReloadNginx(nginx, site, error)) {
            return TOOL.Fail(error);
        }
        std::printf("nginx %ld serves the virtual roots as they are now\n",
                    RunningNginx(site.runDir));
        return 0;
    }
    std::error_code ec;
    if (!std::filesystem::exists(site.httpPath + "/index.asp", ec)) {
        TOOL.Warn(site.httpPath + "/index.asp does not exist yet; run sheetforge --console to "
                                  "generate the site");
    }
    const std::string web = FindVisitorService(options.web);
    if (web.empty()) {
        return TOOL.Fail(options.web.empty() ? "dorvale-web was not found (build it, or give --web)"
                                        : "cannot run " + options.web);
    }
    if (!StartVisitorService(web, site.runDir, site.webThreads, error)) {
        return TOOL.Fail(error);
    }
    if (!StartNginx(nginx, site, error)) {
        std::string ignored;
        StopVisitorService(site.runDir, ignored);
        return TOOL.Fail(error);
    }
    services::CServiceConfig service;
    service.imagePath = ServiceCommandLine(options, runDir, "web");
    service.pidFile = runDir + "/nginx.pid";
    service.processName = "nginx";
    if (!services::RegisterService(WEB_SERVICE_NAME, service, error)) {
        TOOL.Warn(error);
    }
    std::printf("Dorvale is served at http://%s:%d%s/index.asp\n", site.address.c_str(), site.port,
                SITE_PREFIX);
    for (const CNginxInstance& instance : site.instances) {
        std::printf("Web instance \"%s\" is served at http://%s:%d/\n", instance.comment.c_str(),
                    instance.address.c_str(), instance.port);
    }
    std::printf("(nginx %ld from %s; stop it with: dorvale-serve stop --dir %s)\n",
                RunningNginx(site.runDir), site.runDir.c_str(), site.runDir.c_str());
    return 0;
}

int ServeFtp(const COptions& options, const std::string& runDir) {
    CFtpSite site;
    site.runDir = runDir;
    bool configured = false;
    std::string error;
    if (!PrepareFtp(options, site, configured, error)) {
        return TOOL.Fail(error);
    }
    if (!configured) {
        // Only asked for FTP is it an error to have none.
        return options.service == "ftp"
                   ? TOOL.Fail("the FTP service has no instance: give --ftp-port N to serve one")
                   : 0;
    }
    const std::string proftpd = FindProftpd();
    if (proftpd.empty()) {
        return TOOL.Fail("proftpd was not found (install the Debian packages proftpd-core and "
                         "proftpd-mod-vroot)");
    }
    if (options.command == "reload") {
        if (!ReloadProftpd(proftpd, site, error)) {
            return TOOL.Fail(error);
        }
        std::printf("proftpd %ld serves the virtual roots as they are now\n",
                    RunningProftpd(runDir));
        return 0;
    }
    if (!StartProftpd(proftpd, site, error)) {
        return TOOL.Fail(error);
    }
    services::CServiceConfig service;
    service.imagePath = ServiceCommandLine(options, runDir, "ftp");
    service.pidFile = FtpDirectory(runDir) + "/proftpd.pid";
    service.processName = "proftpd";
    if (!services::RegisterService(FTP_SERVICE_NAME, service, error)) {
        TOOL.Warn(error);
    }
    for (const CFtpInstance& instance : site.instances) {
        std::printf("FTP instance \"%s\" is served at ftp://%s:%d/\n", instance.comment.c_str(),
                    instance.address.c_str(), instance.port);
    }
    return 0;
}

int Serve(const COptions& options) {
    CServeSettings settings;
    std::string error;
    const bool haveSettings = ReadServeSettings(settings, error);
    if (!haveSettings && WantsWeb(options)) {
        return TOOL.Fail(error);
    }
    Warn(settings.warnings);
    std::string runDir;
    if (!RunDir(options, &settings, runDir, error)) {
        return TOOL.Fail(error);
    }
    if (WantsWeb(options)) {
        const int result = ServeWeb(options, settings, runDir);
        if (result != 0 || options.command == "config") {
            return result;
        }
    }
    return WantsFtp(options) && options.command != "config" ? ServeFtp(options, runDir) : 0;
}

int StopOrStatus(const COptions& options) {
    CServeSettings settings;
    std::string error;
    // The settings only give the default directory; --dir alone is enough.
    const bool haveSettings = options.dir.empty() && ReadServeSettings(settings, error);
    std::string runDir;
    if (!RunDir(options, haveSettings ? &settings : nullptr, runDir, error)) {
        return TOOL.Fail(error);
    }
    const long nginx = WantsWeb(options) ? RunningNginx(runDir) : 0;
    const long proftpd = WantsFtp(options) ? RunningProftpd(runDir) : 0;
    if (options.command == "status") {
        // Both serve the site: nginx the pages, dorvale-web what visitors send and download.
        const long web = WantsWeb(options) ? RunningVisitorService(runDir) : 0;
        if (WantsWeb(options) && nginx == 0) {
            std::printf("nginx does not serve from %s\n", runDir.c_str());
        } else if (WantsWeb(options)) {
            std::printf("nginx %ld serves from %s at http://%s%s/index.asp\n", nginx,
                        runDir.c_str(), ServedAddress(runDir).c_str(), SITE_PREFIX);
        }
        if (WantsWeb(options) && web == 0) {
            std::printf("dorvale-web does not serve from %s\n", runDir.c_str());
        } else if (WantsWeb(options)) {
            std::printf("dorvale-web %ld serves %s/do/ from %s\n", web, SITE_PREFIX,
                        VisitorServiceSocket(runDir).c_str());
        }
        if (proftpd != 0) {
            std::printf("proftpd %ld serves FTP from %s\n", proftpd, FtpDirectory(runDir).c_str());
        } else if (options.service == "ftp") {
            std::printf("proftpd does not serve from %s\n", runDir.c_str());
        }
        return (WantsWeb(options) ? nginx != 0 && web != 0 : proftpd != 0) ? 0 : 1;
    }
    if (WantsWeb(options) && !StopNginx(runDir, error)) {
        return TOOL.Fail(error);
    }
    if (WantsFtp(options) && !StopProftpd(runDir, error)) {
        return TOOL.Fail(error);
    }
    if (nginx != 0) {
        std::printf("Stopped nginx %ld\n", nginx);
    } else if (WantsWeb(options)) {
        std::printf("nginx was not serving from %s\n", runDir.c_str());
    }
    if (proftpd != 0) {
        std::printf("Stopped proftpd %ld\n", proftpd);
    }
    return WantsWeb(options) ? StopService(runDir) : 0;
}

} // namespace

int main(int argc, char** argv) {
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return TOOL.Help();
    }
    COptions options;
    const int parsed = Parse(args, options);
    if (parsed >= 0) {
        return parsed;
    }
    if (options.command == "install") {
        return Install(options);
    }
    if (options.command == "config" || options.command == "start" || options.command == "reload") {
        return Serve(options);
    }
    return StopOrStatus(options);
}
