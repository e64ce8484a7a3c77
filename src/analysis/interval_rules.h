#pragma once
#include <algorithm>
#include <cstdint>

#include "textio/rounding.h"

namespace lumera::analysis {

// The two rules of the test's 95 % intervals, kept in one place so that the
// window's engine, compare and the tests cannot drift apart.

// The normal quantile of the t interval, mean -/+ kTQuantile x SE, to the six
// places the reports print.
inline constexpr double kTQuantile = 1.959964;

// Ranks (from 1) of the 0.025 and 0.975 percentiles among c sorted
// differences: c x 0.025 + 0.5 and c x 0.975 + 0.5, halves to even.
struct PercentileRanks {
    std::int64_t lower = 0;
    std::int64_t upper = 0;
};
inline PercentileRanks percentileRanks(double c) {
    return {static_cast<std::int64_t>(roundHalfEven(c * 0.025 + 0.5)),
            static_cast<std::int64_t>(roundHalfEven(c * 0.975 + 0.5))};
}

// The level of both intervals: mean -/+ z SE, and the ranks of the q and
// 1 - q percentiles. The defaults are the 95 % rules above, bit for bit.
struct IntervalLevel {
    double z = kTQuantile;
    double q = 0.025;
    double oneMinusQ = 0.975;
};

// c x q + 0.5 and c x (1 - q) + 0.5, halves to even, kept within 1..c: a
// level near 1 would otherwise round to rank 0 or c + 1.
inline PercentileRanks percentileRanks(double c, const IntervalLevel& level) {
    const double most = std::max(c, 1.0);
    return {static_cast<std::int64_t>(std::clamp(roundHalfEven(c * level.q + 0.5), 1.0, most)),
            static_cast<std::int64_t>(std::clamp(roundHalfEven(c * level.oneMinusQ + 0.5), 1.0, most))};
}

}  // namespace lumera::analysis
