#include "DataSource.h"

#include "Fd.h"
#include "OdbcText.h"
#include "Text.h"

#include <odbcinst.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <sys/stat.h>

namespace {

using odbctext::Trim;

// Runs installer calls in one scope and goes back to the driver manager's usual both.
class CScopeMode {
public:
    explicit CScopeMode(EDataSourceScope scope) {
        SQLSetConfigMode(scope == EDataSourceScope::User ? ODBC_USER_DSN : ODBC_SYSTEM_DSN);
    }
    ~CScopeMode() { SQLSetConfigMode(ODBC_BOTH_DSN); }
    CScopeMode(const CScopeMode&) = delete;
    CScopeMode& operator=(const CScopeMode&) = delete;
};

std::vector<std::string> SplitMulti(const std::vector<char>& buffer, int length) {
    std::vector<std::string> items;
    size_t end = std::min(buffer.size(), static_cast<size_t>(std::max(length, 0)) + 1);
    size_t at = 0;
    while (at < end && buffer[at] != '\0') {
        std::string item(&buffer[at]);
        at += item.size() + 1;
        items.push_back(item);
    }
    return items;
}

// A profile read: sections (section null), keys (key null) or one value.
std::vector<std::string> ReadProfile(const char* section, const char* key, const char* file) {
    std::vector<char> buffer(65536, '\0');
    int length = SQLGetPrivateProfileString(section, key, "", buffer.data(),
                                            static_cast<int>(buffer.size()) - 1, file);
    if (length < 0) {
        return {};
    }
    if (section != nullptr && key != nullptr) {
        return {std::string(buffer.data())};
    }
    return SplitMulti(buffer, length);
}

std::string InstallerError() {
    std::string text;
    for (WORD record = 1; record <= 8; ++record) {
        DWORD code = 0;
        char message[SQL_MAX_MESSAGE_LENGTH] = {};
        WORD length = 0;
        RETCODE rc = SQLInstallerError(record, &code, message, sizeof message, &length);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            break;
        }
        if (message[0] != '\0') {
            if (!text.empty()) {
                text += "; ";
            }
            text += message;
        }
    }
    return text.empty() ? "the ODBC installer refused the change" : text;
}

std::string MatchingName(EDataSourceScope scope, const std::string& name) {
    CScopeMode mode(scope);
    for (const std::string& section : ReadProfile(nullptr, nullptr, "odbc.ini")) {
        if (base::EqualsNoCase(section, name) &&
            !base::EqualsNoCase(section, "odbc data sources")) {
            return section;
        }
    }
    return {};
}

void SetAttribute(std::vector<std::pair<std::string, std::string>>& attributes,
                  const std::string& key, const std::string& value) {
    for (auto& attribute : attributes) {
        if (base::EqualsNoCase(attribute.first, key)) {
            attribute.second = value;
            return;
        }
    }
    attributes.emplace_back(key, value);
}

// The keyword spellings of PostgreSQL connections, as psqlODBC names them.
std::string PostgresKey(const std::string& key) {
    std::string lowered = base::LowerAscii(Trim(key));
    if (lowered == "host" || lowered == "server" || lowered == "servername" ||
        lowered == "hostaddr") {
        return "Servername";
    }
    if (lowered == "port") {
        return "Port";
    }
    if (lowered == "dbname" || lowered == "database" || lowered == "db") {
        return "Database";
    }
    if (lowered == "user" || lowered == "username" || lowered == "uid") {
        return "Username";
    }
    if (lowered == "password" || lowered == "pwd") {
        return "Password";
    }
    if (lowered == "sslmode") {
        return "SSLmode";
    }
    if (lowered == "connsettings") {
        return "ConnSettings";
    }
    return {};
}

// The attribute a connection keyword names; false with `error` set for a keyword that is not
// part of a PostgreSQL connection (Driver, Setup and LoadExt would load a library of the
// writer's choosing when the data source is opened).
bool AddPostgresAttribute(std::vector<std::pair<std::string, std::string>>& attributes,
                          const std::string& key, const std::string& value, std::string& error) {
    std::string attribute = PostgresKey(key);
    if (attribute.empty()) {
        error = "\"" + Trim(key) +
                "\" is not a PostgreSQL connection keyword (host, port, dbname, user, password, "
                "sslmode, ConnSettings)";
        return false;
    }
    SetAttribute(attributes, attribute, value);
    return true;
}

