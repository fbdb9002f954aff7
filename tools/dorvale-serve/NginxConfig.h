#pragma once
// The nginx configuration that serves a Dorvale site: the generated pages under /dorvale/
// with server-side includes, and the directories of locally hosted areas under their HTTP
// aliases. Pure text work; running nginx is elsewhere.

#include <string>
#include <vector>

struct CServedAlias {
    std::string alias; // "/downloads/archivers", normalised
    std::string path;  // the directory it publishes
    std::string area;  // what it serves (the areas' names), for a comment
};

// A further web instance: a server of its own that publishes its virtual roots only.
struct CNginxInstance {
    std::string comment; // its descriptive name, for a comment
    std::string address;
    int port = 0;
    std::vector<CServedAlias> aliases;
};

struct CNginxSite {
    std::string runDir; // configuration, pid, logs and temporary files
    std::string address = "127.0.0.1";
    int port = 8080;
    std::string httpPath; // the generated site
    std::vector<CServedAlias> aliases;
    std::vector<CNginxInstance> instances; // the other web instances
    // "address:port" of the index server, which answers /dorvaleindex/ (empty: none runs).
    std::string indexService;
    // Workers run as this user when nginx starts as root (nginx's own default otherwise).
    std::string workerUser;
    std::string workerGroup;
    // The visitors' service (dorvale-web) under SERVICE_PREFIX: its Unix socket, the threads
    // it serves with (each kept connection from nginx holds one, so enough for nginx to keep
    // many without opening new ones), and the largest request body it takes. No service when
    // empty.
    std::string webSocket;
    int webThreads = 64;
    long long webBodyLimit = 0;
};

// Where the visitors' service answers.
inline constexpr char SERVICE_LOCATION[] = "/dorvale/do/";

// The virtual directory the pages are published under.
inline constexpr char SITE_PREFIX[] = "/dorvale";

// Makes an area's HTTP alias a location: '\' read as '/', one leading '/', no trailing '/',
// no empty, "." or ".." segment, nothing that nginx would read as a variable or a quote.
// False with the reason when the alias cannot be published.
[[nodiscard]] bool NormaliseAlias(const std::string& alias, std::string& normalised,
                                  std::string& why);

// Text that can stand inside a double-quoted nginx string as it is: no '"', '\', '$', and
// no control characters.
[[nodiscard]] bool IsQuotable(const std::string& text);

// The whole configuration file. Every path must be absolute and quotable.
std::string BuildNginxConfig(const CNginxSite& site);
