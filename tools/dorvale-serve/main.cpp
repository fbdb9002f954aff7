// dorvale-serve: puts the templates in place and serves the generated site with nginx.
#include "ServeSite.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char kUsage[] =
    "Usage: dorvale-serve install [--templates DIR]\n"
    "       dorvale-serve config|start [--dir DIR] [--port N] [--address ADDR] [--nginx PROGRAM]\n"
    "       dorvale-serve stop|status [--dir DIR]\n"
    "\n"
    "Puts the site's templates in place and serves the generated Dorvale site with nginx,\n"
    "without needing root: nginx runs from a directory of its own and listens on this\n"
    "machine only unless --address says otherwise.\n"
    "\n"
    "Commands:\n"
    "  install   copy the templates (*.tmpl) into InstallDir/templates and the assets\n"
    "            (stylesheet, icon) into HttpPath/assets, where the pages find them\n"
    "  config    write DIR/nginx.conf from the settings and print it\n"
    "  start     write the configuration, start nginx and print the site's address; an\n"
    "            nginx already serving from DIR is restarted (so areas added since are\n"
    "            published)\n"
    "  stop      stop the nginx serving from DIR\n"
    "  status    tell whether nginx serves from DIR, and where\n"
    "\n"
    "What is served: HttpPath under /dorvale/ (server-side includes on, .asp files as\n"
    "HTML), and the directory (Path) of every locally hosted area under its HTTP alias.\n"
    "\n"
    "Options:\n"
    "  --dir DIR        nginx's own directory: configuration, pid, logs, temporary files\n"
    "                   (default: InstallDir/nginx)\n"
    "  --port N         the port to listen on (default 8080)\n"
    "  --address ADDR   the IPv4 address to listen on (default 127.0.0.1)\n"
    "  --nginx PROGRAM  the nginx program (default: nginx on PATH, or /usr/sbin/nginx)\n"
    "  --templates DIR  for install: the templates to copy (default: the ones that come\n"
    "                   with Dorvale)\n"
    "  --help           show this text\n"
    "\n"
    "Settings come from the registry ($DORVALE_REGISTRY when set).\n"
    "Exit status: 0 done (status: nginx runs), 1 failed (status: nginx does not run),\n"
    "2 wrong usage.\n";

struct COptions {
    std::string command;
    std::string dir;
    std::string templates;
    std::string nginx;
    std::string address = "127.0.0.1";
    int port = 8080;
};

int Usage(const std::string& problem) {
    std::fprintf(stderr, "dorvale-serve: %s\nTry 'dorvale-serve --help'.\n", problem.c_str());
    return 2;
}

int Fail(const std::string& problem) {
    std::fprintf(stderr, "dorvale-serve: %s\n", problem.c_str());
    return 1;
}

bool IsIpv4(const std::string& text) {
    int parts = 0;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, '.')) {
        if (part.empty() || part.size() > 3 ||
            part.find_first_not_of("0123456789") != std::string::npos || std::stoi(part) > 255) {
            return false;
        }
        ++parts;
    }
    return parts == 4 && text.back() != '.';
}

// Returns -1 when the options are good, else the exit status.
int Parse(int argc, char** argv, COptions& options) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    if (args.empty()) {
        return Usage("no command given");
    }
    options.command = args[0];
    const std::string& command = options.command;
    if (command != "install" && command != "config" && command != "start" && command != "stop" &&
        command != "status") {
        return Usage("unknown command \"" + command + "\"");
    }
    const bool serving = command == "config" || command == "start";
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                return false;
            }
            target = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--dir" && command != "install") {
            if (!value(options.dir)) {
                return Usage("--dir needs a directory");
            }
        } else if (arg == "--port" && serving) {
            if (!value(text) || text.size() > 5 ||
                text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) < 1 ||
                std::stoi(text) > 65535) {
                return Usage("--port needs a number from 1 to 65535");
            }
            options.port = std::stoi(text);
        } else if (arg == "--address" && serving) {
            if (!value(options.address) || !IsIpv4(options.address)) {
                return Usage("--address needs an IPv4 address such as 127.0.0.1");
            }
        } else if (arg == "--nginx" && serving) {
            if (!value(options.nginx)) {
                return Usage("--nginx needs a program");
            }
        } else if (arg == "--templates" && command == "install") {
            if (!value(options.templates)) {
                return Usage("--templates needs a directory");
            }
        } else {
            return Usage("unexpected \"" + arg + "\" for " + command);
        }
    }
    return -1;
}