bool ParseUrl(const std::string& text, std::vector<std::pair<std::string, std::string>>& attributes,
              std::string& error) {
    std::string rest = text.substr(text.find("://") + 3);
    std::string query;
    if (size_t mark = rest.find('?'); mark != std::string::npos) {
        query = rest.substr(mark + 1);
        rest.erase(mark);
    }
    std::string database;
    if (size_t slash = rest.find('/'); slash != std::string::npos) {
        database = rest.substr(slash + 1);
        rest.erase(slash);
    }
    std::string user;
    std::string password;
    if (size_t at = rest.rfind('@'); at != std::string::npos) {
        std::string credentials = rest.substr(0, at);
        rest.erase(0, at + 1);
        size_t colon = credentials.find(':');
        user = credentials.substr(0, colon);
        if (colon != std::string::npos) {
            password = credentials.substr(colon + 1);
        }
    }
    std::string host = rest;
    std::string port;
    if (!host.empty() && host[0] == '[') { // [IPv6]:port
        size_t close = host.find(']');
        if (close == std::string::npos) {
            error = "the host of the URL is not closed by ']'";
            return false;
        }
        port = host.size() > close + 2 && host[close + 1] == ':' ? host.substr(close + 2) : "";
        host = host.substr(1, close - 1);
    } else if (size_t colon = host.rfind(':'); colon != std::string::npos) {
        port = host.substr(colon + 1);
        host.erase(colon);
    }
    if (!port.empty() && !std::all_of(port.begin(), port.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; })) {
        error = "the port \"" + port + "\" is not a number";
        return false;
    }
    std::string decoded;
    auto add = [&](const std::string& key, const std::string& value) {
        if (value.empty()) {
            return true;
        }
        if (!base::PercentDecode(value, decoded, false)) {
            error = "bad %-escape in \"" + value + "\"";
            return false;
        }
        return AddPostgresAttribute(attributes, key, decoded, error);
    };
    if (!add("Servername", host) || !add("Port", port) || !add("Database", database) ||
        !add("Username", user) || !add("Password", password)) {
        return false;
    }
    std::istringstream pieces(query);
    std::string piece;
    while (std::getline(pieces, piece, '&')) {
        size_t equals = piece.find('=');
        if (equals == std::string::npos) {
            error = "the URL parameter \"" + piece + "\" has no value";
            return false;
        }
        if (!add(piece.substr(0, equals), piece.substr(equals + 1))) {
            return false;
        }
    }
    return true;
}

// libpq keywords: key=value separated by spaces; a value may be quoted with '...'.
bool ParseKeywords(const std::string& text,
                   std::vector<std::pair<std::string, std::string>>& attributes,
                   std::string& error) {
    size_t at = 0;
    while (true) {
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        if (at >= text.size()) {
            return true;
        }
        size_t equals = text.find('=', at);
        if (equals == std::string::npos) {
            error = "\"" + text.substr(at) + "\" is not key=value";
            return false;
        }
        std::string key = Trim(text.substr(at, equals - at));
        if (key.empty() || key.find_first_of(" \t") != std::string::npos) {
            error = "\"" + text.substr(at, equals - at) + "\" is not a keyword";
            return false;
        }
        at = equals + 1;
        while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) {
            ++at;
        }
        std::string value;
        if (at < text.size() && text[at] == '\'') {
            ++at;
            bool closed = false;
            while (at < text.size()) {
                char c = text[at++];
                if (c == '\\' && at < text.size()) {
                    value += text[at++];
                } else if (c == '\'') {
                    closed = true;
                    break;
                } else {
                    value += c;
                }
            }
            if (!closed) {
                error = "the value of " + key + " has no closing quote";
                return false;
            }
        } else {
            while (at < text.size() && !std::isspace(static_cast<unsigned char>(text[at]))) {
                value += text[at++];
            }
        }
        if (!AddPostgresAttribute(attributes, key, value, error)) {
            return false;
        }
    }
}

