#pragma once
#include <cstdint>
#include <string>

namespace lumera {

// A local date and time to the second, as the clock reads it.
struct DateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;

    // "YYYY-MM-DD hh:mm:ss", 24-hour clock.
    std::string text() const;
    // Seconds since 0001-01-01 00:00:00 of the proleptic Gregorian calendar,
    // taken from the fields alone (no time-zone or daylight-saving shift).
    std::int64_t serialSeconds() const;

    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Whole seconds from a to b (negative when b is earlier).
std::int64_t secondsBetween(const DateTime& a, const DateTime& b);

}  // namespace lumera
