#pragma once
// Owns one ODBC handle (environment, connection, statement or descriptor).

#include <sql.h>
#include <sqlext.h>

#include <utility>

class CSqlHandle {
public:
    CSqlHandle() = default;
    CSqlHandle(SQLSMALLINT type, SQLHANDLE handle) : m_type(type), m_handle(handle) {}
    ~CSqlHandle() { Reset(); }
    CSqlHandle(const CSqlHandle&) = delete;
    CSqlHandle& operator=(const CSqlHandle&) = delete;
    CSqlHandle(CSqlHandle&& other) noexcept
        : m_type(other.m_type), m_handle(std::exchange(other.m_handle, SQLHANDLE{})) {}
    CSqlHandle& operator=(CSqlHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            m_type = other.m_type;
            m_handle = std::exchange(other.m_handle, SQLHANDLE{});
        }
        return *this;
    }

    SQLHANDLE Get() const { return m_handle; }
    SQLSMALLINT Type() const { return m_type; }
    explicit operator bool() const { return m_handle != SQL_NULL_HANDLE; }

    void Reset() {
        if (m_handle != SQL_NULL_HANDLE) {
            SQLFreeHandle(m_type, m_handle);
            m_handle = SQL_NULL_HANDLE;
        }
    }

private:
    SQLSMALLINT m_type = SQL_HANDLE_STMT;
    SQLHANDLE m_handle = SQL_NULL_HANDLE;
};
