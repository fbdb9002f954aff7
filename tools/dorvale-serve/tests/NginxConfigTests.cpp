// The configuration text: which aliases can be published and what the file says.

#include "NginxConfig.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using ::testing::HasSubstr;
using ::testing::Not;

TEST(NginxAlias, NormalisedOrRefusedWithAReason) {
    std::string alias, why;
    const std::pair<const char*, const char*> good[] = {
        {"/downloads/archivers", "/downloads/archivers"},
        {"downloads/archivers/", "/downloads/archivers"},
        {"\\files\\Games\\", "/files/Games"},
        {"//a///b//", "/a/b"},
        {"/dorvalex", "/dorvalex"},
        {"/Café-ü", "/Café-ü"}};
    for (const auto& [input, expected] : good) {
        EXPECT_TRUE(NormaliseAlias(input, alias, why)) << input << ": " << why;
        EXPECT_EQ(alias, expected);
    }
    const std::pair<const char*, const char*> bad[] = {{"", "empty"},
                                                       {"/", "empty"},
                                                       {"\\\\", "empty"},
                                                       {"/a/../etc", "\"..\""},
                                                       {"/./a", "\".\""},
                                                       {"/dorvale", "inside"},
                                                       {"/dorvale/files", "inside"},
                                                       {"/with space", "space"},
                                                       {"/a$uri", "$"},
                                                       {"/a\"b", "\""},
                                                       {"/a;b", ";"},
                                                       {"/a{b}", "{"},
                                                       {"/a\nb", "control"}};
    for (const auto& [input, reason] : bad) {
        why.clear();
        EXPECT_FALSE(NormaliseAlias(input, alias, why)) << input;
        EXPECT_THAT(why, HasSubstr(reason)) << input;
    }
}

TEST(NginxAlias, QuotableText) {
    EXPECT_TRUE(IsQuotable("/srv/dorvale site/files (old)/Café"));
    EXPECT_FALSE(IsQuotable("/srv/$home"));
    EXPECT_FALSE(IsQuotable("/srv/a\"b"));
    EXPECT_FALSE(IsQuotable("/srv/a\\b"));
    EXPECT_FALSE(IsQuotable("/srv/a\tb"));
    EXPECT_FALSE(IsQuotable(std::string("/srv/a\x7f", 7)));
}

TEST(NginxConfig, PagesWithIncludesAreasAndPrivatePaths) {
    CNginxSite site;
    site.runDir = "/run/dv";
    site.address = "127.0.0.1";
    site.port = 18080;
    site.httpPath = "/srv/site/";
    site.aliases = {{"/downloads/one", "/srv/files/one", "One\nTwo"},
                    {"/dl/two", "/srv/files/two/", "Two"}};
    const std::string conf = BuildNginxConfig(site);
    EXPECT_THAT(conf, HasSubstr("pid \"/run/dv/nginx.pid\";"));
    EXPECT_THAT(conf, HasSubstr("error_log \"/run/dv/error.log\" warn;"));
    EXPECT_THAT(conf, HasSubstr("client_body_temp_path \"/run/dv/temp/client_body\";"));
    EXPECT_THAT(conf, HasSubstr("scgi_temp_path \"/run/dv/temp/scgi\";"));
    EXPECT_THAT(conf, HasSubstr("listen 127.0.0.1:18080;"));
    EXPECT_THAT(conf, HasSubstr("text/html html htm asp;"));
    EXPECT_THAT(conf, HasSubstr("location /dorvale/ {\n            alias \"/srv/site/\";\n"
                                "            index index.asp;\n            ssi on;\n"));
    EXPECT_THAT(conf, HasSubstr("script-src 'none'"));
    EXPECT_THAT(conf, HasSubstr("# One Two\n        location /downloads/one/ {\n"
                                "            alias \"/srv/files/one/\";"));
    // Inside an alias: no symbolic link is followed below the directory, and dotfiles and
    // uploads' description files are not found.
    EXPECT_THAT(conf, HasSubstr("location /dl/two/ {\n            alias \"/srv/files/two/\";\n"
                                "            disable_symlinks on \"from=/srv/files/two\";\n"
                                "            location ~* \"(^|/)\\.|\\.desc$\" {\n"
                                "                return 404;"));
    EXPECT_THAT(conf, Not(HasSubstr("user ")));
    EXPECT_THAT(conf, Not(HasSubstr("server {\n        listen 127.0.0.1:18081")));

    site.workerUser = "www-data";
    site.workerGroup = "www-data";
    site.aliases.clear();
    site.instances = {{"Second \"Site\"\n", "127.0.0.2", 18081, {{"/pub", "/srv/pub", "Pub"}}}};
    const std::string asRoot = BuildNginxConfig(site);
    EXPECT_EQ(asRoot.find("user www-data www-data;\n"), asRoot.find('\n') + 1);
    EXPECT_THAT(asRoot, Not(HasSubstr("location /dl/two/")));
    // A further instance is a server of its own with only its roots.
    EXPECT_THAT(asRoot, HasSubstr("    # Second \"Site\" \n    server {\n        listen "
                                  "127.0.0.2:18081;\n        server_name localhost;\n"
                                  "        # Pub\n        location /pub/ {\n"));
    EXPECT_THAT(asRoot, Not(HasSubstr("fastcgi_pass")));

    // The visitors' service: its own location, kept connections fewer than its threads.
    site.webSocket = "/run/dv/dorvale-web.sock";
    site.webThreads = 16;
    site.webBodyLimit = 65 << 20;
    const std::string withService = BuildNginxConfig(site);
    EXPECT_THAT(withService, HasSubstr("upstream dorvale_web {\n        server "
                                       "\"unix:/run/dv/dorvale-web.sock\";\n        keepalive 8;"));
    EXPECT_THAT(withService, HasSubstr("location /dorvale/do/ {\n            fastcgi_pass "
                                       "dorvale_web;\n            fastcgi_keep_conn on;\n"));
    EXPECT_THAT(withService, HasSubstr("fastcgi_param DOCUMENT_URI $document_uri;"));
    EXPECT_THAT(withService, HasSubstr("client_max_body_size 68157440;"));
}
