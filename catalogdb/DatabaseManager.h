#pragma once
// The catalogue's connection: opens an ODBC data source, recognises the product behind it,
// runs statements, packs tables and logs database errors. Owns the process-wide statement
// lock DatabaseLock shared by every manager and record object of the process.

#include "Database.h"

#include <mutex>
#include <string>

// The product behind an open connection. The numbers are part of the interface.
enum CDatabaseType { // NOLINT(readability-identifier-naming): the design's name
    DBTYPE_NONE = 0,
    DBTYPE_ACCESS = 1,
    DBTYPE_FOXPRO = 2,
    DBTYPE_SQLSERVER = 4,
    DBTYPE_SQLITE = 8,      // the embedded default (a file database)
    DBTYPE_POSTGRESQL = 16, // the server database
};

// A re-entrant critical section: the owning thread may enter it again.
class CCriticalSection {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }

private:
    std::recursive_mutex m_mutex;
};

class CLockManager {
public:
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
    virtual ~CLockManager() = default;
};

// For server databases, which do their own locking.
class CNullLock : public CLockManager {
public:
    void Lock() override {}
    void Unlock() override {}
};

// For file databases: serialises all database work of the process.
class CCriticalSectionLock : public CLockManager {
public:
    void Lock() override { m_section.Lock(); }
    void Unlock() override { m_section.Unlock(); }

private:
    CCriticalSection m_section;
};

class CDatabaseManager : public CDatabase {
public:
    CDatabaseManager();
    ~CDatabaseManager() override;

    // Closes the connection; the type keeps its last value.
    void Close() override;

    // Opens "DSN=<dsn>" (with ";UID=...;PWD=..." when a user or password is given); with
    // noDialog the driver manager may not prompt. An open connection is closed first.
    // Recognises the product and, for the first manager of the process, creates
    // DatabaseLock. Errors are logged and give false.
    bool Open(const char* dsn, const char* user, const char* password, bool noDialog);
    bool IsOpen() const { return CDatabase::IsOpen(); }
    CDatabaseType GetDatabaseType() const { return m_databaseType; }

    // Runs one statement under DatabaseLock; errors are logged and give false.
    bool ExecuteSQL(const std::string& statement);
    // Rebuilds a table; never loses its rows. False when the table does not exist.
    bool PackTable(const std::string& table);

    // The error log; empty (the default) means no logging.
    void SetLogFilename(const std::string& path) { m_strLogFilename = path; }
    const std::string& GetLogFilename() const { return m_strLogFilename; }
    // Appends "<date> at <time> - <message>" (the user's locale's short date and time).
    void LogError(const std::string& message);

    // The product of a DBMS name as drivers report it (compared ignoring case).
    static CDatabaseType DatabaseTypeFromName(const std::string& dbmsName);

    // The statement lock: null until the first successful Open of the process, deleted when
    // the last manager is destroyed. Take it with CDatabaseLockGuard.
    // The design's names of the process-wide lock and count.
    // NOLINTBEGIN(readability-identifier-naming)
    static CLockManager* DatabaseLock;
    // Guards DatabaseLock's creation and RefCount.
    static CCriticalSection InternalLock;
    // Living managers (of every subclass).
    static int RefCount;
    // NOLINTEND(readability-identifier-naming)

protected:
    // Lets a subclass treat the connection as another product.
    void SetDatabaseType(CDatabaseType type) { m_databaseType = type; }

private:
    bool PackTableByCopy(const std::string& table);

    std::string m_strLogFilename;
    CDatabaseType m_databaseType = DBTYPE_NONE;
};

// Holds DatabaseLock for a scope (nothing when no manager has opened yet). Client programs
// bracket their own multi-step catalogue work with it.
class CDatabaseLockGuard {
public:
    CDatabaseLockGuard();
    ~CDatabaseLockGuard();
    CDatabaseLockGuard(const CDatabaseLockGuard&) = delete;
    CDatabaseLockGuard& operator=(const CDatabaseLockGuard&) = delete;

private:
    CLockManager* m_lock;
};
