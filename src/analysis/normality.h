#pragma once
#include <cstddef>
#include <optional>
#include <span>

namespace lumera::analysis {

struct ShapiroWilk {
    double W = 0;
    double p = 0;
};

struct AndersonDarling {
    double A2 = 0;  // before the small-sample correction
    double p = 0;
};

struct NormalityResult {
    std::size_t n = 0;
    double mean = 0;
    double sd = 0;  // divisor n - 1
    // Moment ratios g1 = m3 / m2^1.5 and g2 = m4 / m2^2 - 3, m_k the central
    // moments with divisor n; NaN when the values do not vary.
    double skewness = 0;
    double excessKurtosis = 0;
    std::optional<ShapiroWilk> shapiroWilk;          // 3 <= n <= 5000 and the values vary
    std::optional<AndersonDarling> andersonDarling;  // n >= 8 and the values vary
};

// Moments and the Shapiro-Wilk and Anderson-Darling tests of one sample;
// the values need not be sorted.
NormalityResult testNormality(std::span<const double> values);

// Standard normal lower tail, upper tail and its logarithm, full precision.
double normalCdf(double z);
double normalUpper(double z);
double logNormalCdf(double z);

// Standard normal quantile, 0 < p < 1 (Wichura 1988, AS 241, 16 digits);
// -inf and +inf at 0 and 1, NaN outside.
double normalQuantile(double p);

}  // namespace lumera::analysis
