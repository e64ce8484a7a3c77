#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "analysis/interval_rules.h"

namespace lumera::analysis {

// An interval level L as typed, taken as the decimal it spells.
struct LevelChoice {
    double level = 0.95;
    std::string percent = "95";  // 100 L exactly, for headers: "95", "97.5"
    IntervalLevel interval;      // q = (1 - L) / 2 and 1 - q from L's digits
};

// Digits with an optional point and exponent ("0.9", ".975", "9e-1"),
// 0 < L < 1; nothing otherwise. q and 1 - q are worked out exactly in
// decimal and each rounded to double once, so that "0.95" gives 0.025 and
// 0.975 and the ranks of today. z is the normal quantile of 1 - q, except
// that 0.95 keeps kTQuantile.
std::optional<LevelChoice> parseLevel(std::string_view text);

}  // namespace lumera::analysis
