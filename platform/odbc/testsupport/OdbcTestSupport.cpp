#include "OdbcTestSupport.h"

#include "Database.h"

#include <odbcinst.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

namespace {

std::string FromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value && *value ? value : fallback;
}

// Writes through the installer, which also drops the driver manager's cache of ini values
// (a process that read them keeps them for some seconds otherwise).
void WriteUserValue(const std::string& section, const char* key, const char* value) {
    SQLSetConfigMode(ODBC_USER_DSN);
    BOOL written = SQLWritePrivateProfileString(section.c_str(), key, value, "odbc.ini");
    SQLSetConfigMode(ODBC_BOTH_DSN);
    if (!written) {
        throw std::runtime_error("cannot write the data source " + section);
    }
}

} // namespace

std::string SqliteDriverPath() {
    return FromEnvironment("DORVALE_SQLITE_ODBC_DRIVER", DORVALE_SQLITE_ODBC_DRIVER);
}

std::string PostgresDriverPath() {
    return FromEnvironment("DORVALE_PG_ODBC_DRIVER", DORVALE_PG_ODBC_DRIVER);
}

namespace {

// The driver manager reads ODBCSYSINI once per process and keeps it, so the system files
// live in one directory per process, emptied again by each UseOdbcIniFiles.
class CSystemIniDir {
public:
    CSystemIniDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/dorvale-odbc-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            throw std::runtime_error("cannot create a directory for the ODBC ini files");
        }
        m_path = pattern;
    }
    ~CSystemIniDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

const std::filesystem::path& SystemIniDir() {
    static CSystemIniDir dir;
    return dir.Path();
}

} // namespace

std::map<std::string, std::string> UseOdbcIniFiles(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    const std::filesystem::path& system = SystemIniDir();
    std::map<std::string, std::string> environment = {
        {"ODBCSYSINI", system.string()},
        {"ODBCINSTINI", "odbcinst.ini"},
        {"ODBCINI", (dir / "user-odbc.ini").string()},
    };
    static std::filesystem::path current;
    if (current == dir) {
        return environment; // already in use: keep the data sources written so far
    }
    current = dir;
    std::ofstream(system / "odbcinst.ini", std::ios::trunc | std::ios::binary)
        << "[" << SQLITE_DRIVER_NAME << "]\nDriver=" << SqliteDriverPath() << "\n\n"
        << "[" << POSTGRES_DRIVER_NAME << "]\nDriver=" << PostgresDriverPath() << "\n\n";
    std::ofstream(system / "odbc.ini", std::ios::trunc | std::ios::binary);
    std::ofstream(dir / "user-odbc.ini", std::ios::trunc | std::ios::binary);
    for (const auto& [name, value] : environment) {
        setenv(name.c_str(), value.c_str(), 1);
    }
    // Forget what an earlier configuration of this process left in the cache.
    WriteUserValue("Dorvale Test Scratch", "Scratch", "1");
    WriteUserValue("Dorvale Test Scratch", nullptr, nullptr);
    return environment;
}

void WriteDataSource(const std::string& name,
                     const std::map<std::string, std::string>& attributes) {
    for (const auto& [key, value] : attributes) {
        WriteUserValue(name, key.c_str(), value.c_str());
    }
}

void WriteSqliteDataSource(const std::string& name, const std::filesystem::path& database) {
    WriteDataSource(name, {{"Driver", SQLITE_DRIVER_NAME},
                           {"Database", database.string()},
                           {"Timeout", "10000"},
                           {"JournalMode", "WAL"},
                           {"SyncPragma", "NORMAL"}});
}

std::optional<std::map<std::string, std::string>> PostgresConnection() {
    const char* value = std::getenv("DORVALE_TEST_PG_CONNECTION");
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    std::map<std::string, std::string> pieces;
    std::istringstream in(value);
    std::string piece;
    while (std::getline(in, piece, ';')) {
        size_t equals = piece.find('=');
        if (equals != std::string::npos) {
            pieces[piece.substr(0, equals)] = piece.substr(equals + 1);
        }
    }
    return pieces;
}

CPostgresSchema::CPostgresSchema() {
    auto server = PostgresConnection();
    if (!server) {
        return;
    }
    m_server = *server;
    static std::atomic<int> counter{0};
    std::random_device random;
    std::ostringstream name;
    name << "dt_" << getpid() << "_" << counter++ << "_" << std::hex << (random() & 0xFFFFFF);
    CDatabase database;
    database.OpenEx(ConnectionString(), CDatabase::noOdbcDialog);
    database.ExecuteSQL("CREATE SCHEMA " + name.str());
    m_name = name.str();
}

CPostgresSchema::~CPostgresSchema() {
    if (m_name.empty()) {
        return;
    }
    try {
        CDatabase database;
        database.OpenEx(ConnectionString(), CDatabase::noOdbcDialog);
        database.ExecuteSQL("DROP SCHEMA " + m_name + " CASCADE");
    } catch (const std::exception&) {
        // The cluster is private to the test run and thrown away after it.
    }
}

std::map<std::string, std::string> CPostgresSchema::Attributes() const {
    std::map<std::string, std::string> attributes = m_server;
    attributes["Driver"] = POSTGRES_DRIVER_NAME;
    if (!m_name.empty()) {
        attributes["ConnSettings"] = "SET search_path TO " + m_name;
    }
    return attributes;
}

std::string CPostgresSchema::ConnectionString() const {
    std::string text = "Driver=" + PostgresDriverPath();
    for (const auto& [key, value] : m_server) {
        text += ";" + key + "=" + value;
    }
    if (!m_name.empty()) {
        text += ";ConnSettings=SET search_path TO " + m_name;
    }
    return text;
}

bool CPostgresSchema::Execute(const std::string& sql) const {
    try {
        CDatabase database;
        database.OpenEx(ConnectionString(), CDatabase::noOdbcDialog);
        database.ExecuteSQL(sql);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

const char* EngineName(EEngine engine) {
    return engine == EEngine::SQLite ? "SQLite" : "PostgreSQL";
}

CTestDataSource::CTestDataSource(EEngine engine, const std::filesystem::path& dir, std::string name)
    : m_engine(engine), m_name(std::move(name)) {
    if (m_name.empty()) {
        static std::atomic<int> counter{0};
        m_name = "DorvaleTest" + std::to_string(counter++);
    }
    m_environment = UseOdbcIniFiles(dir);
    if (engine == EEngine::SQLite) {
        m_file = dir / "catalogue.db";
        WriteSqliteDataSource(m_name, m_file);
        m_available = true;
        return;
    }
    if (!PostgresConnection()) {
        return;
    }
    m_schema = std::make_unique<CPostgresSchema>();
    WriteDataSource(m_name, m_schema->Attributes());
    m_available = m_schema->IsReady();
}

} // namespace testsupport
