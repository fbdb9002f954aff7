#pragma once
// The ProFTPD configuration that serves the FTP instances: one virtual host per instance on
// its own port, each a jail (mod_vroot) in an empty directory into which every virtual root
// is mapped under its alias. Logins are "anonymous" and "ftp", as the anonymous account.
// Downloads only where a root grants read, uploads (STOR, nothing else that writes) only
// where it grants write; dotfiles and upload descriptions are never listed or fetched,
// and a symbolic link cannot lead out of the jail.

#include <string>
#include <vector>

struct CFtpRoot {
    std::string alias;        // normalised, "/incoming"
    std::string path;         // absolute, without a trailing '/'
    unsigned permissions = 0; // 1 read, 2 write
    std::string area;         // what it serves, for a comment
};

struct CFtpInstance {
    std::string comment;
    std::string address;
    int port = 0;
    std::vector<CFtpRoot> roots;
};

struct CFtpSite {
    std::string runDir; // dorvale-serve's directory; the server's files go to runDir/ftp
    std::string user;   // the account the server runs as (never root)
    std::string group;
    unsigned loginUid = 0; // the anonymous account's ids, which logins run as
    unsigned loginGid = 0;
    std::vector<CFtpInstance> instances;
};

// runDir/ftp, and the files in it.
std::string FtpDirectory(const std::string& runDir);

// proftpd.conf.
std::string BuildProftpdConfig(const CFtpSite& site);
// The user and group files of the anonymous logins.
std::string BuildFtpUsers(const CFtpSite& site);
std::string BuildFtpGroups(const CFtpSite& site);
