#pragma once
#include <cstdint>
#include <vector>

#include "analysis/interval_rules.h"
#include "analysis/treatment_sample.h"

namespace lumera::analysis {

// One pair of the Cartesian paired test, for treatments in the test's order.
struct PairResult {
    std::size_t first = 0;         // position (0-based) of the minuend: the larger mean,
    std::size_t second = 0;        // or with equal means the later position
    std::int64_t differences = 0;  // C = B_i x B_j
    double meanDifference = 0;     // exact moments
    double se = 0;
    double tLower = 0;  // mean -/+ z SE (1.959964 at 95 %)
    double tUpper = 0;
    std::int64_t lowerPosition = 0;  // round-half-even(C x q + 0.5), q = 0.025 at 95 %
    std::int64_t upperPosition = 0;  // round-half-even(C x (1 - q) + 0.5)
    double percentileLower = 0;      // the differences' values at those positions
    double percentileUpper = 0;
    std::int64_t atMostZero = 0;    // #(d <= 0)
    std::int64_t atLeastTwice = 0;  // #(d > 0 and d >= 2D), D = the sequential means' difference
    double pValue = 0;              // (atMostZero + atLeastTwice) / C
};

// 2D: twice the minuend's sequential mean minus the subtrahend's.
double twiceMeanDifference(const TreatmentSample& minuend, const TreatmentSample& subtrahend);

// Pair (i, j), i < j, of `ordered` (treatments already in the test's order).
PairResult testPair(const std::vector<TreatmentSample>& ordered, std::size_t i, std::size_t j,
                    const IntervalLevel& level = {});

// Every pair (0,1), (0,2), ..., (k-2,k-1) in that order, spread over the
// machine's cores.
std::vector<PairResult> testAllPairs(const std::vector<TreatmentSample>& ordered, const IntervalLevel& level = {});

}  // namespace lumera::analysis
