// dorvale-dsn: creates, shows, checks and removes the catalogue's ODBC data source.
#include "DataSource.h"
#include "DorvaleDatabaseManager.h"
#include "Tool.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

const char USAGE[] =
    "Usage:\n"
    "  dorvale-dsn create --sqlite FILE [options]\n"
    "  dorvale-dsn create --postgresql CONNECTION [options]\n"
    "  dorvale-dsn show [--user | --system] [--name NAME]\n"
    "  dorvale-dsn check [--name NAME]\n"
    "  dorvale-dsn remove [--user | --system] [--name NAME]\n"
    "\n"
    "Creates, shows, checks and removes the ODBC data source of the Dorvale catalogue\n"
    "(named \"Dorvale\" unless --name says otherwise).\n"
    "\n"
    "create:\n"
    "  --sqlite FILE            the embedded catalogue: an SQLite database file (created\n"
    "                           with its directory when missing)\n"
    "  --postgresql CONNECTION  a PostgreSQL server, given as\n"
    "                             \"host=H port=P dbname=D user=U password=W\",\n"
    "                             \"postgresql://U:W@H:P/D\" or\n"
    "                             \"Servername=H;Port=P;Database=D;Username=U;Password=W\"\n"
    "  --user                   a data source of this user (the default)\n"
    "  --system                 a data source of every user of the machine\n"
    "  --driver DRIVER          the ODBC driver (a name from odbcinst.ini or a library path);\n"
    "                           found by itself otherwise\n"
    "  --force                  replace a data source of the same name\n"
    "  --if-missing             do nothing when the data source exists\n"
    "  --tables                 also create the catalogue's tables when they are missing\n"
    "show:    prints the data source's attributes (the password hidden); without --user\n"
    "         or --system the one the driver manager would use\n"
    "check:   connects and prints the product and whether the catalogue's tables exist\n"
    "remove:  removes the data source (from the user's files unless --system)\n"
    "\n"
    "Exit status: 0 done, 1 failed, 2 wrong usage.\n";

struct COptions {
    std::string command;
    std::string sqlite;
    std::string postgresql;
    bool haveSqlite = false;
    bool havePostgresql = false;
    std::string name = CDorvaleDatabaseManager::DEFAULT_DATA_SOURCE_NAME;
    std::string driver;
    bool user = false;
    bool system = false;
    bool force = false;
    bool ifMissing = false;
    bool tables = false;
};

const tool::CTool TOOL("dorvale-dsn", USAGE);

// The text is short: it comes whole with a usage error.
int Usage(const std::string& problem) {
    TOOL.Report(problem);
    std::fprintf(stderr, "\n%s", USAGE);
    return tool::EXIT_USAGE;
}

int Fail(const std::string& problem) {
    return TOOL.Fail(problem);
}

// Parses the arguments into options; returns -1 when parsing went well, else the exit status.
int Parse(tool::CArgs& args, COptions& options) {
    if (!args.Next()) {
        return Usage("no command given");
    }
    options.command = args.Current();
    if (options.command != "create" && options.command != "show" && options.command != "check" &&
        options.command != "remove") {
        return Usage("unknown command \"" + options.command + "\"");
    }
    const bool create = options.command == "create";
    while (args.Next()) {
        if (args.Is("--sqlite") && create) {
            if (!args.TakeValue(options.sqlite, true)) {
                return Usage("--sqlite needs a database file");
            }
            options.haveSqlite = true;
        } else if (args.Is("--postgresql") && create) {
            if (!args.TakeValue(options.postgresql, true)) {
                return Usage("--postgresql needs a connection");
            }
            options.havePostgresql = true;
        } else if (args.Is("--driver") && create) {
            if (!args.TakeValue(options.driver)) {
                return Usage("--driver needs a driver name or library");
            }
        } else if (args.Is("--name")) {
            if (!args.TakeValue(options.name)) {
                return Usage("--name needs a data source name");
            }
        } else if (args.Is("--user") && options.command != "check" && args.NoValue()) {
            options.user = true;
        } else if (args.Is("--system") && options.command != "check" && args.NoValue()) {
            options.system = true;
        } else if (args.Is("--force") && create && args.NoValue()) {
            options.force = true;
        } else if (args.Is("--if-missing") && create && args.NoValue()) {
            options.ifMissing = true;
        } else if (args.Is("--tables") && create && args.NoValue()) {
            options.tables = true;
        } else {
            return Usage(args.Unexpected() + " for " + options.command);
        }
    }
    if (options.user && options.system) {
        return Usage("choose --user or --system, not both");
    }
    if (options.command == "create") {
        if (options.haveSqlite == options.havePostgresql) {
            return Usage("create needs either --sqlite FILE or --postgresql CONNECTION");
        }
        if (options.force && options.ifMissing) {
            return Usage("choose --force or --if-missing, not both");
        }
    }
    return -1;
}

