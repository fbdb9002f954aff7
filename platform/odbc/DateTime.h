#pragma once
// A calendar date and wall-clock time as the catalogue stores it (no time zone),
// the value bound by RFX_Date.

#include <compare>
#include <ctime>
#include <string>

class CDateTime {
public:
    CDateTime() = default;
    CDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
        : m_year(year), m_month(month), m_day(day), m_hour(hour), m_minute(minute),
          m_second(second) {}

    // The current local time, to the second.
    static CDateTime GetCurrentTime();
    // The local time of a point in time.
    static CDateTime FromTime(std::time_t time);
    // The point in time of this local time (-1 when it cannot be represented).
    std::time_t ToTime() const;

    // The null value read from a NULL column: 0000-00-00 00:00:00.
    bool IsNull() const { return m_year == 0 && m_month == 0 && m_day == 0; }
    // A real date: month 1..12, day valid for the month, time in range.
    bool IsValid() const;

    // "YYYY-MM-DD HH:MM:SS"
    std::string Format() const;

    int GetYear() const { return m_year; }
    int GetMonth() const { return m_month; }
    int GetDay() const { return m_day; }
    int GetHour() const { return m_hour; }
    int GetMinute() const { return m_minute; }
    int GetSecond() const { return m_second; }

    auto operator<=>(const CDateTime&) const = default;

private:
    int m_year = 0;
    int m_month = 0;
    int m_day = 0;
    int m_hour = 0;
    int m_minute = 0;
    int m_second = 0;
};
