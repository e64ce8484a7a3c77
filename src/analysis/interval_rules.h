#pragma once
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

}  // namespace lumera::analysis