int CreateTables(const std::string& name) {
    CDorvaleDatabaseManager manager(false);
    manager.SetDataSourceName(name);
    if (!manager.Open(nullptr, nullptr)) {
        return Fail("cannot connect to the data source " + name +
                    " to create the tables (dorvale-dsn check tells why)");
    }
    if (manager.ExecuteSQL("select count(*) from files")) {
        std::printf("The catalogue's tables exist already.\n");
        return 0;
    }
    if (!manager.CreateAllTables()) {
        return Fail("the catalogue's tables could not be created");
    }
    std::printf("Created the catalogue's tables.\n");
    return 0;
}

int Create(const COptions& options) {
    EDataSourceScope scope = options.system ? EDataSourceScope::System : EDataSourceScope::User;
    const char* scopeName = ScopeName(scope);
    if (DataSourceExists(scope, options.name)) {
        if (options.ifMissing) {
            std::printf("The %s data source %s exists already; it is left as it is.\n", scopeName,
                        options.name.c_str());
            return options.tables ? CreateTables(options.name) : 0;
        }
        if (!options.force) {
            return Fail("the " + std::string(scopeName) + " data source " + options.name +
                        " exists already (--force replaces it)");
        }
    }

    std::vector<std::pair<std::string, std::string>> attributes;
    std::string description;
    EDriverKind kind = options.haveSqlite ? EDriverKind::Sqlite : EDriverKind::Postgresql;
    if (options.haveSqlite) {
        if (options.sqlite.empty()) {
            return Usage("--sqlite needs a database file");
        }
        if (!IsIniText(options.sqlite)) {
            return Fail("the database file's name holds a line break; it is not written");
        }
        std::error_code error;
        std::filesystem::path file = std::filesystem::absolute(options.sqlite, error);
        if (error) {
            return Fail("cannot resolve " + options.sqlite + ": " + error.message());
        }
        file = file.lexically_normal();
        if (std::filesystem::is_directory(file, error)) {
            return Fail(file.string() + " is a directory, not a database file");
        }
        std::filesystem::create_directories(file.parent_path(), error);
        if (error) {
            return Fail("cannot create " + file.parent_path().string() + ": " + error.message());
        }
        attributes = {{"Description", "Dorvale catalogue (SQLite)"},
                      {"Database", file.string()},
                      // Readers (the page generator) are not held up by a writer.
                      {"JournalMode", "WAL"},
                      {"SyncPragma", "NORMAL"},
                      {"Timeout", "100000"}};
        description = "SQLite database " + file.string();
    } else {
        std::string problem;
        if (!ParsePostgresConnection(options.postgresql, attributes, problem)) {
            return Usage("cannot read the PostgreSQL connection: " + problem);
        }
        attributes.insert(attributes.begin(), {"Description", "Dorvale catalogue (PostgreSQL)"});
        description = "PostgreSQL";
        for (const auto& [key, value] : attributes) {
            if (key == "Database") {
                description += " database " + value;
            } else if (key == "Servername") {
                description += " on " + value;
            }
        }
    }

    std::string driver = options.driver.empty() ? FindDriver(kind) : options.driver;
    if (driver.empty()) {
        return Fail(kind == EDriverKind::Sqlite
                        ? "the SQLite ODBC driver is not installed (Debian package libsqliteodbc)"
                        : "the PostgreSQL ODBC driver is not installed (Debian package "
                          "odbc-postgresql)");
    }
    std::string problem;
    if (!WriteDataSource(scope, options.name, driver, attributes, problem)) {
        return Fail("cannot write the data source: " + problem);
    }
    std::printf("Created the %s data source %s (%s) in %s.\n", scopeName, options.name.c_str(),
                description.c_str(), DataSourceFile(scope).c_str());
    return options.tables ? CreateTables(options.name) : 0;
}

