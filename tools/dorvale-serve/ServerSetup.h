#pragma once
// What the web and FTP services publish, read from where the setup program keeps the
// virtual roots: the metabase when its admin base object can be made (instances with their
// descriptive names, bindings and roots, in effect at once through reload), otherwise the
// services' "Virtual Roots" registry keys (one instance each, in effect when the service
// starts). Roots that may not be published are left out with a warning naming the root and
// the areas it serves.

#include "FtpConfig.h"
#include "NginxConfig.h"

#include <string>
#include <vector>

struct CListenOptions {
    std::string address = "127.0.0.1";
    int port = 8080;
    bool portGiven = false; // --port or --address given: the site's instance listens there
    int ftpPort = 0;        // --ftp-port: the FTP instance's port (0: not given)
    std::string rootDirectory; // the directory of a new instance's root "/"
};

struct CServedInstance {
    unsigned number = 1;
    std::string comment;
    std::string address;
    int port = 0;
    std::vector<CFtpRoot> roots; // readable and writable roots (the web serves the readable)
};

struct CServiceSetup {
    bool metabase = false; // read from the metabase
    std::vector<CServedInstance> instances;
    std::string anonymousUser; // written where the setup program reads it
};

// Reads the web service (W3SVC) or the FTP service (MSFTPSVC). In the metabase, the first
// start makes "Default Web Site" (and, with --ftp-port, "Default FTP Site") and given
// options move the site's instance (WebServerName's, else the first). `anonymousUser` is
// stored as the service's anonymous account (property 6020, or AnonymousUserName). The
// site's instance comes first. False with the reason when nothing can be read.
bool ReadServiceSetup(const std::string& service, const CListenOptions& options,
                      const std::string& anonymousUser, CServiceSetup& setup,
                      std::vector<std::string>& warnings, std::string& error);

// The web service's instances as nginx serves them: the first one's roots into
// `site.aliases`, the others as further servers.
void AddWebInstances(const CServiceSetup& setup, CNginxSite& site);
// The FTP service's instances.
void AddFtpInstances(const CServiceSetup& setup, CFtpSite& site);
