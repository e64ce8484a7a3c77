#include "analysis/histogram.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <numbers>

#include "textio/number_forms.h"

namespace lumera::analysis {

namespace {

constexpr double kStepTolerance = 1e-9;
constexpr double kMaxLatticePoints = 1e6;
constexpr std::int64_t kMinBins = 20;
constexpr std::int64_t kMaxBins = 200;
constexpr int kCurveIntervals = 200;

bool allMultiplesOf(std::span<const double> values, double h) {
    for (double x : values) {
        const double n = std::nearbyint(x / h);
        if (!(std::fabs(x - n * h) <= kStepTolerance * std::max(std::fabs(x), h))) return false;
    }
    return true;
}

// 0.09999999999999998 found from a gap reads better as 0.1, when 0.1 fits as well.
double tidyStep(std::span<const double> values, double h) {
    for (int digits = 1; digits <= 15; ++digits) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.*e", digits - 1, h);
        const double t = std::strtod(buf, nullptr);
        if (t > 0 && std::fabs(t - h) <= kStepTolerance * h && allMultiplesOf(values, t)) return t;
    }
    return h;
}

std::optional<double> stepOfDistinct(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    if (v.empty()) return std::nullopt;
    // Any step divides every nonzero value and every gap, so it is the
    // smallest of them divided by a whole number q; the first q that fits
    // gives the largest step. The lattice cut bounds q, and with it the work
    // to about 2e6 checks.
    double smallest = std::numeric_limits<double>::infinity();
    for (double x : v)
        if (x != 0) smallest = std::min(smallest, std::fabs(x));
    for (std::size_t i = 1; i < v.size(); ++i) smallest = std::min(smallest, v[i] - v[i - 1]);
    if (!std::isfinite(smallest)) return std::nullopt;
    const double range = v.back() - v.front();
    const double qMax = range > 0 ? std::floor(kMaxLatticePoints * smallest / range) : 1;
    for (double q = 1; q <= qMax; ++q) {
        const double h = smallest / q;
        if (allMultiplesOf(v, h)) return tidyStep(v, h);
    }
    return std::nullopt;
}

double normalDensity(double z) { return std::exp(-0.5 * z * z) / std::sqrt(2 * std::numbers::pi); }

// scale x phi((x - mean) / sd) / sd at evenly spaced points over [from, to].
std::vector<ChartPoint> normalCurve(double from, double to, double mean, double sd, double scale) {
    std::vector<ChartPoint> curve;
    if (!(sd > 0) || !std::isfinite(sd) || !(from < to)) return curve;
    curve.reserve(kCurveIntervals + 1);
    for (int i = 0; i <= kCurveIntervals; ++i) {
        const double x = i == kCurveIntervals ? to : from + (to - from) * i / kCurveIntervals;
        curve.push_back({x, scale * normalDensity((x - mean) / sd) / sd});
    }
    return curve;
}

std::int64_t targetBinCount(double smallest, double largest, double lowerQuartile, double upperQuartile,
                            std::int64_t count) {
    const double iqr = upperQuartile - lowerQuartile;
    // Over half the values on one point: as fine as allowed.
    if (!(iqr > 0)) return kMaxBins;
    const double width = 2 * iqr / std::cbrt(static_cast<double>(count));
    const double n = std::ceil((largest - smallest) / width);
    return static_cast<std::int64_t>(std::clamp(n, static_cast<double>(kMinBins), static_cast<double>(kMaxBins)));
}

// The odd number of lattice points a bin spans (odd keeps one at its
// centre), giving a bin count nearest the target within 20..200, or one bin
// a point when there are fewer than 20.
std::int64_t pointsPerBin(std::int64_t points, std::int64_t target) {
    const std::int64_t least = std::min(kMinBins, points);
    std::int64_t best = 1, bestMiss = std::numeric_limits<std::int64_t>::max();
    for (std::int64_t k = 1;; k += 2) {
        const std::int64_t bins = (points + k - 1) / k;
        if (bins < least) break;
        if (bins <= kMaxBins) {
            const std::int64_t miss = bins > target ? bins - target : target - bins;
            if (miss < bestMiss) best = k, bestMiss = miss;
        }
        if (bins == 1) break;
    }
    return best;
}

std::string numberText(double v) {
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

}  // namespace

std::optional<double> commonStep(std::span<const double> values) {
    return stepOfDistinct(std::vector<double>(values.begin(), values.end()));
}

std::optional<double> commonStep(std::span<const double> a, std::span<const double> b) {
    std::vector<double> v(a.begin(), a.end());
    v.insert(v.end(), b.begin(), b.end());
    return stepOfDistinct(std::move(v));
}

Bins binsFor(double smallest, double largest, double lowerQuartile, double upperQuartile, std::int64_t count,
             std::optional<double> step) {
    Bins bins;
    if (step && !(*step > 0)) step.reset();
    if (!(smallest < largest)) {
        bins.width = step.value_or(1.0);
        bins.edges = {smallest - bins.width / 2, smallest + bins.width / 2};
        return bins;
    }
    const std::int64_t target = targetBinCount(smallest, largest, lowerQuartile, upperQuartile, count);
    if (step) {
        const double h = *step;
        const double first = std::nearbyint(smallest / h), last = std::nearbyint(largest / h);
        const auto points = static_cast<std::int64_t>(last - first) + 1;
        const std::int64_t k = pointsPerBin(std::max<std::int64_t>(points, 1), target);
        const std::int64_t n = (std::max<std::int64_t>(points, 1) + k - 1) / k;
        bins.width = static_cast<double>(k) * h;
        bins.edges.reserve(static_cast<std::size_t>(n) + 1);
        for (std::int64_t i = 0; i <= n; ++i) bins.edges.push_back((first + static_cast<double>(i * k) - 0.5) * h);
        return bins;
    }
    bins.width = (largest - smallest) / static_cast<double>(target);
    bins.edges.reserve(static_cast<std::size_t>(target) + 1);
    for (std::int64_t i = 0; i < target; ++i)
        bins.edges.push_back(smallest + (largest - smallest) * static_cast<double>(i) / static_cast<double>(target));
    bins.edges.push_back(largest);
    // A range of a few ulps cannot be cut 20 ways.
    bins.edges.erase(std::unique(bins.edges.begin(), bins.edges.end()), bins.edges.end());
    if (bins.edges.size() < 2) bins.edges.push_back(largest);
    return bins;
}

Bins binsFor(const DifferenceSet& set, std::optional<double> step) {
    const std::int64_t c = set.count();
    const std::int64_t lower = std::max<std::int64_t>(1, (c + 3) / 4);
    const std::int64_t upper = std::clamp<std::int64_t>((3 * c + 3) / 4, 1, c);
    return binsFor(set.smallest(), set.largest(), set.kth(lower), set.kth(upper), c, step);
}

PairChart pairChart(const TreatmentSample& minuend, const TreatmentSample& subtrahend, const PairResult& r,
                    double twiceD) {
    const DifferenceSet set(minuend.sorted, subtrahend.sorted);
    const Bins bins = binsFor(set, commonStep(minuend.sorted, subtrahend.sorted));
    PairChart chart;
    chart.edges = bins.edges;
    chart.counts = set.binCounts(chart.edges);
    const double lo = chart.edges.front(), hi = chart.edges.back();
    chart.curve = normalCurve(lo, hi, r.meanDifference, r.se, static_cast<double>(set.count()) * bins.width);
    chart.tLower = r.tLower;
    chart.tUpper = r.tUpper;
    chart.percentileLower = r.percentileLower;
    chart.percentileUpper = r.percentileUpper;
    if (lo <= 0) chart.insignificant.push_back({lo, std::min(0.0, hi)});
    const double from = std::max(twiceD, lo);
    if (from <= hi) {
        if (!chart.insignificant.empty() && from <= chart.insignificant.back().to)
            chart.insignificant.back().to = hi;
        else
            chart.insignificant.push_back({from, hi});
    }
    chart.title = minuend.name + " - " + subtrahend.name + ": mean difference " + chartForm(r.meanDifference) +
                  ", P = " + chartForm(r.pValue);
    return chart;
}

std::string pairChartCsv(const PairChart& chart) {
    std::string out = "lower,upper,count\n";
    for (std::size_t i = 0; i < chart.counts.size(); ++i) {
        out += numberText(chart.edges[i]);
        out += ',';
        out += numberText(chart.edges[i + 1]);
        out += ',';
        out += std::to_string(chart.counts[i]);
        out += '\n';
    }
    return out;
}

std::string frequencyChartCsv(const FrequencyChart& chart) {
    std::string out = "lower,upper,count\n";
    for (const Bar& b : chart.bars) {
        out += numberText(b.lower);
        out += ',';
        out += numberText(b.upper);
        out += ',';
        out += std::to_string(b.count);
        out += '\n';
    }
    return out;
}

FrequencyChart frequencyChart(std::span<const double> values) {
    FrequencyChart chart;
    const std::size_t n = values.size();
    if (n == 0) return chart;
    std::vector<double> sorted(values.begin(), values.end());
    std::sort(sorted.begin(), sorted.end());
    double sum = 0;
    for (double x : values) sum += x;
    chart.mean = sum / static_cast<double>(n);
    if (n > 1) {
        double ss = 0;
        for (double x : values) ss += (x - chart.mean) * (x - chart.mean);
        chart.sd = std::sqrt(ss / static_cast<double>(n - 1));
    }
    const std::optional<double> step = commonStep(sorted);
    std::size_t distinct = 1;
    for (std::size_t i = 1; i < n; ++i) distinct += sorted[i] != sorted[i - 1];
    if (step && distinct <= kMaxBarsPerValue) {
        chart.barPerValue = true;
        chart.width = *step;
        for (auto it = sorted.begin(); it != sorted.end();) {
            const auto end = std::upper_bound(it, sorted.end(), *it);
            chart.bars.push_back({*it - *step / 2, *it + *step / 2, static_cast<std::int64_t>(end - it)});
            it = end;
        }
    } else {
        const auto at = [&](std::size_t k) { return sorted[std::max<std::size_t>(k, 1) - 1]; };
        const Bins bins = binsFor(sorted.front(), sorted.back(), at((n + 3) / 4), at((3 * n + 3) / 4),
                                  static_cast<std::int64_t>(n), step);
        chart.width = bins.width;
        std::size_t from = 0;
        for (std::size_t i = 0; i + 1 < bins.edges.size(); ++i) {
            const bool lastBin = i + 2 == bins.edges.size();
            const std::size_t to =
                lastBin ? static_cast<std::size_t>(std::upper_bound(sorted.begin(), sorted.end(), bins.edges[i + 1]) -
                                                   sorted.begin())
                        : static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), bins.edges[i + 1]) -
                                                   sorted.begin());
            chart.bars.push_back({bins.edges[i], bins.edges[i + 1], static_cast<std::int64_t>(to - from)});
            from = to;
        }
    }
    chart.curve = normalCurve(chart.bars.front().lower, chart.bars.back().upper, chart.mean, chart.sd,
                              static_cast<double>(n) * chart.width);
    return chart;
}

}  // namespace lumera::analysis
