#pragma once
// Running the FTP server, and having a running server take a new configuration: the new
// file is checked by the server itself (nginx -t, proftpd -t) before it replaces the one in
// use; a refused one is kept beside it as .refused and reported, and the server goes on
// serving with the old one. A reload returns once the server serves with the new file.

#include "FtpConfig.h"
#include "NginxConfig.h"

#include <string>

// Writes runDir/nginx.conf anew from `site`, checked first, and has the nginx serving from
// runDir take it.
bool ReloadNginx(const std::string& nginx, const CNginxSite& site, std::string& error);

// The proftpd program, or empty.
std::string FindProftpd();
// The pid of the ProFTPD serving from runDir, or 0.
long RunningProftpd(const std::string& runDir);
// Writes its files, checks the configuration and starts it (as root it runs as site.user,
// its logins as the anonymous account); waits until every instance accepts connections.
bool StartProftpd(const std::string& proftpd, const CFtpSite& site, std::string& error);
bool StopProftpd(const std::string& runDir, std::string& error);
bool ReloadProftpd(const std::string& proftpd, const CFtpSite& site, std::string& error);
