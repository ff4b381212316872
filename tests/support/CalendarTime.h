#pragma once

#include <chrono>
#include <ctime>

namespace loadstar::testing {

// A calendar date and time as the texts under test take it (month 1..12, full year).
inline std::tm calendar(int day, int month, int year, int hour, int minute, int second) {
    std::tm time{};
    time.tm_mday = day;
    time.tm_mon = month - 1;
    time.tm_year = year - 1900;
    time.tm_hour = hour;
    time.tm_min = minute;
    time.tm_sec = second;
    time.tm_isdst = -1;
    return time;
}

// The moment at which the local clock shows that date and time (summer time as the zone has it).
inline std::chrono::system_clock::time_point localTime(int day, int month, int year, int hour,
                                                       int minute, int second) {
    std::tm time = calendar(day, month, year, hour, minute, second);
    return std::chrono::system_clock::from_time_t(std::mktime(&time));
}

}  // namespace loadstar::testing
