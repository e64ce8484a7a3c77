// The shared selection of a pair's percentiles and counts against every
// difference formed and sorted, over many shapes and heavy ties.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "analysis/difference_set.h"

namespace lumera::analysis {
namespace {

bool sameBits(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

// Sorted differences, a zero -0 exactly when every zero formed is -0.
std::vector<double> formedOrder(const std::vector<double>& m, const std::vector<double>& s) {
    std::vector<double> d;
    std::int64_t zeros = 0, negative = 0;
    for (double x : m)
        for (double y : s) {
            d.push_back(x - y);
            if (d.back() == 0) ++zeros, negative += std::signbit(d.back());
        }
    std::sort(d.begin(), d.end());
    for (double& v : d)
        if (v == 0) v = zeros == negative ? -0.0 : 0.0;
    return d;
}

// n values from `distinct` levels of width `step` (0: continuous), ascending.
std::vector<double> side(std::mt19937_64& rng, int n, double mean, int distinct, double step) {
    std::normal_distribution<double> normal(mean, 1);
    std::uniform_int_distribution<int> level(0, std::max(distinct - 1, 0));
    std::vector<double> v(n);
    for (double& x : v) x = distinct > 0 ? mean + step * level(rng) : normal(rng);
    std::sort(v.begin(), v.end());
    return v;
}

TEST(DifferenceSelect, RanksAndProbesOfManyShapesLikeFormedDifferences) {
    std::mt19937_64 rng(4242);
    struct Shape {
        int m, s, distinct;
        double step;
    };
    // Past 2^16 differences the selection narrows by drawn values; 2 x 40000
    // walks by binary search; few levels make blocks of equal differences.
    const std::vector<Shape> shapes = {{1, 1, 0, 0},       {2, 3, 2, 1},        {17, 9, 3, 0.5},      {300, 250, 0, 0},
                                       {300, 260, 4, 1},   {400, 300, 2, 0.25}, {350, 320, 40, 0.01}, {2, 40000, 0, 0},
                                       {40000, 3, 5, 0.5}, {500, 400, 1, 1},    {260, 270, 3, 0.1}};
    for (const Shape& shape : shapes) {
        for (int trial = 0; trial < 3; ++trial) {
            SCOPED_TRACE(std::to_string(shape.m) + " x " + std::to_string(shape.s) + " levels " +
                         std::to_string(shape.distinct) + " trial " + std::to_string(trial));
            // Means apart by whole levels, so that zero differences occur.
            const std::vector<double> m = side(rng, shape.m, 0.5 * trial, shape.distinct, shape.step);
            const std::vector<double> s = side(rng, shape.s, 0.0, shape.distinct, shape.step);
            const std::vector<double> order = formedOrder(m, s);
            const auto c = static_cast<std::int64_t>(order.size());
            std::uniform_int_distribution<std::int64_t> any(1, c);
            const double mid = order[order.size() / 2];
            // Ranks at the ends of blocks of equal differences, where a count
            // lands exactly on the rank.
            auto clamp = [c](std::int64_t k) { return std::clamp<std::int64_t>(k, 1, c); };
            const std::int64_t zero = std::upper_bound(order.begin(), order.end(), 0.0) - order.begin();
            const std::int64_t belowMid = std::lower_bound(order.begin(), order.end(), mid) - order.begin();
            std::vector<std::array<std::int64_t, 2>> pairs = {{1, c},
                                                              {clamp(c / 40), clamp(c - c / 40)},
                                                              {c, 1},
                                                              {clamp(zero), clamp(zero + 1)},
                                                              {clamp(belowMid), clamp(belowMid + 1)}};
            for (int i = 0; i < 12; ++i) {
                const std::int64_t k = any(rng);
                const double v = order[static_cast<std::size_t>(k - 1)];
                const std::int64_t blockEnd = std::upper_bound(order.begin(), order.end(), v) - order.begin();
                pairs.push_back({k, clamp(blockEnd + (i % 2))});
            }
            const DifferenceSet::Probe probes[] = {{0.0, false}, {mid, true}};
            const DifferenceSet set(m, s);
            for (const auto& ks : pairs) {
                double values[2];
                std::int64_t counts[2];
                set.select(ks, values, probes, counts);
                for (int i = 0; i < 2; ++i) {
                    const double want = order[static_cast<std::size_t>(ks[i] - 1)];
                    EXPECT_TRUE(sameBits(values[i], want)) << "k = " << ks[i] << ": " << values[i] << " vs " << want;
                }
                EXPECT_EQ(counts[0], zero);
                EXPECT_EQ(counts[1], belowMid);
            }
        }
    }
}

TEST(DifferenceSelect, SidesSummedOnceGiveExactMomentsBitForBit) {
    std::mt19937_64 rng(8);
    std::normal_distribution<double> normal(0, 1);
    std::vector<std::vector<double>> sides;
    // Near 1, near 1e200 (another scale for its pairs) and tiny values.
    for (double scale : {1.0, 3.0, 1e200, 1e-200, 7.5}) {
        std::vector<double> v(500 + sides.size() * 37);
        for (double& x : v) x = scale * (2 + normal(rng));
        sides.push_back(v);
    }
    std::vector<std::span<const double>> spans(sides.begin(), sides.end());
    MomentSides shared(spans);
    // Every ordered pair, half of them from another thread at the same time.
    std::vector<DifferenceMoments> got(sides.size() * sides.size());
    auto run = [&](std::size_t parity) {
        for (std::size_t a = 0; a < sides.size(); ++a)
            for (std::size_t b = 0; b < sides.size(); ++b)
                if (a != b && (a + b) % 2 == parity) got[a * sides.size() + b] = shared.pair(a, b);
    };
    std::thread other(run, 1);
    run(0);
    other.join();
    for (std::size_t a = 0; a < sides.size(); ++a)
        for (std::size_t b = 0; b < sides.size(); ++b) {
            if (a == b) continue;
            const DifferenceMoments want = exactMoments(sides[a], sides[b]), g = got[a * sides.size() + b];
            EXPECT_TRUE(sameBits(g.mean, want.mean) && sameBits(g.se, want.se) && sameBits(g.variance, want.variance))
                << a << " - " << b;
        }
}

}  // namespace
}  // namespace lumera::analysis
