// The shared selection of a pair's percentiles and counts against every
// difference formed and sorted, over many shapes and heavy ties.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/difference_set.h"

namespace lumera::analysis {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

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

// #(m - s <= t) (#(m - s < t) when strict) by bisection of the subtrahends
// for each minuend value: fl(x - y) falls as y grows.
std::int64_t countBySearch(const std::vector<double>& m, const std::vector<double>& s, double t, bool strict) {
    std::int64_t n = 0;
    for (double x : m) {
        const auto first = std::partition_point(s.begin(), s.end(), [&](double y) {
            const double d = x - y;
            return strict ? !(d < t) : !(d <= t);
        });
        n += s.end() - first;
    }
    return n;
}

TEST(DifferenceSelect, ProbesOfEveryRowStretchLikeFormedDifferences) {
    std::mt19937_64 rng(77);
    // Rows around the eight stretches a walk splits them into, either side
    // the shorter; levels 0: continuous, else that many values 0.5 apart,
    // zeros and -0 among them.
    struct Shape {
        int m, s, levels;
    };
    const std::vector<Shape> shapes = {{1, 9, 0},   {7, 30, 0},  {8, 8, 2},   {9, 40, 3},  {15, 16, 0}, {16, 70, 4},
                                       {17, 17, 1}, {63, 64, 0}, {65, 64, 5}, {70, 16, 0}, {40, 9, 3},  {64, 65, 40}};
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(std::to_string(shape.m) + " x " + std::to_string(shape.s) + " levels " +
                     std::to_string(shape.levels));
        auto draw = [&](int n) {
            std::vector<double> v = side(rng, n, 0.0, shape.levels, 0.5);
            for (double& x : v)
                if (x == 0 && rng() % 2) x = -0.0;
            std::sort(v.begin(), v.end());
            return v;
        };
        const std::vector<double> m = draw(shape.m), s = draw(shape.s);
        const std::vector<double> order = formedOrder(m, s);
        std::vector<double> ts = {0.0, -0.0, kInf, -kInf, order.front(), order.back()};
        for (int i = 0; i < 6; ++i) {
            const double v = order[rng() % order.size()];
            ts.insert(ts.end(), {v, std::nextafter(v, kInf), std::nextafter(v, -kInf)});
        }
        const DifferenceSet set(m, s);
        for (std::size_t i = 0; i + 1 < ts.size(); ++i) {
            const DifferenceSet::Probe probes[] = {{ts[i], false}, {ts[i + 1], true}};
            std::int64_t counts[2];
            set.select({}, {}, probes, counts);
            const auto atMost = std::upper_bound(order.begin(), order.end(), ts[i]) - order.begin();
            const auto below = std::lower_bound(order.begin(), order.end(), ts[i + 1]) - order.begin();
            EXPECT_EQ(counts[0], atMost) << "d <= " << ts[i];
            EXPECT_EQ(counts[1], below) << "d < " << ts[i + 1];
        }
    }
}

TEST(DifferenceSelect, LargeGridsStartedFromCoarseBoundsRankExactly) {
    // Past 32768 rows the first bounds come from the grid of every 64th
    // value; shapes where that grid could mislead them: heavy ties, one
    // side constant, far clusters, a long tail, and steps that put 31 of
    // each 64 values above the one the grid keeps (its bounds miss and are
    // drawn again wider). Checked by counting: v is the k-th when
    // #(d < v) < k <= #(d <= v).
    struct Shape {
        const char* name;
        std::function<double(std::mt19937_64&, int)> value;  // of the i-th value
    };
    const std::vector<Shape> shapes = {
        {"normal", [](std::mt19937_64& r, int) { return std::normal_distribution<double>(0, 1)(r); }},
        {"four decimals",
         [](std::mt19937_64& r, int) { return std::round(std::normal_distribution<double>(1, 0.2)(r) * 1e4) / 1e4; }},
        {"constant", [](std::mt19937_64&, int) { return 2.5; }},
        {"clusters", [](std::mt19937_64& r,
                        int) { return (r() % 3 == 0 ? 1e6 : 0.0) + std::normal_distribution<double>(0, 1)(r); }},
        {"tail", [](std::mt19937_64& r, int) { return std::exp(3 * std::normal_distribution<double>(0, 1)(r)); }},
        {"three levels", [](std::mt19937_64& r, int) { return static_cast<double>(r() % 3); }},
        {"steps", [](std::mt19937_64&, int i) { return std::floor((i + 31) / 64) * 0.01; }}};
    struct Job {
        std::string what;
        std::vector<double> m, s;
    };
    std::vector<Job> jobs;
    std::mt19937_64 rng(2026);
    auto draw = [&](const Shape& shape, int n) {
        std::vector<double> v(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = shape.value(rng, i);
        std::sort(v.begin(), v.end());
        return v;
    };
    for (const Shape& a : shapes)
        for (const Shape& b : {shapes[0], shapes[1], shapes[4]})
            jobs.push_back({std::string(a.name) + " - " + b.name, draw(a, 33000), draw(b, 34001)});
    jobs.push_back({"normal - steps", draw(shapes[0], 40000), draw(shapes[6], 36000)});
    // Half the pairs on another thread at the same time, as the command runs them.
    std::vector<std::string> failures(jobs.size());
    auto run = [&](std::size_t parity) {
        for (std::size_t j = parity; j < jobs.size(); j += 2) {
            const Job& job = jobs[j];
            const DifferenceSet set(job.m, job.s);
            const std::int64_t c = set.count();
            const std::int64_t ks[][2] = {{c / 40, c - c / 40}, {1, c}, {c / 2, c / 3}, {c / 1000 + 7, c - 12345}};
            const DifferenceSet::Probe probes[] = {{0.0, false}, {0.3, true}};
            for (const auto& k : ks) {
                double values[2];
                std::int64_t counts[2];
                set.select(k, values, probes, counts);
                for (int i = 0; i < 2; ++i) {
                    const std::int64_t below = countBySearch(job.m, job.s, values[i], true);
                    const std::int64_t atMost = countBySearch(job.m, job.s, values[i], false);
                    if (!(below < k[i] && k[i] <= atMost))
                        failures[j] += " k=" + std::to_string(k[i]) + " got " + std::to_string(values[i]);
                }
                if (counts[0] != countBySearch(job.m, job.s, 0.0, false) ||
                    counts[1] != countBySearch(job.m, job.s, 0.3, true))
                    failures[j] += " probe counts";
            }
        }
    };
    std::thread other(run, 1);
    run(0);
    other.join();
    for (std::size_t j = 0; j < jobs.size(); ++j) EXPECT_EQ(failures[j], "") << jobs[j].what;
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
