#include "analysis/pair_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "analysis/interval_rules.h"
#include "analysis/treatment_sample.h"
#include "cartesian/difference_engine.h"
#include "cartesian/treatment_statistics.h"
#include "shell/run_state.h"

namespace lumera::analysis {
namespace {

bool sameBits(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

std::vector<double> draw(std::mt19937_64& rng, int n, double mean, double step) {
    std::normal_distribution<double> normal(mean, 0.4);
    std::vector<double> v(n);
    for (double& x : v) x = step > 0 ? std::round(normal(rng) / step) * step : normal(rng);
    return v;
}

// Treatment sets in the test's order already (the tests exchange them
// themselves where order matters).
struct Set {
    std::string name;
    std::vector<std::vector<double>> replicates;
};

std::vector<Set> sets() {
    std::mt19937_64 rng(31);
    return {
        {"equal means", {{1, 2, 3}, {3, 2, 1}, {2, 2}}},
        {"constant treatments", {{4, 4, 4, 4}, {1, 1}, {1, 1, 1}}},
        {"negative values with differences exactly 0 and 2D", {{-1, -2, -3}, {-2, -3, -4}, {-4, -4, -5, -3}}},
        {"-0 and +0 replicates", {{-0.0, 0.0, 1.0}, {0.0, -0.0}, {-0.0, -0.0, -1.0}}},
        {"B = 2 against unequal B", {{0.75, 0.5}, draw(rng, 33, 0.2, 0.1), draw(rng, 57, 0.1, 0)}},
        {"random continuous", {draw(rng, 41, 1.6, 0), draw(rng, 38, 1.3, 0), draw(rng, 29, 1.2, 0)}},
        {"random ties", {draw(rng, 45, 1.6, 1), draw(rng, 30, 1.3, 1), draw(rng, 61, 1.2, 0.5)}},
    };
}

std::vector<TreatmentSample> samples(const Set& set) {
    std::vector<TreatmentSample> out;
    for (std::size_t t = 0; t < set.replicates.size(); ++t) {
        // Built step by step: g++ 12 warns falsely on "T" + std::to_string(t).
        std::string name = "T", file = "t";
        name += std::to_string(t);
        file += std::to_string(t);
        out.push_back(makeSample(name, file + ".txt", set.replicates[t]));
    }
    return out;
}

// Everything a pair reports, from every formed difference in the engine's
// order of forming them.
void expectLikeBruteForce(const std::vector<TreatmentSample>& ordered, std::size_t i, std::size_t j,
                          const PairResult& got) {
    const TreatmentSample &a = ordered[i], &b = ordered[j];
    const bool aFirst = a.mean > b.mean;
    EXPECT_EQ(got.first, aFirst ? i : j);
    EXPECT_EQ(got.second, aFirst ? j : i);
    const TreatmentSample &m = aFirst ? a : b, &s = aFirst ? b : a;
    const double twice = 2 * (m.mean - s.mean);
    std::vector<double> d;
    std::int64_t atMostZero = 0, upper = 0, zeros = 0, negativeZeros = 0;
    for (double x : m.replicates)
        for (double y : s.replicates) {
            const double v = x - y;
            d.push_back(v);
            atMostZero += v <= 0;
            upper += v > 0 && v >= twice;
            zeros += v == 0;
            negativeZeros += v == 0 && std::signbit(v);
        }
    const auto c = static_cast<std::int64_t>(d.size());
    EXPECT_EQ(got.differences, c);
    EXPECT_EQ(got.atMostZero, atMostZero);
    EXPECT_EQ(got.atLeastTwice, upper);
    EXPECT_EQ(got.pValue, static_cast<double>(atMostZero + upper) / static_cast<double>(c));

    // The ranks' rule is pinned by hand-derived values of its own.
    const auto [lower, upperPos] = percentileRanks(static_cast<double>(c));
    EXPECT_EQ(got.lowerPosition, lower);
    EXPECT_EQ(got.upperPosition, upperPos);
    std::sort(d.begin(), d.end());
    auto at = [&](std::int64_t k) {
        const double v = d[static_cast<std::size_t>(k - 1)];
        return v == 0 ? (zeros == negativeZeros ? -0.0 : 0.0) : v;
    };
    EXPECT_TRUE(sameBits(got.percentileLower, at(lower))) << got.percentileLower << " vs " << at(lower);
    EXPECT_TRUE(sameBits(got.percentileUpper, at(upperPos))) << got.percentileUpper << " vs " << at(upperPos);

    long double sum = 0;
    for (double v : d) sum += v;
    const long double mean = sum / c;
    long double squares = 0;
    for (double x : m.replicates)
        for (double y : s.replicates) {
            // The exact difference, not the rounded one: the moments are those of the replicates.
            const long double e = (static_cast<long double>(x) - y) - mean;
            squares += e * e;
        }
    const long double se = std::sqrt(squares / (c - 1));
    const double tolerance = 1e-13 * static_cast<double>(std::fabs(mean) + se) + 1e-300;
    EXPECT_NEAR(got.meanDifference, static_cast<double>(mean), tolerance);
    EXPECT_NEAR(got.se, static_cast<double>(se), tolerance);
    EXPECT_NEAR(got.tLower, static_cast<double>(mean - kTQuantile * se), 3 * tolerance);
    EXPECT_NEAR(got.tUpper, static_cast<double>(mean + kTQuantile * se), 3 * tolerance);
}

// The rules themselves, against values worked out by hand: x.5 goes to the
// even neighbour; the quantile is the normal 0.975 point (R's qnorm) to six places.
TEST(IntervalRules, RanksRoundHalvesToEvenAndTheQuantileIsSixPlaces) {
    const struct {
        double c;
        std::int64_t lower, upper;
    } cases[] = {
        {4, 1, 4},                  // 0.6 and 4.4
        {9, 1, 9},                  // 0.725 and 9.275
        {40, 2, 40},                // 1.5 and 39.5
        {80, 2, 78},                // 2.5 and 78.5
        {120, 4, 118},              // 3.5 and 117.5
        {200, 6, 196},              // 5.5 and 195.5
        {9e6, 225'000, 8'775'000},  // 3000 x 3000: 225000.5 and 8775000.5
    };
    for (const auto& c : cases) {
        EXPECT_EQ(percentileRanks(c.c).lower, c.lower) << c.c;
        EXPECT_EQ(percentileRanks(c.c).upper, c.upper) << c.c;
    }
    EXPECT_EQ(kTQuantile, 1.959964);
    EXPECT_NEAR(kTQuantile, 1.959963984540054, 5e-7);
}

TEST(PairTest, EveryPairMatchesAllFormedDifferences) {
    for (const Set& set : sets()) {
        SCOPED_TRACE(set.name);
        const std::vector<TreatmentSample> ordered = samples(set);
        for (std::size_t i = 0; i < ordered.size(); ++i)
            for (std::size_t j = i + 1; j < ordered.size(); ++j) {
                SCOPED_TRACE(testing::Message() << "pair " << i << ", " << j);
                expectLikeBruteForce(ordered, i, j, testPair(ordered, i, j));
            }
    }
}

TEST(PairTest, AllPairsComeInPairOrderAsSinglePairs) {
    std::mt19937_64 rng(8);
    std::vector<TreatmentSample> ordered;
    for (int t = 0; t < 6; ++t) ordered.push_back(makeSample("T", "f", draw(rng, 20 + 7 * t, 2.0 - 0.1 * t, 0.1)));
    const std::vector<PairResult> all = testAllPairs(ordered);
    std::size_t p = 0;
    for (std::size_t i = 0; i < ordered.size(); ++i)
        for (std::size_t j = i + 1; j < ordered.size(); ++j, ++p) {
            ASSERT_LT(p, all.size());
            SCOPED_TRACE(testing::Message() << "pair " << i << ", " << j);
            expectLikeBruteForce(ordered, i, j, all[p]);
        }
    EXPECT_EQ(p, all.size());
}

// The engine's own pass over the pair decides the classes the report prints.
TEST(PairTest, CountsAgreeWithTheEnginesPass) {
    for (const Set& set : sets()) {
        SCOPED_TRACE(set.name);
        const std::vector<TreatmentSample> ordered = samples(set);
        for (std::size_t i = 0; i < ordered.size(); ++i)
            for (std::size_t j = i + 1; j < ordered.size(); ++j) {
                const PairResult r = testPair(ordered, i, j);
                const TreatmentSample &a = ordered[i], &b = ordered[j];
                const bool aFirst = a.mean > b.mean;
                const double D = aFirst ? a.mean - b.mean : b.mean - a.mean;
                const PairSums sums = sumPairDifferences({.outer = a.replicates.data(),
                                                          .outerCount = static_cast<std::int32_t>(a.replicates.size()),
                                                          .inner = b.replicates.data(),
                                                          .innerCount = static_cast<std::int32_t>(b.replicates.size()),
                                                          .outerMinusInner = aFirst,
                                                          .meanDifference = D});
                EXPECT_EQ(r.atMostZero, sums.atMostZero);
                EXPECT_EQ(r.atLeastTwice, sums.atLeastTwice);
            }
    }
}

TEST(TreatmentSample, MeanAndSeAreTheEnginesToTheBit) {
    std::mt19937_64 rng(4);
    std::vector<std::vector<double>> data = {
        {0.1, 0.2, 0.3, 1e16, -1e16, 0.7},
        std::vector<double>(9, 0.1),
        draw(rng, 101, 1e6, 0),
        {-0.0, 0.0},
    };
    for (const std::vector<double>& x : data) {
        RunState s;
        s.TreatmentCount = 2;
        s.ReplicateWeight.assign(x.size() + 1, 1);
        for (int k = 1; k <= 2; ++k) {
            s.BootCount[k] = static_cast<std::int32_t>(x.size());
            s.SampleSize[k] = 10;
            s.BootData[k].assign(1, 0.0);
            s.BootData[k].insert(s.BootData[k].end(), x.begin(), x.end());
        }
        EngineCopy copy;
        computeTreatmentStatistics(s, copy);
        const TreatmentSample t = makeSample("T", "f", x);
        EXPECT_TRUE(sameBits(t.mean, s.BootMean[1])) << t.mean << " vs " << s.BootMean[1];
        EXPECT_TRUE(sameBits(t.se, s.BootSE[1])) << t.se << " vs " << s.BootSE[1];
        EXPECT_EQ(t.replicates, x);
        EXPECT_TRUE(std::is_sorted(t.sorted.begin(), t.sorted.end()));
        EXPECT_TRUE(std::is_permutation(t.sorted.begin(), t.sorted.end(), x.begin()));
    }
}

// Small inputs take std::sort, large ones the radix sort on order keys.
TEST(TreatmentSample, AscendingHoldsTheSameValuesInOrder) {
    std::mt19937_64 rng(6);
    auto mixed = [&](std::size_t n) {
        std::vector<double> v(n);
        const double specials[] = {-0.0, 0.0, 5e-324, -5e-324, 1e300, -1e300, 2.5, -2.5};
        for (std::size_t i = 0; i < n; ++i)
            v[i] = i % 5 == 0   ? specials[rng() % 8]
                   : i % 5 == 1 ? std::round(std::normal_distribution<double>(0, 3)(rng))
                                : std::normal_distribution<double>(1e6, 1e-3)(rng) * (rng() % 2 ? 1 : -1);
        return v;
    };
    const std::vector<std::vector<double>> inputs = {
        {3, 1, 2}, {-0.0, 0.0, -0.0}, mixed(1000), mixed(40000), mixed(200001), std::vector<double>(70000, 7.5),
    };
    for (const std::vector<double>& x : inputs) {
        SCOPED_TRACE(x.size());
        const std::vector<double> got = ascending(x);
        std::vector<double> want = x;
        std::sort(want.begin(), want.end());
        ASSERT_EQ(got.size(), want.size());
        // Equal under ==; -0 and +0 may trade places, but never appear or vanish.
        EXPECT_TRUE(std::equal(got.begin(), got.end(), want.begin()));
        auto negativeZeros = [](const std::vector<double>& v) {
            return std::count_if(v.begin(), v.end(), [](double d) { return d == 0 && std::signbit(d); });
        };
        EXPECT_EQ(negativeZeros(got), negativeZeros(x));
    }
}

TEST(TreatmentSample, ExchangeOrderPutsLargerMeansFirstAndNeverSwapsEqualOnes) {
    struct Row {
        std::vector<double> means;
        bool reversed;
        std::vector<std::size_t> order;
    };
    const Row rows[] = {
        {{1, 2, 3}, false, {2, 1, 0}},
        {{1, 2, 3}, true, {0, 1, 2}},
        {{2, 2, 2}, false, {0, 1, 2}},
        {{2, 2, 2}, true, {0, 1, 2}},
        // Exchanges, not a stable sort: equal means can change places
        // through a third treatment.
        {{5, 5, 9}, false, {2, 1, 0}},
        {{1, 3, 3}, false, {1, 2, 0}},
        {{3, 1, 1}, true, {1, 2, 0}},
        {{0.5, -1, 0.5, 2}, false, {3, 2, 0, 1}},
        {{7}, false, {0}},
    };
    for (const Row& r : rows) EXPECT_EQ(exchangeOrder(r.means, r.reversed), r.order);
}

}  // namespace
}  // namespace lumera::analysis
