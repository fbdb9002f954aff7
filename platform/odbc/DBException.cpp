#include "DBException.h"

#include <sqlext.h>

#include <utility>

CDBException::CDBException(SQLRETURN retCode, std::string error, std::string stateNativeOrigin)
    : m_nRetCode(retCode), m_strError(std::move(error)),
      m_strStateNativeOrigin(std::move(stateNativeOrigin)) {}

CDBException CDBException::FromHandle(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN retCode,
                                      const char* context) {
    std::string messages;
    std::string first;
    std::string firstState;
    if (handle != SQL_NULL_HANDLE) {
        for (SQLSMALLINT record = 1; record < 32; ++record) {
            SQLCHAR state[6] = {};
            SQLINTEGER native = 0;
            SQLCHAR text[1024] = {};
            SQLSMALLINT length = 0;
            SQLRETURN rc = SQLGetDiagRec(handleType, handle, record, state, &native, text,
                                         sizeof text, &length);
            if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
                break;
            }
            std::string message(reinterpret_cast<const char*>(text));
            if (!messages.empty()) {
                messages += '\n';
            }
            messages += message;
            if (record == 1) {
                firstState = reinterpret_cast<const char*>(state);
                first = "State:" + firstState + ",Native:" + std::to_string(native) +
                        ",Origin:" + message;
            }
        }
    }
    if (messages.empty()) {
        messages = std::string(context) + " failed (ODBC return code " +
                   std::to_string(static_cast<int>(retCode)) + ")";
    }
    CDBException error(retCode, std::move(messages), std::move(first));
    error.m_strSqlState = std::move(firstState);
    return error;
}

void CheckSqlReturn(SQLRETURN retCode, SQLSMALLINT handleType, SQLHANDLE handle,
                    const char* context) {
    if (retCode == SQL_SUCCESS || retCode == SQL_SUCCESS_WITH_INFO) {
        return;
    }
    throw CDBException::FromHandle(handleType, handle, retCode, context);
}

void ThrowDBException(const std::string& error) {
    throw CDBException(SQL_ERROR, error);
}