std::string Absolute(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
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

std::string RunDir(const COptions& options, const CServeSettings* settings, std::string& error) {
    if (!options.dir.empty()) {
        std::string dir = Absolute(options.dir);
        while (dir.size() > 1 && dir.back() == '/') {
            dir.pop_back();
        }
        return dir;
    }
    if (settings && !settings->installDir.empty()) {
        return Absolute(settings->installDir + "/nginx");
    }
    error = "give --dir DIR (InstallDir, whose nginx/ directory is the default, is not set)";
    return {};
}

// The address nginx listens on, from the configuration it was started with.
std::string ListenAddress(const std::string& runDir) {
    std::ifstream conf(runDir + "/nginx.conf");
    std::string line;
    const std::string key = "listen ";
    while (std::getline(conf, line)) {
        const std::size_t at = line.find(key);
        if (at != std::string::npos) {
            std::string address = line.substr(at + key.size());
            if (!address.empty() && address.back() == ';') {
                address.pop_back();
            }
            return address;
        }
    }
    return {};
}

int Install(const COptions& options) {
    CServeSettings settings;
    std::string error;
    if (!ReadServeSettings(settings, error)) {
        return Fail(error);
    }
    const std::string from = options.templates.empty() ? DefaultTemplates() : options.templates;
    int copied = 0;
    if (!InstallSiteFiles(Absolute(from), settings, copied, error)) {
        return Fail(error);
    }
    std::printf("Copied %d files: templates into %s/templates, assets into %s/assets\n", copied,
                settings.installDir.c_str(), settings.httpPath.c_str());
    return 0;
}

int Serve(const COptions& options) {
    CServeSettings settings;
    std::string error;
    if (!ReadServeSettings(settings, error)) {
        return Fail(error);
    }
    for (const std::string& warning : settings.warnings) {
        std::fprintf(stderr, "dorvale-serve: warning: %s\n", warning.c_str());
    }
    CNginxSite site;
    site.runDir = RunDir(options, &settings, error);
    if (site.runDir.empty()) {
        return Fail(error);
    }
    site.address = options.address;
    site.port = options.port;
    site.httpPath = Absolute(settings.httpPath);
    site.aliases = settings.aliases;
    if (!IsQuotable(site.runDir) || !IsQuotable(site.httpPath)) {
        return Fail("nginx cannot be given " + site.runDir + " or " + site.httpPath +
                    ": a path must not hold \" \\ $ or control characters");
    }
    // As root, the workers stay root rather than nginx's unprivileged default, which may not
    // read a tree kept in a private home directory; nginx listens on loopback by default.
    if (geteuid() == 0) {
        const passwd* user = getpwuid(geteuid());
        const group* grp = getgrgid(getegid());
        site.workerUser = user ? user->pw_name : "root";
        site.workerGroup = grp ? grp->gr_name : "root";
    }
    if (options.command == "config") {
        std::filesystem::create_directories(site.runDir);
        std::ofstream conf(site.runDir + "/nginx.conf", std::ios::binary | std::ios::trunc);
        conf << BuildNginxConfig(site);
        if (!conf.flush()) {
            return Fail("cannot write " + site.runDir + "/nginx.conf");
        }
        std::fputs(BuildNginxConfig(site).c_str(), stdout);
        return 0;
    }
    const std::string nginx = FindNginx(options.nginx);
    if (nginx.empty()) {
        return Fail("nginx was not found (install the Debian package nginx, or give --nginx)");
    }
    if (!std::filesystem::exists(site.httpPath + "/index.asp")) {
        std::fprintf(stderr,
                     "dorvale-serve: warning: %s/index.asp does not exist yet; run sheetforge "
                     "--console to generate the site\n",
                     site.httpPath.c_str());
    }
    if (!StartNginx(nginx, site, error)) {
        return Fail(error);
    }
    std::printf("Dorvale is served at http://%s:%d%s/index.asp\n", site.address.c_str(), site.port,
                SITE_PREFIX);
    std::printf("(nginx %ld from %s; stop it with: dorvale-serve stop --dir %s)\n",
                RunningNginx(site.runDir), site.runDir.c_str(), site.runDir.c_str());
    return 0;
}

int StopOrStatus(const COptions& options) {
    CServeSettings settings;
    std::string error;
    // The settings only give the default directory; --dir alone is enough.
    const bool haveSettings = options.dir.empty() && ReadServeSettings(settings, error);
    const std::string runDir = RunDir(options, haveSettings ? &settings : nullptr, error);
    if (runDir.empty()) {
        return Fail(error);
    }
    const long pid = RunningNginx(runDir);
    if (options.command == "status") {
        if (pid == 0) {
            std::printf("nginx does not serve from %s\n", runDir.c_str());
            return 1;
        }
        std::printf("nginx %ld serves from %s at http://%s%s/index.asp\n", pid, runDir.c_str(),
                    ListenAddress(runDir).c_str(), SITE_PREFIX);
        return 0;
    }
    if (!StopNginx(runDir, error)) {
        return Fail(error);
    }
    if (pid != 0) {
        std::printf("Stopped nginx %ld\n", pid);
    } else {
        std::printf("nginx was not serving from %s\n", runDir.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    COptions options;
    const int parsed = Parse(argc, argv, options);
    if (parsed >= 0) {
        return parsed;
    }
    if (options.command == "install") {
        return Install(options);
    }
    if (options.command == "config" || options.command == "start") {
        return Serve(options);
    }
    return StopOrStatus(options);
}
