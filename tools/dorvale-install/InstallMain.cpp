// dorvale-install: installs a working Dorvale into a directory, as the install program did.
#include "Installation.h"
#include "Tool.h"

#include <cstdio>
#include <string>

namespace {

const char USAGE[] =
    "Usage: dorvale-install [--prefix DIR] [--database sqlite:FILE | postgresql:CONNECTION]\n"
    "                       [--web-port N] [--ftp-port N] [--user-data-source]\n"
    "                       [--templates DIR]\n"
    "\n"
    "Installs Dorvale into DIR and records what it did in DIR/_UNINST.INI, so that\n"
    "dorvale-uninstall can take exactly that away again:\n"
    "  - registers the automation classes Dorvale.Metabase, Catalink, QTRWeb and Liftwell\n"
    "    (dorvale-regsvr);\n"
    "  - makes the web server's instance \"Default Web Site\" in the metabase (and \"Default\n"
    "    FTP Site\" with --ftp-port) unless it has one;\n"
    "  - writes the settings InstallDir (DIR), HttpPath (DIR/site), DatabasePath (DIR/data),\n"
    "    WebServerName and FtpServerName;\n"
    "  - makes the ODBC data source \"Dorvale\" (a system data source; --user-data-source for\n"
    "    a user one) and runs the schema script that creates the catalogue's tables, unless\n"
    "    they are there;\n"
    "  - copies the site's templates to DIR/templates and its assets to DIR/site/assets;\n"
    "  - makes the virtual directory /dorvale for DIR/site.\n"
    "Run again, it keeps what is there and brings the rest up to date. An existing data\n"
    "source \"Dorvale\" that it did not make is used as it is.\n"
    "\n"
    "Options:\n"
    "  --prefix DIR          where Dorvale lives (default /srv/dorvale)\n"
    "  --database sqlite:FILE\n"
    "                        the embedded catalogue, an SQLite file (the default,\n"
    "                        DIR/data/dorvale.db)\n"
    "  --database postgresql:CONNECTION\n"
    "                        a PostgreSQL database: \"host=H port=P dbname=D user=U\",\n"
    "                        a postgresql:// URL, or ODBC attributes; a password only\n"
    "                        with --user-data-source (else from ~/.pgpass)\n"
    "  --web-port N          the port of the web instance (default 8080)\n"
    "  --ftp-port N          also make an FTP instance on this port\n"
    "  --user-data-source    make \"Dorvale\" a user data source (~/.odbc.ini)\n"
    "  --templates DIR       the templates to install (default: those that come with\n"
    "                        Dorvale)\n"
    "  --help                show this text\n"
    "\n"
    "Then serve the site with \"dorvale-serve start\" and set it up with dorvale-setup or\n"
    "\"dorvale config\". The registry is $DORVALE_REGISTRY when set; the ODBC files those\n"
    "of ODBCSYSINI and ODBCINI.\n"
    "Exit status: 0 installed, 1 failed (what was done stays recorded), 2 wrong usage.\n";

} // namespace

int main(int argc, char** argv) {
    tool::CTool tool("dorvale-install", USAGE);
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return tool.Help();
    }
    installation::CInstallOptions options;
    options.prefix = "/srv/dorvale";
    while (args.Next()) {
        long long number = 0;
        std::string database;
        if (args.Is("--prefix")) {
            if (!args.TakeValue(options.prefix)) {
                return tool.UsageError("--prefix needs a directory");
            }
        } else if (args.Is("--database")) {
            if (!args.TakeValue(database)) {
                return tool.UsageError("--database needs sqlite:FILE or postgresql:CONNECTION");
            }
            if (database.rfind("sqlite:", 0) == 0 && database.size() > 7) {
                options.database = installation::EDatabaseKind::Sqlite;
                options.sqliteFile = database.substr(7);
            } else if (database.rfind("postgresql:", 0) == 0 && database.size() > 11) {
                options.database = installation::EDatabaseKind::Postgresql;
                options.postgresConnection = database.substr(11);
            } else {
                return tool.UsageError("--database needs sqlite:FILE or postgresql:CONNECTION");
            }
        } else if (args.Is("--web-port") || args.Is("--ftp-port")) {
            const bool web = args.Is("--web-port");
            if (!args.TakeNumber(number, 1, 65535)) {
                return tool.UsageError(std::string(web ? "--web-port" : "--ftp-port") +
                                       " needs a port from 1 to 65535");
            }
            (web ? options.webPort : options.ftpPort) = static_cast<int>(number);
        } else if (args.Is("--user-data-source") && args.NoValue()) {
            options.userDataSource = true;
        } else if (args.Is("--templates")) {
            if (!args.TakeValue(options.templatesDir)) {
                return tool.UsageError("--templates needs a directory");
            }
        } else {
            return tool.UsageError(args.Unexpected());
        }
    }
    std::string error;
    const bool done = installation::Install(
        options,
        [](const std::string& line) { std::printf("dorvale-install: %s\n", line.c_str()); }, error);
    if (!done) {
        return tool.Fail(error);
    }
    std::printf("dorvale-install: Dorvale is installed in %s\n", options.prefix.c_str());
    return tool::EXIT_DONE;
}
