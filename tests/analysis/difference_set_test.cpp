#include "analysis/difference_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace lumera::analysis {
namespace {

struct Case {
    std::string name;
    std::vector<double> minuend, subtrahend;  // any order
};

std::vector<double> sortedCopy(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Every difference formed, in no particular order.
std::vector<double> allDifferences(const Case& c) {
    std::vector<double> d;
    d.reserve(c.minuend.size() * c.subtrahend.size());
    for (double x : c.minuend)
        for (double y : c.subtrahend) d.push_back(x - y);
    return d;
}

// The k-th smallest formed difference; a zero is -0 exactly when every
// zero difference formed is -0.
std::vector<double> expectedOrder(const Case& c) {
    std::vector<double> d = allDifferences(c);
    std::int64_t zeros = 0, negativeZeros = 0;
    for (double v : d)
        if (v == 0) {
            ++zeros;
            negativeZeros += std::signbit(v);
        }
    std::sort(d.begin(), d.end());
    for (double& v : d)
        if (v == 0) v = zeros == negativeZeros ? -0.0 : 0.0;
    return d;
}

bool sameBits(double a, double b) { return a == b && std::signbit(a) == std::signbit(b); }

std::vector<double> draw(std::mt19937_64& rng, int n, double mean, double sd, double step) {
    std::normal_distribution<double> normal(mean, sd);
    std::vector<double> v(n);
    for (double& x : v) x = step > 0 ? std::round(normal(rng) / step) * step : normal(rng);
    return v;
}

std::vector<Case> smallCases() {
    std::mt19937_64 rng(20240611);
    std::vector<Case> cases = {
        {"two by two", {1.5, 0.5}, {0.25, 1.0}},
        {"ties of small integers", {0, 1, 1, 2, 4, 4, 4}, {1, 1, 3, 0, 2}},
        {"both constant, every difference 0", std::vector<double>(7, 1.7), std::vector<double>(5, 1.7)},
        {"constant against varied", std::vector<double>(6, 0.1), {0.3, -0.2, 0.1, 0.1, 0.7}},
        {"negative values", {-3.5, -1.25, -7, -0.5}, {-2, -9.75, -0.125}},
        {"only -0 minus +0", {-0.0, -0.0}, {0.0, 0.0, 0.0}},
        {"-0 and +0 mixed", {-0.0, 0.0, 1.0, -1.0}, {0.0, -0.0, 1.0}},
        {"-0 differences beside others", {-0.0, -0.0, 1.0}, {0.0, 0.0}},
        {"decimals that tie on paper only", {0.3, 0.1, 0.7, 1.1}, {0.2, 0.4, 0.6, 0.9, 0.1}},
        {"one-sided wide", {5, 6}, {}},
        {"other-sided wide", {}, {5, 6}},
        {"tiny against huge", {1e6, 1e-20, 3e-20, 2e6}, {-1e-20, -2e-20, 5e-21}},
        {"subnormals", {4e-320, -3e-321, 1e-322}, {2e-321, 0.0, -5e-324}},
    };
    for (int i = 0; i < 300; ++i) cases[9].subtrahend.push_back(static_cast<double>(i % 37) * 0.25 - 3);
    for (int i = 0; i < 300; ++i) cases[10].minuend.push_back(static_cast<double>(i % 41) * 0.5 - 4);
    for (int i = 0; i < 12; ++i) {
        std::uniform_int_distribution<int> size(2, 40);
        const double step = i % 3 == 0 ? 0 : i % 3 == 1 ? 0.1 : 1;
        cases.push_back({"random " + std::to_string(i), draw(rng, size(rng), 1.5, 0.4, step),
                         draw(rng, size(rng), 1.2, 0.4, step)});
    }
    return cases;
}

// Large enough that kth narrows by drawn differences before it forms any.
std::vector<Case> largeCases() {
    std::mt19937_64 rng(77);
    std::vector<Case> cases = {
        {"continuous 700 x 600", draw(rng, 700, 1.5, 0.3, 0), draw(rng, 600, 1.2, 0.3, 0)},
        {"two decimals 650 x 640", draw(rng, 650, 1.0, 0.3, 0.01), draw(rng, 640, 1.0, 0.3, 0.01)},
        {"four values 800 x 700", draw(rng, 800, 1.5, 1, 1), draw(rng, 700, 1.5, 1, 1)},
        {"huge blocks of zero", std::vector<double>(900, 2.0), std::vector<double>(500, 2.0)},
        {"wide 200000 x 2", draw(rng, 200000, 0, 1, 0), {0.5, -0.25}},
        {"wide 3 x 150000", {0.5, -0.25, 0.0}, draw(rng, 150000, 0, 1, 0.001)},
    };
    // A block of equal differences at each end of what the percentiles see.
    cases[3].minuend.resize(1000, 5.0);
    cases[3].subtrahend.resize(600, -1.0);
    return cases;
}

void expectCountsLikeBruteForce(const Case& c, const DifferenceSet& set, const std::vector<double>& order,
                                const std::vector<double>& thresholds) {
    for (double t : thresholds) {
        const auto atMost = std::upper_bound(order.begin(), order.end(), t) - order.begin();
        const auto below = std::lower_bound(order.begin(), order.end(), t) - order.begin();
        EXPECT_EQ(set.countAtMost(t), atMost) << "t = " << t;
        EXPECT_EQ(set.countBelow(t), below) << "t = " << t;
        std::int64_t upper = 0;
        for (double x : c.minuend)
            for (double y : c.subtrahend) {
                const double d = x - y;
                upper += (d > 0) & ((d > t) | (d == t));
            }
        EXPECT_EQ(set.countAtLeastTwice(t), upper) << "twice = " << t;
    }
}

// Thresholds on, between and beyond the differences, and the zeros.
std::vector<double> thresholdsOf(const std::vector<double>& order, std::mt19937_64& rng, int picks) {
    std::vector<double> t{0.0, -0.0, order.front(), order.back(), order.front() - 1, order.back() + 1};
    std::uniform_int_distribution<std::size_t> at(0, order.size() - 1);
    for (int i = 0; i < picks; ++i) {
        const double v = order[at(rng)];
        t.push_back(v);
        t.push_back(std::nextafter(v, 1e300));
        t.push_back(std::nextafter(v, -1e300));
        t.push_back(2 * v);
    }
    return t;
}

TEST(DifferenceSet, CountsRanksAndBinsEveryDifferenceOfSmallPairs) {
    std::mt19937_64 rng(3);
    for (const Case& c : smallCases()) {
        SCOPED_TRACE(c.name);
        const std::vector<double> m = sortedCopy(c.minuend), s = sortedCopy(c.subtrahend);
        const DifferenceSet set(m, s);
        const std::vector<double> order = expectedOrder(c);
        ASSERT_EQ(set.count(), static_cast<std::int64_t>(order.size()));
        EXPECT_TRUE(sameBits(set.smallest(), order.front()) || (order.front() == 0 && set.smallest() == 0));
        EXPECT_TRUE(sameBits(set.largest(), order.back()) || (order.back() == 0 && set.largest() == 0));
        for (std::int64_t k = 1; k <= set.count(); ++k) {
            const double got = set.kth(k), want = order[static_cast<std::size_t>(k - 1)];
            ASSERT_TRUE(sameBits(got, want)) << "k = " << k << ": " << got << " vs " << want;
        }
        expectCountsLikeBruteForce(c, set, order, thresholdsOf(order, rng, 10));
    }
}

TEST(DifferenceSet, RanksLargePairsExactly) {
    std::mt19937_64 rng(9);
    for (const Case& c : largeCases()) {
        SCOPED_TRACE(c.name);
        const std::vector<double> m = sortedCopy(c.minuend), s = sortedCopy(c.subtrahend);
        const DifferenceSet set(m, s);
        const std::vector<double> order = expectedOrder(c);
        const auto n = static_cast<std::int64_t>(order.size());
        std::uniform_int_distribution<std::int64_t> any(1, n);
        std::vector<std::int64_t> ks{1, 2, n - 1, n, n / 40, n / 40 + 1, n - n / 40, n / 2};
        for (int i = 0; i < 40; ++i) ks.push_back(any(rng));
        for (std::int64_t k : ks) {
            const double got = set.kth(k), want = order[static_cast<std::size_t>(k - 1)];
            EXPECT_TRUE(sameBits(got, want)) << "k = " << k << ": " << got << " vs " << want;
        }
        expectCountsLikeBruteForce(c, set, order, thresholdsOf(order, rng, 3));
    }
}

TEST(DifferenceSet, BinCountsMatchFormedDifferences) {
    std::mt19937_64 rng(21);
    for (const Case& c : smallCases()) {
        SCOPED_TRACE(c.name);
        const std::vector<double> m = sortedCopy(c.minuend), s = sortedCopy(c.subtrahend);
        const std::vector<double> order = expectedOrder(c);
        // Edges on differences (so the last edge may equal the largest) and between them.
        std::vector<std::vector<double>> edgeSets = {
            {order.front(), order.back()},
            {order.front() - 1, 0.0, order.back() + 1},
        };
        std::vector<double> picked = thresholdsOf(order, rng, 6);
        std::sort(picked.begin(), picked.end());
        picked.erase(std::unique(picked.begin(), picked.end()), picked.end());
        edgeSets.push_back(picked);
        for (const std::vector<double>& edges : edgeSets) {
            std::vector<std::int64_t> want(edges.size() - 1, 0);
            for (double d : allDifferences(c))
                for (std::size_t i = 0; i + 1 < edges.size(); ++i)
                    if (edges[i] <= d && (d < edges[i + 1] || (i + 2 == edges.size() && d == edges[i + 1]))) {
                        ++want[i];
                        break;
                    }
            EXPECT_EQ(DifferenceSet(m, s).binCounts(edges), want);
        }
    }
}

// Replicates on a binary grid: every sum over all formed differences is an
// exact integer count of grid steps, so the moments are known exactly.
struct GridCase {
    std::string name;
    std::vector<double> minuend, subtrahend;
    double step;
};

TEST(DifferenceSet, ExactMomentsMatchExactSumsOverAllDifferences) {
    std::mt19937_64 rng(12);
    auto grid = [&](int n, double offset, std::int64_t spread, double step) {
        std::uniform_int_distribution<std::int64_t> k(-spread, spread);
        std::vector<double> v(n);
        for (double& x : v) x = offset + static_cast<double>(k(rng)) * step;
        return v;
    };
    const std::vector<GridCase> cases = {
        {"offset 1e6, spread of a few 2^-30", grid(300, 1e6, 50, 0x1p-30), grid(200, 1e6, 40, 0x1p-30), 0x1p-30},
        {"offset 1e6 against -1e6", grid(250, 1e6, 1000, 0x1p-28), grid(170, -1e6, 900, 0x1p-28), 0x1p-28},
        {"mixed signs near 0", grid(400, 0, 1 << 20, 0x1p-20), grid(2, 0.5, 1 << 20, 0x1p-20), 0x1p-20},
        {"constant", std::vector<double>(5, 3.25), std::vector<double>(7, 3.25), 0x1p-2},
        {"large values", grid(90, 0x1p60, 1 << 30, 0x1p20), grid(80, -0x1p60, 1 << 30, 0x1p20), 0x1p20},
    };
    for (const GridCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Every difference in grid steps about the first one: small exact integers.
        __extension__ typedef __int128 Wide;
        const double base = c.minuend[0] - c.subtrahend[0];
        Wide sum = 0, squares = 0;
        for (double x : c.minuend)
            for (double y : c.subtrahend) {
                const auto e = static_cast<Wide>(std::llround(((x - base) - y) / c.step));
                ASSERT_EQ(((x - base) - y), static_cast<double>(e) * c.step) << "grid too fine for the test";
                sum += e;
                squares += e * e;
            }
        const auto n = static_cast<long double>(c.minuend.size() * c.subtrahend.size());
        const long double mean = base + static_cast<long double>(sum) / n * c.step;
        const Wide scaled = static_cast<Wide>(n) * squares - sum * sum;  // n^2 x variance x (n-1)/n
        const long double variance = static_cast<long double>(scaled) / (n * (n - 1)) * c.step * c.step;
        const DifferenceMoments got = exactMoments(c.minuend, c.subtrahend);
        const long double se = std::sqrt(variance);
        const long double tolerance = 1e-13L * (std::fabs(mean) + se);
        EXPECT_NEAR(got.mean, mean, tolerance);
        EXPECT_NEAR(got.se, se, tolerance);
        EXPECT_NEAR(got.variance, variance, 1e-13L * (variance + tolerance));
    }
}

}  // namespace
}  // namespace lumera::analysis
