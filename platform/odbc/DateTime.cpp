#include "DateTime.h"

#include <cstdio>

CDateTime CDateTime::GetCurrentTime() {
    return FromTime(std::time(nullptr));
}

CDateTime CDateTime::FromTime(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        return {};
    }
    return CDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                     local.tm_min, local.tm_sec);
}

std::time_t CDateTime::ToTime() const {
    if (!IsValid()) {
        return -1;
    }
    std::tm local{};
    local.tm_year = m_year - 1900;
    local.tm_mon = m_month - 1;
    local.tm_mday = m_day;
    local.tm_hour = m_hour;
    local.tm_min = m_minute;
    local.tm_sec = m_second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

bool CDateTime::IsValid() const {
    static const int DAYS_IN_MONTH[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m_month < 1 || m_month > 12 || m_day < 1) {
        return false;
    }
    bool leap = (m_year % 4 == 0 && m_year % 100 != 0) || m_year % 400 == 0;
    int limit = DAYS_IN_MONTH[m_month - 1] + (m_month == 2 && leap ? 1 : 0);
    return m_day <= limit && m_hour >= 0 && m_hour < 24 && m_minute >= 0 && m_minute < 60 &&
           m_second >= 0 && m_second < 62;
}

std::string CDateTime::Format() const {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", m_year, m_month, m_day,
                  m_hour, m_minute, m_second);
    return text;
}
