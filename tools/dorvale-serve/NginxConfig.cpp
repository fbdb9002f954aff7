#include "NginxConfig.h"

#include "GroupFiles.h"

#include <algorithm>
#include <cstring>

namespace {

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

// Text for a comment line: control characters would end it.
std::string CommentText(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return text;
}

std::string WithSlash(const std::string& directory) {
    return !directory.empty() && directory.back() == '/' ? directory : directory + "/";
}

// A virtual root. Inside it nothing is served that was never meant for visitors: no dotfile
// or dot-directory, no upload's description file (*.desc, which holds the uploader's
// address), and no symbolic link, which could lead out of the directory.
std::string AliasLocation(const CServedAlias& alias) {
    std::string conf = "        # " + CommentText(alias.area) + "\n";
    conf += "        location " + alias.alias + "/ {\n";
    conf += "            alias " + Quote(WithSlash(alias.path)) + ";\n";
    std::string path = alias.path;
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    conf += "            disable_symlinks on " + Quote("from=" + path) + ";\n";
    conf += "            location ~* \"(^|/)\\.|\\.desc$\" {\n                return 404;\n"
            "            }\n";
    conf += "            add_header X-Content-Type-Options nosniff always;\n";
    conf += "        }\n";
    return conf;
}

// The service's connections. nginx keeps at most half as many idle as the service has
// threads: a thread waits on its kept connection for the next request, and the other half
// must stay free for new connections, or requests could queue behind idle ones.
std::string VisitorServiceUpstream(const CNginxSite& site) {
    return "    upstream dorvale_web {\n        server " + Quote("unix:" + site.webSocket) +
           ";\n        keepalive " + std::to_string(std::max(1, site.webThreads / 2)) +
           ";\n    }\n";
}

std::string VisitorServiceLocation(const CNginxSite& site) {
    std::string conf = "        location " + std::string(SERVICE_LOCATION) + " {\n";
    conf += "            fastcgi_pass dorvale_web;\n";
    conf += "            fastcgi_keep_conn on;\n";
    for (const char* param : {"REQUEST_METHOD $request_method", "QUERY_STRING $query_string",
                              "CONTENT_TYPE $content_type", "CONTENT_LENGTH $content_length",
                              "DOCUMENT_URI $document_uri", "REQUEST_URI $request_uri",
                              "SERVER_PROTOCOL $server_protocol", "REMOTE_ADDR $remote_addr"}) {
        conf += std::string("            fastcgi_param ") + param + ";\n";
    }
    // Uploads: nginx takes the whole body into a temporary file first, then hands it on.
    conf += "            client_max_body_size " + std::to_string(site.webBodyLimit) + ";\n";
    conf += "            client_body_timeout 60s;\n";
    conf += "            add_header Content-Security-Policy \"default-src 'self'; script-src "
            "'none'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'; form-action "
            "'self'\" always;\n";
    conf += "            add_header X-Content-Type-Options nosniff always;\n";
    conf += "        }\n";
    return conf;
}

} // namespace

bool IsQuotable(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F || c == '"' || c == '\\' || c == '$') {
            return false;
        }
    }
    return true;
}

bool NormaliseAlias(const std::string& alias, std::string& normalised, std::string& why) {
    normalised.clear();
    std::string segment;
    std::string text = alias;
    for (char& c : text) {
        if (c == '\\') {
            c = '/';
        }
    }
    text += '/';
    for (char c : text) {
        if (c != '/') {
            segment += c;
            continue;
        }
        if (segment.empty()) {
            continue;
        }
        if (segment == "." || segment == "..") {
            why = "it has a \".\" or \"..\" segment";
            return false;
        }
        normalised += "/" + segment;
        segment.clear();
    }
    if (normalised.empty()) {
        why = "it is empty or the root";
        return false;
    }
    if (!IsQuotable(normalised) || normalised.find_first_of(" {};#") != std::string::npos) {
        why = "it has a space or one of \" \\ $ { } ; # or a control character";
        return false;
    }
    const std::size_t prefix = std::strlen(SITE_PREFIX);
    if (normalised.compare(0, prefix, SITE_PREFIX) == 0 &&
        (normalised.size() == prefix || normalised[prefix] == '/')) {
        why = std::string("it lies inside the pages' ") + SITE_PREFIX + "/";
        return false;
    }
    return true;
}