// Makes the scope's file one that only its owner reads, before a password goes into it (the
// installer keeps a file's mode when it rewrites it). The system file is read by every user
// who opens the data source, so it keeps no password at all.
bool KeepFromOthers(EDataSourceScope scope, std::string& error) {
    if (scope == EDataSourceScope::System) {
        error = "the system data source file is read by every user of the machine and keeps "
                "no password: leave the password out (PostgreSQL reads it from each user's "
                "~/.pgpass) or create a --user data source";
        return false;
    }
    std::string file = DataSourceFile(scope);
    base::CFd fd(open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    if (!fd.IsOpen() || fchmod(fd.Get(), 0600) != 0) {
        error = "cannot keep " + file + " from other users: " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

const char* ScopeName(EDataSourceScope scope) {
    return scope == EDataSourceScope::User ? "user" : "system";
}

std::string DataSourceFile(EDataSourceScope scope) {
    if (scope == EDataSourceScope::User) {
        if (const char* file = std::getenv("ODBCINI"); file && *file) {
            return file;
        }
        const char* home = std::getenv("HOME");
        return std::string(home && *home ? home : "") + "/.odbc.ini";
    }
    if (const char* dir = std::getenv("ODBCSYSINI"); dir && *dir) {
        return std::string(dir) + "/odbc.ini";
    }
    return "/etc/odbc.ini";
}

bool DataSourceExists(EDataSourceScope scope, const std::string& name) {
    return !MatchingName(scope, name).empty();
}

std::optional<std::vector<std::pair<std::string, std::string>>>
ReadDataSource(EDataSourceScope scope, const std::string& name) {
    std::string section = MatchingName(scope, name);
    if (section.empty()) {
        return std::nullopt;
    }
    CScopeMode mode(scope);
    std::vector<std::pair<std::string, std::string>> attributes;
    for (const std::string& key : ReadProfile(section.c_str(), nullptr, "odbc.ini")) {
        std::vector<std::string> value = ReadProfile(section.c_str(), key.c_str(), "odbc.ini");
        attributes.emplace_back(key, value.empty() ? std::string() : value[0]);
    }
    return attributes;
}

bool IsIniText(const std::string& text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

bool HoldsPassword(const std::vector<std::pair<std::string, std::string>>& attributes) {
    return std::any_of(attributes.begin(), attributes.end(), [](const auto& attribute) {
        return (base::EqualsNoCase(attribute.first, "Password") ||
                base::EqualsNoCase(attribute.first, "PWD")) &&
               !attribute.second.empty();
    });
}

bool WriteDataSource(EDataSourceScope scope, const std::string& name, const std::string& driver,
                     const std::vector<std::pair<std::string, std::string>>& attributes,
                     std::string& error) {
    if (name.empty() || name.find_first_of("[]=;{}") != std::string::npos || !IsIniText(name)) {
        error = "\"" + name + "\" cannot name a data source";
        return false;
    }
    if (!IsIniText(driver)) {
        error = "the driver holds a line break";
        return false;
    }
    for (const auto& [key, value] : attributes) {
        if (key.empty() || key.find_first_of("[]=") != std::string::npos || !IsIniText(key)) {
            error = "\"" + key + "\" cannot name an attribute";
            return false;
        }
        // The driver is named apart; these would load a library when the source is opened.
        if (base::EqualsNoCase(key, "Driver") || base::EqualsNoCase(key, "Setup") ||
            base::EqualsNoCase(key, "LoadExt")) {
            error = "an attribute may not set " + key;
            return false;
        }
        if (!IsIniText(value)) {
            error = "the value of " + key + " holds a line break or a NUL";
            return false;
        }
    }
    if (HoldsPassword(attributes) && !KeepFromOthers(scope, error)) {
        return false;
    }
    CScopeMode mode(scope);
    if (!SQLWriteDSNToIni(name.c_str(), driver.c_str())) {
        error = InstallerError();
        return false;
    }
    for (const auto& [key, value] : attributes) {
        if (!SQLWritePrivateProfileString(name.c_str(), key.c_str(), value.c_str(), "odbc.ini")) {
            error = InstallerError();
            SQLRemoveDSNFromIni(name.c_str()); // no half-written data source
            return false;
        }
    }
    return true;
}

bool RemoveDataSource(EDataSourceScope scope, const std::string& name, std::string& error) {
    std::string section = MatchingName(scope, name);
    if (section.empty()) {
        error = "there is no " + std::string(ScopeName(scope)) + " data source named " + name;
        return false;
    }
    CScopeMode mode(scope);
    if (!SQLRemoveDSNFromIni(section.c_str())) {
        error = InstallerError();
        return false;
    }
    return true;
}

std::string FindDriver(EDriverKind kind) {
    // Library names in order of preference: the ANSI PostgreSQL driver passes UTF-8 through.
    std::vector<std::string> libraries = kind == EDriverKind::Sqlite
                                             ? std::vector<std::string>{"libsqlite3odbc"}
                                             : std::vector<std::string>{"psqlodbca", "psqlodbcw"};
    std::vector<char> buffer(65536, '\0');
    WORD length = 0;
    std::vector<std::string> installed;
    if (SQLGetInstalledDrivers(buffer.data(), static_cast<WORD>(buffer.size() - 1), &length)) {
        installed = SplitMulti(buffer, length);
    }
    for (const std::string& library : libraries) {
        for (const std::string& driver : installed) {
            std::vector<std::string> path = ReadProfile(driver.c_str(), "Driver", "odbcinst.ini");
            if (path.empty()) {
                continue;
            }
            std::string file = std::filesystem::path(path[0]).filename().string();
            if (file.rfind(library, 0) == 0 && file.find(".so") != std::string::npos) {
                return driver;
            }
        }
    }
    const std::vector<std::string> dirs = {
        std::string("/usr/lib/") + DORVALE_LIBRARY_ARCH + "/odbc", "/usr/lib/odbc",
        "/usr/local/lib/odbc", "/usr/lib64", "/usr/lib"};
    for (const std::string& library : libraries) {
        for (const std::string& dir : dirs) {
            std::error_code ignored;
            std::filesystem::path candidate = std::filesystem::path(dir) / (library + ".so");
            if (std::filesystem::exists(candidate, ignored)) {
                return candidate.string();
            }
        }
    }
    return {};
}

bool ParsePostgresConnection(const std::string& text,
                             std::vector<std::pair<std::string, std::string>>& attributes,
                             std::string& error) {
    attributes.clear();
    std::string trimmed = Trim(text);
    if (trimmed.empty()) {
        error = "the connection is empty";
        return false;
    }
    std::string lowered = base::LowerAscii(trimmed);
    bool parsed = false;
    if (lowered.rfind("postgresql://", 0) == 0 || lowered.rfind("postgres://", 0) == 0) {
        parsed = ParseUrl(trimmed, attributes, error);
    } else if (trimmed.find(';') != std::string::npos ||
               trimmed.find_first_of(" \t") == std::string::npos) {
        // ODBC attributes: key=value;key=value (values may hold spaces).
        std::istringstream pieces(trimmed);
        std::string piece;
        parsed = true;
        while (std::getline(pieces, piece, ';')) {
            if (Trim(piece).empty()) {
                continue;
            }
            size_t equals = piece.find('=');
            if (equals == std::string::npos || Trim(piece.substr(0, equals)).empty()) {
                error = "\"" + Trim(piece) + "\" is not key=value";
                parsed = false;
                break;
            }
            if (!AddPostgresAttribute(attributes, piece.substr(0, equals),
                                      Trim(piece.substr(equals + 1)), error)) {
                parsed = false;
                break;
            }
        }
    } else {
        parsed = ParseKeywords(trimmed, attributes, error);
    }
    if (!parsed) {
        attributes.clear();
        return false;
    }
    if (attributes.empty()) {
        error = "the connection names nothing";
        return false;
    }
    return true;
}
