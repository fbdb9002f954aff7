#include "FtpConfig.h"

namespace {

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

std::string Limit(const char* commands, bool allow) {
    return std::string("      <Limit ") + commands + ">\n        " +
           (allow ? "AllowAll" : "DenyAll") + "\n      </Limit>\n";
}

} // namespace

std::string FtpDirectory(const std::string& runDir) {
    return runDir + "/ftp";
}

std::string BuildFtpUsers(const CFtpSite& site) {
    const std::string ids = std::to_string(site.loginUid) + ":" + std::to_string(site.loginGid);
    const std::string home = FtpDirectory(site.runDir) + "/root";
    // An empty password field: anonymous logins with whatever address the client gives.
    return "anonymous::" + ids + "::" + home + ":/bin/sh\n" + "ftp::" + ids + "::" + home +
           ":/bin/sh\n";
}

std::string BuildFtpGroups(const CFtpSite& site) {
    return "dorvaleftp:x:" + std::to_string(site.loginGid) + ":\n";
}

std::string BuildProftpdConfig(const CFtpSite& site) {
    const std::string dir = FtpDirectory(site.runDir);
    std::string conf = "# Written by dorvale-serve from the FTP service's virtual roots.\n";
    conf += "ServerType standalone\n"
            "DefaultServer off\n"
            "# Only the virtual hosts below listen.\n"
            "Port 0\n"
            "UseIPv6 off\n";
    conf += "User " + site.user + "\nGroup " + site.group + "\n";
    conf += "PidFile " + Quote(dir + "/proftpd.pid") + "\n";
    conf += "ScoreboardFile " + Quote(dir + "/scoreboard") + "\n";
    conf += "SystemLog " + Quote(dir + "/system.log") + "\n";
    conf += "TransferLog none\nWtmpLog off\nDelayTable none\nControlsEngine off\n"
            "CapabilitiesEngine off\nUseReverseDNS off\nMaxInstances 64\nUmask 022\n"
            "AllowOverwrite off\nTimeoutIdle 300\n";
    conf += "<IfModule !mod_vroot.c>\n  LoadModule mod_vroot.c\n</IfModule>\n";
    for (const CFtpInstance& instance : site.instances) {
        conf += "<VirtualHost " + instance.address + ">\n";
        conf += "  Port " + std::to_string(instance.port) + "\n";
        conf += "  ServerName " + Quote(instance.comment) + "\n";
        conf += "  AuthOrder mod_auth_file.c\n";
        conf += "  AuthUserFile " + Quote(dir + "/users") + "\n";
        conf += "  AuthGroupFile " + Quote(dir + "/groups") + "\n";
        conf += "  RequireValidShell off\n  UseFtpUsers off\n";
        conf += "  VRootEngine on\n  DefaultRoot ~\n";
        // No name that would be a dotfile is made by an upload or a rename.
        conf += "  PathDenyFilter \"(^|/)[.]\"\n";
        for (const CFtpRoot& root : instance.roots) {
            conf += "  # " + root.area + "\n";
            conf += "  VRootAlias " + Quote(root.path) + " " + Quote(root.alias) + "\n";
        }
        // Nothing by default; hidden names are as good as absent for every reading command.
        conf += "  <Directory />\n";
        conf += "    HideFiles \"(^[.]|[.][Dd][Ee][Ss][Cc]$)\"\n";
        conf += "    <Limit RETR LIST NLST MLSD MLST STAT SIZE MDTM>\n"
                "      IgnoreHidden on\n    </Limit>\n";
        conf += Limit("READ", false).substr(2) + Limit("WRITE", false).substr(2);
        conf += "  </Directory>\n";
        for (const CFtpRoot& root : instance.roots) {
            conf += "  <Directory " + Quote(root.alias) + ">\n";
            conf += Limit("READ", (root.permissions & 1) != 0);
            if ((root.permissions & 2) != 0) {
                conf += Limit("STOR", true);
            }
            conf += "  </Directory>\n";
        }
        conf += "</VirtualHost>\n";
    }
    return conf;
}