std::string BuildNginxConfig(const CNginxSite& site) {
    const std::string& run = site.runDir;
    std::string conf;
    conf += "# Written by dorvale-serve from the Dorvale settings; written again at each start.\n";
    if (!site.workerUser.empty()) {
        conf += "user " + site.workerUser + " " + site.workerGroup + ";\n";
    }
    conf += "worker_processes 1;\n";
    conf += "pid " + Quote(run + "/nginx.pid") + ";\n";
    conf += "error_log " + Quote(run + "/error.log") + " warn;\n";
    conf += "events {\n    worker_connections 256;\n}\n";
    conf += "http {\n";
    conf += "    access_log " + Quote(run + "/access.log") + ";\n";
    for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        conf += std::string("    ") + kind + "_temp_path " + Quote(run + "/temp/" + kind) + ";\n";
    }
    conf += "    types {\n"
            "        text/html html htm asp;\n"
            "        text/css css;\n"
            "        text/plain txt diz;\n"
            "        image/svg+xml svg;\n"
            "        image/png png;\n"
            "        image/jpeg jpg jpeg;\n"
            "        image/gif gif;\n"
            "        application/zip zip;\n"
            "    }\n"
            "    default_type application/octet-stream;\n"
            "    charset utf-8;\n"
            "    charset_types text/css text/plain; # text/html always\n"
            "    sendfile on;\n"
            "    server_tokens off;\n";
    if (!site.webSocket.empty()) {
        conf += VisitorServiceUpstream(site);
    }
    conf += "    server {\n";
    conf += "        listen " + site.address + ":" + std::to_string(site.port) + ";\n";
    conf += "        server_name localhost;\n";
    conf += "        location = / {\n            return 302 " + std::string(SITE_PREFIX) +
            "/index.asp;\n        }\n";
    conf += "        location = " + std::string(SITE_PREFIX) + " {\n            return 301 " +
            SITE_PREFIX + "/;\n        }\n";
    // The pages: .asp files are HTML whose includes nginx resolves. They run no script, and
    // the policy keeps it so even if a catalogue text slipped through unescaped.
    conf += "        location " + std::string(SITE_PREFIX) + "/ {\n";
    conf += "            alias " + Quote(WithSlash(site.httpPath)) + ";\n";
    conf += "            index index.asp;\n";
    conf += "            ssi on;\n";
    // An include names a group, URL-escaped: up to three bytes for each byte of the longest
    // name a group file can have, on top of the default room for the rest of the path.
    conf +=
        "            ssi_value_length " + std::to_string(256 + 3 * GROUP_NAME_MAX_BYTES) + ";\n";
    conf += "            add_header Content-Security-Policy \"default-src 'self'; script-src "
            "'none'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'\" always;\n";
    conf += "            add_header X-Content-Type-Options nosniff always;\n";
    conf += "        }\n";
    if (!site.webSocket.empty()) {
        conf += VisitorServiceLocation(site);
    }
    if (!site.indexService.empty()) {
        // The index server's pages, whatever their letter case, as its clients write them.
        conf += "        location ~* ^/dorvaleindex/ {\n";
        conf += "            proxy_pass http://" + site.indexService + ";\n";
        conf += "            client_max_body_size 1m;\n";
        conf += "            proxy_read_timeout 600s; # an update answers once it has indexed\n";
        conf += "            add_header X-Content-Type-Options nosniff always;\n";
        conf += "        }\n";
    }
    for (const CServedAlias& alias : site.aliases) {
        conf += AliasLocation(alias);
    }
    conf += "    }\n";
    for (const CNginxInstance& instance : site.instances) {
        conf += "    # " + CommentText(instance.comment) + "\n";
        conf += "    server {\n";
        conf += "        listen " + instance.address + ":" + std::to_string(instance.port) + ";\n";
        conf += "        server_name localhost;\n";
        for (const CServedAlias& alias : instance.aliases) {
            conf += AliasLocation(alias);
        }
        conf += "    }\n";
    }
    conf += "}\n";
    return conf;
}
