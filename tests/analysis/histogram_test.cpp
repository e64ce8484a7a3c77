#include "analysis/histogram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

namespace lumera::analysis {
namespace {

std::vector<double> draw(std::uint64_t seed, int n, double mean, double sd, double step) {
    std::mt19937_64 rng(seed);
    std::normal_distribution<double> normal(mean, sd);
    std::vector<double> v(n);
    for (double& x : v) x = step > 0 ? std::round(normal(rng) / step) * step : normal(rng);
    return v;
}

TEST(CommonStep, LargestStepOfBothSamplesOrNone) {
    const struct {
        const char* name;
        std::vector<double> a, b;
        std::optional<double> step;
    } cases[] = {
        {"whole days", {3, 7, 12}, {5, 9}, 1},
        {"halves", {1.5, 2, 3.5}, {-0.5}, 0.5},
        {"quarters", {0.25, 1.75}, {0.5}, 0.25},
        {"tenths by gaps", {0.1, 0.3, 0.7}, {1.1}, 0.1},
        {"tens", {20, 50}, {30, -10}, 10},
        {"one value", {2.5}, {2.5}, 2.5},
        {"all zero", {0, -0.0}, {0}, std::nullopt},
        {"six random decimals", draw(1, 50, 40, 20, 1e-6), draw(2, 50, 40, 20, 1e-6), std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<double> got = commonStep(c.a, c.b);
        ASSERT_EQ(got.has_value(), c.step.has_value()) << c.name;
        if (got) {
            EXPECT_NEAR(*got, *c.step, 1e-12 * *c.step) << c.name;
        }
        std::vector<double> both = c.a;
        both.insert(both.end(), c.b.begin(), c.b.end());
        EXPECT_EQ(commonStep(both), got) << c.name;
    }
}

struct PairCase {
    const char* name;
    std::vector<double> a, b;
    bool dense = false;  // every lattice point in the range is met
};

std::vector<PairCase> pairCases() {
    return {
        {"small continuous", draw(3, 7, 1.2, 0.4, 0), draw(4, 5, 1.0, 0.4, 0)},
        {"whole days, dense", draw(5, 200, 20, 4, 1), draw(6, 150, 18, 4, 1), true},
        {"halves, unequal B", draw(7, 9, 3, 1, 0.5), draw(8, 31, 2.5, 1, 0.5)},
        {"wide whole days", draw(9, 300, 500, 200, 1), draw(10, 250, 450, 200, 1)},
        {"equal treatments", {1, 2, 2, 4}, {1, 2, 2, 4}},
        {"negative values", {-1, -2.5, -3}, {-2, -3, -4.25, -5}},
        {"large continuous", draw(11, 300, 5, 1, 0), draw(12, 280, 4.6, 1, 0)},
    };
}

TEST(PairChart, BinsCountsCsvAndMarksAgainstEveryDifference) {
    for (const PairCase& c : pairCases()) {
        const std::vector<TreatmentSample> ordered = {makeSample("A", "a", c.a), makeSample("B", "b", c.b)};
        const PairResult r = testPair(ordered, 0, 1);
        const TreatmentSample &m = ordered[r.first], &s = ordered[r.second];
        const double twice = twiceMeanDifference(m, s);
        const PairChart chart = pairChart(m, s, r, twice);
        std::vector<double> d;
        for (double x : m.replicates)
            for (double y : s.replicates) d.push_back(x - y);
        std::sort(d.begin(), d.end());
        const std::size_t bins = chart.counts.size();
        ASSERT_EQ(chart.edges.size(), bins + 1) << c.name;
        std::size_t distinct = 1;
        for (std::size_t i = 1; i < d.size(); ++i) distinct += d[i] != d[i - 1];
        EXPECT_GE(bins, std::min<std::size_t>(20, distinct)) << c.name;
        EXPECT_LE(bins, 200u) << c.name;

        std::istringstream csv(pairChartCsv(chart));
        std::string line;
        ASSERT_TRUE(std::getline(csv, line));
        EXPECT_EQ(line, "lower,upper,count");
        std::int64_t sum = 0;
        double previousUpper = -INFINITY;
        for (std::size_t i = 0; std::getline(csv, line); ++i) {
            ASSERT_LT(i, bins);
            double lower, upper;
            long long count;
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf,%lf,%lld", &lower, &upper, &count), 3) << line;
            EXPECT_EQ(lower, chart.edges[i]);
            EXPECT_EQ(upper, chart.edges[i + 1]);
            if (i > 0) {
                EXPECT_EQ(lower, previousUpper) << c.name;
            }
            EXPECT_LT(lower, upper);
            const bool last = i + 1 == bins;
            const auto expected = std::count_if(
                d.begin(), d.end(), [&](double v) { return lower <= v && (v < upper || (last && v == upper)); });
            EXPECT_EQ(count, expected) << c.name << " bin " << i;
            sum += count;
            previousUpper = upper;
        }
        EXPECT_EQ(sum, r.differences) << c.name;
        EXPECT_LE(chart.edges.front(), d.front());
        EXPECT_GE(chart.edges.back(), d.back());
        EXPECT_EQ(pairChartCsv(chart).find('\r'), std::string::npos);

        EXPECT_EQ(chart.tLower, r.tLower);
        EXPECT_EQ(chart.tUpper, r.tUpper);
        EXPECT_EQ(chart.percentileLower, r.percentileLower);
        EXPECT_EQ(chart.percentileUpper, r.percentileUpper);
        EXPECT_NE(chart.title.find(m.name + " - " + s.name), std::string::npos);
        for (double v : d) {
            const bool shaded = std::any_of(chart.insignificant.begin(), chart.insignificant.end(),
                                            [&](const XRange& x) { return x.from <= v && v <= x.to; });
            EXPECT_EQ(shaded, v <= 0 || v >= twice) << c.name << " d = " << v;
        }

        if (const std::optional<double> h = commonStep(m.replicates, s.replicates)) {
            const double width = chart.edges[1] - chart.edges[0];
            EXPECT_EQ(std::fmod(std::round(width / *h), 2.0), 1.0) << c.name << ": odd multiple of the step";
            for (std::size_t i = 0; i < bins; ++i) {
                const double centre = (chart.edges[i] + chart.edges[i + 1]) / 2;
                EXPECT_NEAR(centre / *h, std::round(centre / *h), 1e-6) << c.name;
                if (c.dense) {
                    EXPECT_GT(chart.counts[i], 0) << c.name << " bin " << i;
                }
            }
        }
        if (r.differences > 10000) {
            double area = 0;
            for (std::size_t i = 1; i < chart.curve.size(); ++i)
                area += (chart.curve[i].x - chart.curve[i - 1].x) * (chart.curve[i].y + chart.curve[i - 1].y) / 2;
            const double bars = static_cast<double>(sum) * (chart.edges[1] - chart.edges[0]);
            EXPECT_NEAR(area, bars, 0.01 * bars) << c.name;
        }
    }
}

TEST(PairChart, AllDifferencesEqualGiveOneBinCentredOnThem) {
    const struct {
        std::vector<double> a, b;
        std::vector<double> edges;
    } cases[] = {
        {{3, 3}, {1, 1, 1}, {1.5, 2.5}},
        {{0.75}, {0.25, 0.25}, {0.375, 0.625}},  // step 0.25
        {{0, 0}, {0}, {-0.5, 0.5}},
    };
    for (const auto& c : cases) {
        const std::vector<TreatmentSample> ordered = {makeSample("A", "a", c.a), makeSample("B", "b", c.b)};
        const PairResult r = testPair(ordered, 0, 1);
        const PairChart chart = pairChart(ordered[r.first], ordered[r.second], r, 0);
        EXPECT_EQ(chart.edges, c.edges);
        EXPECT_EQ(chart.counts, std::vector<std::int64_t>{r.differences});
    }
}

// 1000 values cycling over 0, 1, ..., distinct - 1.
std::vector<double> cycle(int distinct) {
    std::vector<double> v;
    for (int i = 0; i < 1000; ++i) v.push_back(i % distinct);
    return v;
}

TEST(FrequencyChart, BarPerValueUpToSixtyDistinctValuesElseHistogram) {
    const struct {
        const char* name;
        std::vector<double> values;
        bool barPerValue;
    } cases[] = {
        {"60 whole values", cycle(60), true},
        {"61 whole values", cycle(61), false},
        {"halves", draw(14, 500, 4, 2, 0.5), true},
        {"continuous", draw(15, 2000, 10, 3, 0), false},
    };
    for (const auto& c : cases) {
        const FrequencyChart chart = frequencyChart(c.values);
        EXPECT_EQ(chart.barPerValue, c.barPerValue) << c.name;
        std::int64_t sum = 0;
        for (std::size_t i = 0; i < chart.bars.size(); ++i) {
            const Bar& b = chart.bars[i];
            EXPECT_NEAR(b.upper - b.lower, chart.width, 1e-12 * chart.width) << c.name;
            const bool last = i + 1 == chart.bars.size();
            EXPECT_EQ(b.count,
                      std::count_if(c.values.begin(), c.values.end(),
                                    [&](double v) { return b.lower <= v && (v < b.upper || (last && v == b.upper)); }))
                << c.name;
            if (c.barPerValue) {
                EXPECT_GT(b.count, 0) << c.name;
            }
            if (!c.barPerValue && i > 0) {
                EXPECT_EQ(b.lower, chart.bars[i - 1].upper) << c.name;
            }
            sum += b.count;
        }
        EXPECT_EQ(sum, static_cast<std::int64_t>(c.values.size())) << c.name;
        double area = 0;
        for (std::size_t i = 1; i < chart.curve.size(); ++i)
            area += (chart.curve[i].x - chart.curve[i - 1].x) * (chart.curve[i].y + chart.curve[i - 1].y) / 2;
        if (c.values.size() > 1000) {
            EXPECT_NEAR(area, sum * chart.width, 0.01 * sum * chart.width) << c.name;
        }
    }
}

}  // namespace
}  // namespace lumera::analysis
