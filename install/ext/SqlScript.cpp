// SQL scripts and the data source's database, over the ODBC driver manager's own API.
//
// A script is a sequence of batches, each ended by a line "GO"; each batch is one direct
// execution whose every result is read to its end, so the driver has finished it before the
// next begins. A batch that fails ends the script: the batches before it stay done (there is
// no transaction around a script, as a script may create databases), the rest are not run.
#include "ExtState.h"
#include "InstallExt.h"
#include "OdbcHandle.h"
#include "Text.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

using namespace installext;

namespace {

constexpr SQLULEN LOGIN_TIMEOUT_SECONDS = 15;
constexpr SQLULEN QUERY_TIMEOUT_SECONDS = 300;

bool Succeeded(SQLRETURN result) {
    return result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO || result == SQL_NO_DATA;
}

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    for (SQLSMALLINT record = 1; SQL_SUCCEEDED(
             SQLGetDiagRec(type, handle, record, state, &native, message, sizeof message, &length));
         ++record) {
        text += (text.empty() ? "" : "; ") + std::string(reinterpret_cast<char*>(state)) + " " +
                reinterpret_cast<char*>(message);
    }
    return text.empty() ? "no reason given" : text;
}

class CConnection {
public:
    ~CConnection() {
        if (m_connected) {
            SQLDisconnect(m_connection.Get());
        }
    }

    bool Open(const std::string& connectionString) {
        SQLHANDLE handle = SQL_NULL_HANDLE;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle))) {
            return SetError("the ODBC driver manager cannot be used");
        }
        m_environment = CSqlHandle(SQL_HANDLE_ENV, handle);
        SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, m_environment.Get(), &handle))) {
            return SetError("no ODBC connection can be made");
        }
        m_connection = CSqlHandle(SQL_HANDLE_DBC, handle);
        SQLSetConnectAttr(handle, SQL_ATTR_LOGIN_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(LOGIN_TIMEOUT_SECONDS), 0);
        SQLCHAR out[1024];
        SQLSMALLINT outLength = 0;
        const SQLRETURN result = SQLDriverConnect(
            handle, nullptr,
            reinterpret_cast<SQLCHAR*>(const_cast<char*>(connectionString.c_str())), SQL_NTS, out,
            sizeof out, &outLength, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(result)) {
            return SetError("cannot connect: " + Diagnostics(SQL_HANDLE_DBC, handle));
        }
        m_connected = true;
        return true;
    }

    SQLHANDLE Get() const { return m_connection.Get(); }

    // Runs one batch and reads every result it gives to its end.
    bool Execute(const std::string& batch) {
        SQLHANDLE handle = SQL_NULL_HANDLE;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, m_connection.Get(), &handle))) {
            return SetError("no statement: " + Diagnostics(SQL_HANDLE_DBC, m_connection.Get()));
        }
        CSqlHandle statement(SQL_HANDLE_STMT, handle);
        SQLSetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(QUERY_TIMEOUT_SECONDS), 0);
        SQLRETURN result = SQLExecDirect(
            handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(batch.c_str())), SQL_NTS);
        while (Succeeded(result) && result != SQL_NO_DATA) {
            SQLSMALLINT columns = 0;
            SQLNumResultCols(handle, &columns);
            if (columns > 0) {
                while (SQL_SUCCEEDED(result = SQLFetch(handle))) {
                }
                if (!Succeeded(result)) {
                    break;
                }
            }
            result = SQLMoreResults(handle);
        }
        if (!Succeeded(result)) {
            SetError(Diagnostics(SQL_HANDLE_STMT, handle));
            SQLCancel(handle);
            return false;
        }
        return true;
    }

private:
    CSqlHandle m_environment{SQL_HANDLE_ENV, SQL_NULL_HANDLE};
    CSqlHandle m_connection{SQL_HANDLE_DBC, SQL_NULL_HANDLE};
    bool m_connected = false;
};

std::string_view Trimmed(std::string_view line) {
    const std::size_t first = line.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    return line.substr(first, line.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

extern "C" {

int ExecuteSQLScript(const char* connection, const char* scriptFile) {
    ClearError();
    std::ifstream script(Text(scriptFile), std::ios::binary);
    if (!script) {
        return SetError("cannot read the script " + Text(scriptFile));
    }
    CConnection database;
    if (!database.Open(Text(connection))) {
        return 0;
    }
    std::string batch;
    bool hasStatement = false;
    int number = 0;
    int firstLine = 1;
    int lineNumber = 0;
    // Lines are read whole, however long: a statement cut into pieces would not be the one
    // the script holds.
    for (std::string line; std::getline(script, line);) {
        ++lineNumber;
        const std::string_view text = Trimmed(line);
        if (!base::EqualsNoCase(text, "GO")) {
            batch += "\r\n";
            batch += text;
            hasStatement = hasStatement || !text.empty();
            continue;
        }
        ++number;
        // A batch of blank lines ("GO" twice) has nothing to run.
        if (hasStatement && !database.Execute(batch)) {
            return SetError("batch " + std::to_string(number) + " (lines " +
                            std::to_string(firstLine) + "-" + std::to_string(lineNumber) + ") of " +
                            Text(scriptFile) + " failed: " + LastError());
        }
        batch.clear();
        hasStatement = false;
        firstLine = lineNumber + 1;
    }
    if (script.bad()) {
        return SetError("cannot read the script " + Text(scriptFile));
    }
    return 1;
}

int GetDSNDatabasePath(const char* connection, char* databaseName, int maxLength) {
    ClearError();
    if (databaseName == nullptr || maxLength < 1) {
        return SetError("no room for the database name");
    }
    CConnection database;
    if (!database.Open(Text(connection))) {
        return 0;
    }
    SQLCHAR name[1024] = {};
    SQLINTEGER length = 0;
    const SQLRETURN result =
        SQLGetConnectAttr(database.Get(), SQL_ATTR_CURRENT_CATALOG, name, sizeof name - 1, &length);
    if (!SQL_SUCCEEDED(result)) {
        return SetError("the connection names no database: " +
                        Diagnostics(SQL_HANDLE_DBC, database.Get()));
    }
    const std::size_t size =
        length < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(length), sizeof name - 1);
    std::string text(reinterpret_cast<char*>(name), strnlen(reinterpret_cast<char*>(name), size));
    if (text.empty()) {
        // A file database has no catalogs; its driver names the file as the database.
        SQLSMALLINT infoLength = 0;
        if (SQL_SUCCEEDED(SQLGetInfo(database.Get(), SQL_DATABASE_NAME, name, sizeof name - 1,
                                     &infoLength))) {
            text.assign(reinterpret_cast<char*>(name),
                        strnlen(reinterpret_cast<char*>(name), sizeof name - 1));
        }
    }
    if (text.empty()) {
        return SetError("the connection names no database");
    }
    return CopyOut(text, databaseName, static_cast<std::size_t>(maxLength)) ? 1 : 0;
}

} // extern "C"
