#include "cartesian/pair_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "analysis/interval_rules.h"
#include "reference/literal_quick_sort.h"

namespace lumera {
namespace {

using Positions = std::vector<std::pair<std::int32_t, std::int32_t>>;

struct Replicates {
    std::vector<double> outer, inner;
};

constexpr std::int16_t kStartLimits[] = {0, 1024, 512, 16, 2, 1};

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

std::pair<std::int32_t, std::int32_t> enginePositions(std::int64_t c) {
    const analysis::PercentileRanks ranks = analysis::percentileRanks(static_cast<double>(c));
    return {static_cast<std::int32_t>(ranks.lower), static_cast<std::int32_t>(ranks.upper)};
}

// Runs the literal sort on the formed differences and expects the same values
// at every pair of positions (engine positions if none given) and the same
// group limit; limit then carries the literal's limit on.
void expectLikeLiteral(const Replicates& r, bool outerMinusInner, std::int16_t& limit, Positions positions = {}) {
    std::vector<double> input{0.0};
    for (double x : r.outer)
        for (double y : r.inner) input.push_back(outerMinusInner ? x - y : y - x);
    const auto c = static_cast<std::int32_t>(input.size() - 1);
    double sum = 0;
    for (std::int32_t i = 1; i <= c; ++i) sum = sum + input[i];
    std::vector<std::int32_t> serials(input.size());
    std::iota(serials.begin(), serials.end(), 0);
    std::int16_t literalLimit = limit;
    const std::vector<double> sorted = reference::literalQuickSort(input, serials, literalLimit).values;
    if (positions.empty()) positions.push_back(enginePositions(c));
    const PairDifferences diffs{r.outer.data(), static_cast<std::int32_t>(r.outer.size()), r.inner.data(),
                                static_cast<std::int32_t>(r.inner.size()), outerMinusInner};
    for (const auto& [lo, hi] : positions) {
        std::int16_t ours = limit;
        const PairOrder got = sortedPairPositions(diffs, sum, lo, hi, ours);
        EXPECT_TRUE(same(got.atLo, sorted[lo])) << "position " << lo << ": " << got.atLo << " vs " << sorted[lo];
        EXPECT_TRUE(same(got.atHi, sorted[hi])) << "position " << hi << ": " << got.atHi << " vs " << sorted[hi];
        EXPECT_EQ(ours, literalLimit) << "starting limit " << limit;
    }
    limit = literalLimit;
}

// The differences d in input order (one outer value 0), in both directions
// from a fresh limit; returns the limit the literal left.
std::int16_t expectSequenceLikeLiteral(const std::vector<double>& d) {
    std::vector<double> negated(d.size());
    std::transform(d.begin(), d.end(), negated.begin(), [](double v) { return -v; });
    std::int16_t limit = 1024, other = 1024;
    expectLikeLiteral({{0.0}, negated}, true, limit);
    expectLikeLiteral({{0.0}, d}, false, other);
    return limit;
}

// Every pair from every starting limit in both directions, at every position.
void expectEveryStartLikeLiteral(const std::vector<Replicates>& pairs) {
    for (const Replicates& r : pairs) {
        const auto c = static_cast<std::int32_t>(r.outer.size() * r.inner.size());
        Positions every;
        for (std::int32_t k = 1; k <= c; ++k) every.push_back({k, c + 1 - k});
        for (bool outerMinusInner : {true, false})
            for (std::int16_t start : kStartLimits) expectLikeLiteral(r, outerMinusInner, start, every);
    }
}

// Random pairs of replicates drawn by `draw`, checked at the engine's positions
// and at a few arbitrary ones, from every starting limit and both directions.
template <class Draw>
void expectRandomPairsLikeLiteral(int cases, int maxCount, Draw draw) {
    std::mt19937_64 rng(20240611);
    for (int i = 0; i < cases; ++i) {
        std::uniform_int_distribution<int> size(1, maxCount);
        Replicates r;
        r.outer.resize(size(rng));
        r.inner.resize(size(rng));
        for (double& x : r.outer) x = draw(rng, 1.5);
        for (double& y : r.inner) y = draw(rng, 1.2);
        const auto c = static_cast<std::int32_t>(r.outer.size() * r.inner.size());
        std::uniform_int_distribution<std::int32_t> position(1, c);
        Positions positions{enginePositions(c), {1, c}, {position(rng), position(rng)}};
        std::int16_t limit = kStartLimits[i % 6];
        SCOPED_TRACE(testing::Message() << "case " << i << ", " << r.outer.size() << " x " << r.inner.size());
        expectLikeLiteral(r, i % 2 == 0, limit, positions);
    }
}

double normal(std::mt19937_64& rng, double mean) { return std::normal_distribution<double>(mean, 0.3)(rng); }

TEST(PairOrder, MatchesLiteralOnContinuousReplicates) { expectRandomPairsLikeLiteral(120, 60, normal); }

TEST(PairOrder, MatchesLiteralOnTiedAndDecimalReplicates) {
    // Small integers tie heavily; one or two decimals give differences that
    // are equal on paper but differ in their last bits.
    expectRandomPairsLikeLiteral(60, 60, [](std::mt19937_64& rng, double) {
        return static_cast<double>(std::uniform_int_distribution<int>(0, 4)(rng));
    });
    expectRandomPairsLikeLiteral(
        60, 60, [](std::mt19937_64& rng, double mean) { return std::round(normal(rng, mean) * 10) / 10; });
    expectRandomPairsLikeLiteral(
        60, 60, [](std::mt19937_64& rng, double mean) { return std::round(normal(rng, mean) * 100) / 100; });
}

TEST(PairOrder, MatchesLiteralOnConstantReplicates) {
    std::mt19937_64 rng(7);
    std::vector<double> varied(37);
    for (double& v : varied) v = normal(rng, 1.0);
    expectEveryStartLikeLiteral({
        {std::vector<double>(20, 1.7), std::vector<double>(30, 1.7)},  // every difference 0
        {{2, 2, 2}, {1, 1, 1}},
        {std::vector<double>(25, 0.1), std::vector<double>(40, 0.3)},
        {std::vector<double>(45, 0.1), varied},
        {varied, std::vector<double>(1, 0.7)},
        {{1.0}, {1.0}},
    });
}

TEST(PairOrder, SharesOneGroupLimitAcrossPairs) {
    std::mt19937_64 rng(11);
    std::int16_t limit = 0;
    for (int i = 0; i < 12; ++i) {
        Replicates r;
        r.outer.resize(30 + i);
        r.inner.resize(50 - i);
        for (double& x : r.outer) x = std::round(normal(rng, 1.5) * (i < 6 ? 1000 : 20)) / 10;
        for (double& y : r.inner) y = std::round(normal(rng, 1.2) * (i < 6 ? 1000 : 20)) / 10;
        SCOPED_TRACE(testing::Message() << "pair " << i);
        expectLikeLiteral(r, i % 3 != 0, limit);
    }
}

// Replicates a few ulps around two bases: the differences form tight
// clusters of nearly equal values, so group means can be settled only by
// adding in the sort's visiting order, forward and backward.
TEST(PairOrder, SettlesMeansOfNearlyEqualDifferencesInVisitingOrder) {
    expectRandomPairsLikeLiteral(90, 60, [](std::mt19937_64& rng, double) {
        double v = rng() % 2 ? 3.0 : 9.1;
        for (int k = static_cast<int>(rng() % 9) - 4; k != 0; k += k > 0 ? -1 : 1)
            v = std::nextafter(v, k > 0 ? 100.0 : 0.0);
        return v;
    });
}

// Differences in input order (one outer value 0) whose group limit changes if
// any group is summed in the wrong direction: the first at levels 1 and 2,
// the second at level 3.
TEST(PairOrder, SumsEachGroupInItsVisitingDirection) {
    const std::vector<double> sequences[] = {
        {0.3, -2.3999999999999995, -0.9, -0.7000000000000001, 0.3, -6.299999999999999, -3.3000000000000003,
         0.30000000000000004, -4.4},
        {-5.5,
         -1.7999999999999996,
         2.6,
         -1.7999999999999996,
         -6.299999999999999,
         -0.6999999999999998,
         6.300000000000001,
         -6.3,
         0.8,
         6.3,
         10.400000000000002,
         8.1,
         -2.7999999999999994,
         -1.7999999999999998,
         -1.7999999999999998,
         6.3,
         2.6000000000000005,
         -2.8,
         -0.6999999999999998,
         -2.7999999999999994,
         8.1,
         10.400000000000002,
         6.300000000000001,
         -6.3,
         6.300000000000001,
         10.4,
         -0.6999999999999998,
         8.100000000000001},
    };
    for (const std::vector<double>& d : sequences) expectSequenceLikeLiteral(d);
}

// 64 clusters {v - 3 ulp, v, v, v + 3 ulp}, shuffled: at one level every
// cluster is a group whose mean only its exact sum settles; all of them split
// in two, so one wrong sum leaves an empty group a level early.
TEST(PairOrder, SettlesManyGroupsOfOneLevel) {
    const int clusters = 64, size = 4;
    std::vector<double> d;
    for (int i = 0; i < clusters * size; ++i) {
        const int j = i * 37 % (clusters * size), member = j % size;
        double v = 1.1 * (j / size + 1);
        if (member == 0 || member == 3)
            for (int step = 0; step < 3; ++step) v = std::nextafter(v, member == 0 ? 0.0 : 1e9);
        d.push_back(v);
    }
    EXPECT_EQ(expectSequenceLikeLiteral(d), 128) << "some cluster no longer splits in two";
}

// A group straddling zero whose sum cancels: 1 + 2^-54 - 1 + 0 gives 0, not
// 2^-56 per value, so the value 0 sits between the exact and computed means.
TEST(PairOrder, BoundsSumsThatCancelAcrossZero) {
    expectSequenceLikeLiteral({-9, -7, -8, -6.5, 1, 0x1p-54, -1, 0, -6, -8.5});
}

// w, then 1999 copies of v: the additions' rounding errors pile up to about
// 500 ulps downwards, so the computed mean falls below v although the exact
// mean lies 400 ulps above it; only an error bound growing with the count
// sees that.
TEST(PairOrder, AllowsForRoundingThatGrowsWithTheCount) {
    const double v = 0x1.eb2c8f26ef3f6p+0, w = v * (1 + 400 * 2000 * 0x1p-53);
    std::vector<double> d{-5, -6, w};
    d.resize(2002, v);
    expectSequenceLikeLiteral(d);
}

TEST(PairOrder, MatchesLiteralOnLargerPairs) {
    std::mt19937_64 rng(5);
    auto pair = [&](int no, int ni, double step) {
        Replicates r;
        r.outer.resize(no);
        r.inner.resize(ni);
        for (double& x : r.outer) x = step > 0 ? std::round(normal(rng, 1.5) / step) * step : normal(rng, 1.5);
        for (double& y : r.inner) y = step > 0 ? std::round(normal(rng, 1.2) / step) * step : normal(rng, 1.2);
        return r;
    };
    std::int16_t limit = 0;
    expectLikeLiteral(pair(300, 280, 0), true, limit);
    limit = 1024;
    expectLikeLiteral(pair(190, 210, 0.01), false, limit);
    limit = 1024;
    expectLikeLiteral(pair(120, 100, 1), true, limit);
}

// One side dwarfs the other: the walks go over the short side by binary
// search and keep only block sums of the long side, in both directions.
TEST(PairOrder, MatchesLiteralOnWideUnequalPairs) {
    std::mt19937_64 rng(13);
    auto side = [&](int n, double mean, double step) {
        std::vector<double> v(n);
        for (double& x : v) x = step > 0 ? std::round(normal(rng, mean) / step) * step : normal(rng, mean);
        return v;
    };
    // A few ulps around two bases: group means only exact sums settle.
    auto clustered = [&](int n) {
        std::vector<double> v(n);
        for (double& x : v) {
            x = rng() % 2 ? 3.0 : 9.1;
            for (int k = static_cast<int>(rng() % 9) - 4; k != 0; k += k > 0 ? -1 : 1)
                x = std::nextafter(x, k > 0 ? 100.0 : 0.0);
        }
        return v;
    };
    const std::vector<Replicates> pairs = {
        {side(2, 1.5, 0), side(3000, 1.2, 0)},     {side(3000, 1.5, 0.01), side(3, 1.2, 0.01)},
        {side(1, 1.5, 0), side(4100, 1.2, 0.125)}, {clustered(2), clustered(2900)},
        {clustered(3100), clustered(2)},
    };
    for (const Replicates& r : pairs)
        for (bool outerMinusInner : {true, false})
            for (std::int16_t start : kStartLimits) {
                SCOPED_TRACE(testing::Message() << r.outer.size() << " x " << r.inner.size() << ", start " << start);
                const auto c = static_cast<std::int32_t>(r.outer.size() * r.inner.size());
                expectLikeLiteral(r, outerMinusInner, start, {enginePositions(c), {1, c}, {c / 3, c / 2}});
            }
}

TEST(PairOrder, FollowsLiteralOnExtremeReplicates) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    expectEveryStartLikeLiteral({
        {{1.0, inf, 2.0, 3.0}, {0.5, 1.5, 0.25}},
        {{1.0, 2.0, nan, 3.0}, {0.5, 1.5, 0.25}},
        {{1e300, -1e300, 5e299}, {-1e300, 1.0, 3e299, 2e300}},
        // Differences of 1e-20 beside 1e6: far below the resolution of any
        // common scale for the sums.
        {{1e6, 1e-20, 3e-20, 2e6}, {-1e-20, -2e-20, 5e-21}},
        {{4e-320, -3e-321, 1e-322}, {2e-321, 0.0, -5e-324}},
    });
}

TEST(PairOrder, KeepsNegativeZeroWhenEveryZeroIsOne) {
    const std::vector<double> outer{-0.0, -0.0, 1.0}, inner{0.0, 0.0};
    std::int16_t limit = 1024;
    const PairOrder all = sortedPairPositions({outer.data(), 3, inner.data(), 2, true}, 2.0, 1, 4, limit);
    EXPECT_TRUE(all.atLo == 0 && std::signbit(all.atLo));
    EXPECT_TRUE(all.atHi == 0 && std::signbit(all.atHi));
    const PairOrder none = sortedPairPositions({outer.data(), 3, inner.data(), 2, false}, -2.0, 1, 4, limit);
    EXPECT_TRUE(none.atLo == -1 && none.atHi == 0 && !std::signbit(none.atHi));
}

}  // namespace
}  // namespace lumera
