#pragma once
#include <cstdint>
#include <optional>
#include <string>

// A local calendar date and time of day, as the clock gives it.
struct DateTime {
    int year = 0;
    int month = 0;   // 1..12
    int day = 0;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
};

// Layouts: 1 "yyyy-mm-dd hh:nn:ss", 2 "yyyy-mm-dd", 3 "hh:nn:ss",
// 4 "yyyymmdd", 5 "yyyymmddhhnnss"; any other layout, or no date, gives "".
std::u16string FormatDateStamp(const std::optional<DateTime>& value, int16_t layout);

// A number as decimal digits, as log messages and date stamps write them.
std::u16string DecimalText(int64_t n);

// The current local date and time.
DateTime LocalNow();
