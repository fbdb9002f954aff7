#pragma once
// Private ODBC configuration for tests and benchmarks: ini files in a directory of the
// test's own, the SQLite and PostgreSQL drivers registered by path, and for PostgreSQL a
// schema of the test's own on the test server (DORVALE_TEST_PG_CONNECTION).

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace testsupport {

// Driver names registered in the private odbcinst.ini.
inline constexpr const char* SQLITE_DRIVER_NAME = "Dorvale Test SQLite3";
inline constexpr const char* POSTGRES_DRIVER_NAME = "Dorvale Test PostgreSQL";

std::string SqliteDriverPath();
std::string PostgresDriverPath();

// Points this process at private ini files: odbcinst.ini with both drivers and an empty
// system odbc.ini in a directory of the process (the driver manager fixes that directory at
// its first use, so it is emptied here instead), and an empty user odbc.ini in `dir`.
// Called again with the same `dir`, it keeps the files as they are.
// Returns the environment (name to value) that does the same for a child process.
std::map<std::string, std::string> UseOdbcIniFiles(const std::filesystem::path& dir);

// Writes a user data source (through the ODBC installer) into the files UseOdbcIniFiles
// chose.
void WriteDataSource(const std::string& name, const std::map<std::string, std::string>& attributes);

// A user data source on an SQLite database file.
void WriteSqliteDataSource(const std::string& name, const std::filesystem::path& database);

// The pieces of DORVALE_TEST_PG_CONNECTION ("Servername=...;Port=...;..."), or nothing
// when the variable is not set (the test server is not running).
std::optional<std::map<std::string, std::string>> PostgresConnection();

// The message with which PostgreSQL tests skip when the server is absent.
inline constexpr const char* NO_POSTGRES =
    "DORVALE_TEST_PG_CONNECTION is not set: start scripts/services.d/postgresql.sh and "
    "source its env file to run the PostgreSQL tests";

// A schema of its own on the test server, dropped with everything in it on destruction.
// Data sources written with WriteDataSource(Attributes()) work inside it.
class CPostgresSchema {
public:
    CPostgresSchema();
    ~CPostgresSchema();
    CPostgresSchema(const CPostgresSchema&) = delete;
    CPostgresSchema& operator=(const CPostgresSchema&) = delete;

    bool IsReady() const { return !m_name.empty(); }
    const std::string& Name() const { return m_name; }
    // The data source attributes: driver, server, database, credentials, search path.
    std::map<std::string, std::string> Attributes() const;
    // A connection string reaching the schema without a data source.
    std::string ConnectionString() const;
    // Runs one statement in the schema; false on failure.
    bool Execute(const std::string& sql) const;

private:
    std::map<std::string, std::string> m_server;
    std::string m_name;
};

enum class EEngine { SQLite, PostgreSQL };
const char* EngineName(EEngine engine);

// A data source on one engine, configured in `dir` (which the caller owns): an SQLite
// database file in `dir`, or a private schema on the PostgreSQL test server.
// IsAvailable() is false for PostgreSQL when the test server is not running.
// Without a name it gets one no other data source of the process had: the driver manager
// remembers what it read about a data source name for a while, so a name is never given
// a second definition within one process.
class CTestDataSource {
public:
    CTestDataSource(EEngine engine, const std::filesystem::path& dir, std::string name = {});

    bool IsAvailable() const { return m_available; }
    EEngine Engine() const { return m_engine; }
    const std::string& Name() const { return m_name; }
    // The environment entries that point a child process at the same ini files.
    const std::map<std::string, std::string>& Environment() const { return m_environment; }
    // The schema (PostgreSQL) or null (SQLite).
    const CPostgresSchema* Schema() const { return m_schema.get(); }
    // The SQLite database file (empty for PostgreSQL).
    const std::filesystem::path& DatabaseFile() const { return m_file; }

private:
    EEngine m_engine;
    std::string m_name;
    bool m_available = false;
    std::map<std::string, std::string> m_environment;
    std::unique_ptr<CPostgresSchema> m_schema;
    std::filesystem::path m_file;
};

} // namespace testsupport
