#include "textio/date_time.h"

#include <cstdio>

namespace lumera {
namespace {

// Counting years from March puts each leap day at the end of its year, so
// a 400-year cycle needs no month table.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const int mp = m > 2 ? m - 3 : m + 9;
    const std::int64_t doy = (153 * mp + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

}  // namespace

std::string DateTime::text() const {
    char buf[96];
    const int n =
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::int64_t DateTime::serialSeconds() const {
    const std::int64_t days = daysFromCivil(year, month, day) - daysFromCivil(1, 1, 1);
    return days * 86400 + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
}

std::int64_t secondsBetween(const DateTime& a, const DateTime& b) { return b.serialSeconds() - a.serialSeconds(); }

}  // namespace lumera