int Show(const COptions& options) {
    std::vector<EDataSourceScope> scopes;
    if (options.system) {
        scopes = {EDataSourceScope::System};
    } else if (options.user) {
        scopes = {EDataSourceScope::User};
    } else {
        scopes = {EDataSourceScope::User, EDataSourceScope::System}; // the driver manager's order
    }
    for (EDataSourceScope scope : scopes) {
        auto attributes = ReadDataSource(scope, options.name);
        if (!attributes) {
            continue;
        }
        std::printf("[%s] %s data source in %s\n", options.name.c_str(), ScopeName(scope),
                    DataSourceFile(scope).c_str());
        for (const auto& [key, value] : *attributes) {
            bool secret = key == "Password" || key == "PWD" || key == "password";
            std::printf("%s=%s\n", key.c_str(),
                        secret && !value.empty() ? "********" : value.c_str());
        }
        return 0;
    }
    return Fail("there is no " +
                std::string(scopes.size() == 1 ? ScopeName(scopes[0]) + std::string(" ") : "") +
                "data source named " + options.name);
}

int Check(const COptions& options) {
    CDatabase database;
    try {
        database.OpenEx("DSN=" + options.name, CDatabase::noOdbcDialog);
    } catch (const CDBException& error) {
        return Fail("cannot connect to " + options.name + ": " + error.m_strError);
    }
    std::string version;
    try {
        version = database.GetInfoString(SQL_DBMS_VER);
    } catch (const CDBException&) {
        version.clear();
    }
    std::string product = database.GetDbmsName();
    CDatabaseType type = CDatabaseManager::DatabaseTypeFromName(product);
    std::printf("%s: %s %s (%s)\n", options.name.c_str(), product.c_str(), version.c_str(),
                type == DBTYPE_NONE ? "not a product the catalogue knows"
                : type == DBTYPE_SQLITE || type == DBTYPE_ACCESS || type == DBTYPE_FOXPRO
                    ? "file database"
                    : "server database");
    std::vector<std::string> missing;
    for (const char* table : {"files", "areafile", "download"}) {
        try {
            database.ExecuteSQL(std::string("select count(*) from ") + table);
        } catch (const CDBException&) {
            missing.push_back(table);
        }
    }
    if (missing.empty()) {
        std::printf("The catalogue's tables exist.\n");
    } else {
        std::string list;
        for (const std::string& table : missing) {
            list += (list.empty() ? "" : ", ") + table;
        }
        std::printf("Missing tables: %s.\n", list.c_str());
    }
    return 0;
}

int Remove(const COptions& options) {
    EDataSourceScope scope = options.system ? EDataSourceScope::System : EDataSourceScope::User;
    std::string problem;
    if (!RemoveDataSource(scope, options.name, problem)) {
        return Fail(problem);
    }
    std::printf("Removed the %s data source %s from %s.\n", ScopeName(scope), options.name.c_str(),
                DataSourceFile(scope).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    tool::CArgs args(argc, argv);
    if (args.HelpAsked()) {
        return TOOL.Help();
    }
    COptions options;
    const int status = Parse(args, options);
    if (status >= 0) {
        return status;
    }
    if (options.command == "create") {
        return Create(options);
    }
    if (options.command == "show") {
        return Show(options);
    }
    if (options.command == "check") {
        return Check(options);
    }
    return Remove(options);
}
