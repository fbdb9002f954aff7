#include "DatabaseManager.h"

#include "Fd.h"
#include "Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <clocale>
#include <ctime>
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

CLockManager* CDatabaseManager::DatabaseLock = nullptr;
CCriticalSection CDatabaseManager::InternalLock;
int CDatabaseManager::RefCount = 0;

namespace {

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](unsigned char c) { return std::isspace(c) != 0; });
}

// One log line per message, whatever the driver put in it.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    return text;
}

} // namespace

CDatabaseManager::CDatabaseManager() {
    InternalLock.Lock();
    ++RefCount;
    InternalLock.Unlock();
}

CDatabaseManager::~CDatabaseManager() {
    InternalLock.Lock();
    if (--RefCount == 0) {
        delete DatabaseLock;
        DatabaseLock = nullptr;
    }
    InternalLock.Unlock();
    // The connection itself is closed by CDatabase's destructor.
}

void CDatabaseManager::Close() {
    CDatabase::Close();
}

CDatabaseType CDatabaseManager::DatabaseTypeFromName(const std::string& dbmsName) {
    if (base::EqualsNoCase(dbmsName, "Microsoft SQL Server")) {
        return DBTYPE_SQLSERVER;
    }
    if (base::EqualsNoCase(dbmsName, "FOXPRO")) {
        return DBTYPE_FOXPRO;
    }
    if (base::EqualsNoCase(dbmsName, "ACCESS")) {
        return DBTYPE_ACCESS;
    }
    if (base::EqualsNoCase(dbmsName, "SQLite")) {
        return DBTYPE_SQLITE;
    }
    if (base::EqualsNoCase(dbmsName, "PostgreSQL")) {
        return DBTYPE_POSTGRESQL;
    }
    return DBTYPE_NONE;
}

bool CDatabaseManager::Open(const char* dsn, const char* user, const char* password,
                            bool noDialog) {
    m_databaseType = DBTYPE_NONE;
    std::string connect = "DSN=" + std::string(dsn ? dsn : "");
    if (user != nullptr || password != nullptr) {
        connect += ";UID=" + std::string(user ? user : "") +
                   ";PWD=" + std::string(password ? password : "");
    }
    try {
        if (!OpenEx(connect, noDialog ? CDatabase::noOdbcDialog : 0u)) {
            return false;
        }
        std::string dbms;
        try {
            dbms = GetInfoString(SQL_DBMS_NAME, 256);
        } catch (const CDBException&) {
            dbms.clear(); // an unnamed product is DBTYPE_NONE
        }
        m_databaseType = DatabaseTypeFromName(dbms);

        InternalLock.Lock();
        if (DatabaseLock == nullptr) {
            // A server does its own locking; anything else may be a file database.
            if (m_databaseType == DBTYPE_SQLSERVER || m_databaseType == DBTYPE_POSTGRESQL) {
                DatabaseLock = new CNullLock;
            } else {
                DatabaseLock = new CCriticalSectionLock;
            }
        }
        InternalLock.Unlock();
        return true;
    } catch (const CDBException& error) {
        LogError(error.m_strError);
        return false;
    }
}

bool CDatabaseManager::ExecuteSQL(const std::string& statement) {
    CDatabaseLockGuard guard;
    if (IsBlank(statement)) {
        // Some drivers accept an empty statement as doing nothing; it is always a mistake here.
        LogError("No statement to execute.");
        return false;
    }
    try {
        CDatabase::ExecuteSQL(statement);
        return true;
    } catch (const CDBException& error) {
        LogError(error.m_strError);
        return false;
    }
}

bool CDatabaseManager::PackTable(const std::string& table) {
    switch (m_databaseType) {
    case DBTYPE_SQLITE:
        // SQLite compacts the whole database file at once; the first statement makes a
        // missing table an error, as it is for the other products.
        return ExecuteSQL("select count(*) from " + table) && ExecuteSQL("VACUUM");
    case DBTYPE_POSTGRESQL:
        // Rewrites the table in one step; it fails (changing nothing) for a missing table.
        return ExecuteSQL("VACUUM FULL " + table);
    default:
        return PackTableByCopy(table);
    }
}

bool CDatabaseManager::PackTableByCopy(const std::string& table) {
    CDatabaseLockGuard guard;
    bool copied = ExecuteSQL("select * into tmp from " + table);
    bool dropped = copied && ExecuteSQL("drop table " + table);
    bool restored = dropped && ExecuteSQL("select * into " + table + " from tmp");
    if (dropped && !restored) {
        // The rows exist only in tmp now: keep it rather than lose them.
        LogError("The rows of " + table + " could not be copied back; they are kept in tmp.");
        return false;
    }
    bool cleaned = ExecuteSQL("drop table tmp");
    return copied && dropped && restored && cleaned;
}

void CDatabaseManager::LogError(const std::string& message) {
    if (m_strLogFilename.empty()) {
        return;
    }
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // The user's locale, as the environment sets it, whatever the program's own locale is.
    locale_t userLocale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (userLocale == static_cast<locale_t>(0)) {
        userLocale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    }
    char date[128] = {};
    char time[128] = {};
    if (userLocale != static_cast<locale_t>(0)) {
        strftime_l(date, sizeof date, "%x", &local, userLocale);
        strftime_l(time, sizeof time, "%X", &local, userLocale);
        freelocale(userLocale);
    }
    std::string line =
        std::string(date) + " at " + std::string(time) + " - " + OneLine(message) + "\n";

    // A log that cannot be opened or written is not an error of the operation. One write per
    // line, so that lines of several threads or processes never interleave.
    const base::CFd fd(
        ::open(m_strLogFilename.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd.IsOpen()) {
        static_cast<void>(base::WriteAll(fd.Get(), line));
    }
}

CDatabaseLockGuard::CDatabaseLockGuard() {
    CDatabaseManager::InternalLock.Lock();
    m_lock = CDatabaseManager::DatabaseLock;
    CDatabaseManager::InternalLock.Unlock();
    if (m_lock != nullptr) {
        m_lock->Lock();
    }
}

CDatabaseLockGuard::~CDatabaseLockGuard() {
    if (m_lock != nullptr) {
        m_lock->Unlock();
    }
}
