#pragma once
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/difference_set.h"
#include "analysis/pair_test.h"
#include "analysis/treatment_sample.h"

// What the pair's distribution chart and the frequency chart show, as plain
// values: bins, exact counts, the fitted curve and the marks.

namespace lumera::analysis {

// The largest h > 0 of which every value is a whole multiple within 1e-9 of
// max(|value|, h), or nullopt when there is none with (max - min) / h <= 1e6
// (or every value is 0).
std::optional<double> commonStep(std::span<const double> values);
std::optional<double> commonStep(std::span<const double> a, std::span<const double> b);

// Equal-width bins, edges ascending and contiguous, first <= smallest and
// last >= largest.
struct Bins {
    std::vector<double> edges;
    double width = 0;
};

// Freedman-Diaconis width 2 IQR count^(-1/3), kept to 20..200 bins. With a
// step h the width is an odd multiple of h, edges sit at (m + 1/2) h so that
// every lattice point is a bin centre, and there are never more bins than
// lattice points. All values equal: one bin of width h (or 1) centred on it.
Bins binsFor(double smallest, double largest, double lowerQuartile, double upperQuartile, std::int64_t count,
             std::optional<double> step);
// Over all differences of the set, with their exact quartiles.
Bins binsFor(const DifferenceSet& set, std::optional<double> step);

struct ChartPoint {
    double x = 0;
    double y = 0;
};

struct XRange {
    double from = 0;
    double to = 0;
};

struct PairChart {
    std::vector<double> edges;
    std::vector<std::int64_t> counts;  // exact, summing to C; the last bin also counts d == edges.back()
    // Normal density with the pair's mean difference and SE, scaled to the
    // bars: C x width x phi((x - mean) / se) / se; empty when se is 0.
    std::vector<ChartPoint> curve;
    double tLower = 0;
    double tUpper = 0;
    double percentileLower = 0;
    double percentileUpper = 0;
    // d <= 0 and d >= 2D, clipped to the edges, merged where they meet.
    std::vector<XRange> insignificant;
    std::string title;
};

// twiceD from twiceMeanDifference(minuend, subtrahend).
PairChart pairChart(const TreatmentSample& minuend, const TreatmentSample& subtrahend, const PairResult& r,
                    double twiceD);

// "lower,upper,count" then one line per bin, ascending, numbers in shortest
// round-trip form; LF line ends.
std::string pairChartCsv(const PairChart& chart);

struct Bar {
    double lower = 0;
    double upper = 0;
    std::int64_t count = 0;
};

struct FrequencyChart {
    // One bar of width h centred on each value when there are at most 60
    // distinct values on one lattice; otherwise contiguous histogram bins.
    bool barPerValue = false;
    std::vector<Bar> bars;
    double width = 0;  // every bar's
    double mean = 0;
    double sd = 0;  // divisor n - 1
    // n x width x phi((x - mean) / sd) / sd over the bars' span; empty when sd is 0.
    std::vector<ChartPoint> curve;
};

inline constexpr std::size_t kMaxBarsPerValue = 60;

FrequencyChart frequencyChart(std::span<const double> values);

// The frequency chart's bars as pairChartCsv writes bins.
std::string frequencyChartCsv(const FrequencyChart& chart);

}  // namespace lumera::analysis
