#pragma once
// The error raised by the ODBC classes: the driver's (or our own) error text.

#include <sql.h>

#include <exception>
#include <string>

class CDBException : public std::exception {
public:
    CDBException(SQLRETURN retCode, std::string error, std::string stateNativeOrigin = {});

    // Collects every diagnostic record of `handle` after a call that returned `retCode`.
    // `context` names the operation and leads the text when the driver gave none.
    static CDBException FromHandle(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN retCode,
                                   const char* context);

    const char* what() const noexcept override { return m_strError.c_str(); }

    SQLRETURN m_nRetCode;
    // The driver's message(s), one per line.
    std::string m_strError;
    // "State:S0002,Native:1,Origin:[unixODBC]..." of the first diagnostic record.
    std::string m_strStateNativeOrigin;
    // The SQLSTATE of the first diagnostic record, empty for our own errors.
    std::string m_strSqlState;
};

// Throws CDBException::FromHandle(...) unless `retCode` is a success code.
void CheckSqlReturn(SQLRETURN retCode, SQLSMALLINT handleType, SQLHANDLE handle,
                    const char* context);

// Errors raised by the classes themselves (not by a driver).
[[noreturn]] void ThrowDBException(const std::string& error);
