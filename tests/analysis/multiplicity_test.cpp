#include "analysis/multiplicity.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "analysis/comparison.h"
#include "analysis/interval_level.h"
#include "analysis/interval_rules.h"
#include "analysis/pair_test.h"
#include "analysis/treatment_sample.h"

namespace lumera::analysis {
namespace {

struct Adjusted {
    std::vector<double> p, bonferroni, holm, hochberg, bh;
};

// R's p.adjust, worked out by a separate Python script from the formulas
// of R's documentation in plain doubles: bonferroni pmin(1, n p); holm
// pmin(1, cummax((n - i + 1) p[o])), o ascending; hochberg pmin(1,
// cummin((n - i + 1) p[o])) and BH pmin(1, cummin(n / i p[o])), o
// descending, i = n..1; o stable. In each vector the running max or min
// changes some values, and the second and last hold ties, P = 1 and P = 0.
const Adjusted kCases[] = {
    {{0.01, 0.04, 0.03, 0.005, 0.2},
     {0.05, 0.2, 0.15, 0.025, 1},
     {0.04, 0.09, 0.09, 0.025, 0.2},
     {0.04, 0.08, 0.08, 0.025, 0.2},
     {0.025, 0.05, 0.05, 0.025, 0.2}},
    {{0.02, 0.021, 0.5, 1.0, 0.021, 0.0},
     {0.12, 0.126, 1, 1, 0.126, 0},
     {0.1, 0.1, 1, 1, 0.1, 0},
     {0.063, 0.063, 1, 1, 0.063, 0},
     {0.0315, 0.0315, 0.6, 1, 0.0315, 0}},
    {{0.3, 0.3, 0.3},
     {0.8999999999999999, 0.8999999999999999, 0.8999999999999999},
     {0.8999999999999999, 0.8999999999999999, 0.8999999999999999},
     {0.3, 0.3, 0.3},
     {0.3, 0.3, 0.3}},
    {{0.04, 0.012, 0.012, 0.9, 0.026, 0.45},
     {0.24, 0.07200000000000001, 0.07200000000000001, 1, 0.156, 1},
     {0.12, 0.07200000000000001, 0.07200000000000001, 0.9, 0.104, 0.9},
     {0.12, 0.06, 0.06, 0.9, 0.104, 0.9},
     {0.06, 0.036000000000000004, 0.036000000000000004, 0.9, 0.052, 0.54}},
};

void expectValues(const std::vector<double>& got, const std::vector<double>& want, const char* rule) {
    ASSERT_EQ(got.size(), want.size()) << rule;
    for (std::size_t k = 0; k < want.size(); ++k) EXPECT_DOUBLE_EQ(got[k], want[k]) << rule << " at " << k;
}

TEST(Multiplicity, AdjustedPAsRsPAdjust) {
    for (const Adjusted& c : kCases) {
        SCOPED_TRACE(c.p.size());
        expectValues(adjustedP(c.p, AdjustRule::Bonferroni), c.bonferroni, "bonferroni");
        expectValues(adjustedP(c.p, AdjustRule::Holm), c.holm, "holm");
        expectValues(adjustedP(c.p, AdjustRule::Hochberg), c.hochberg, "hochberg");
        expectValues(adjustedP(c.p, AdjustRule::BH), c.bh, "BH");
        expectValues(adjustedP(c.p, AdjustRule::None), c.p, "none");
    }
    // 1 - (1 - P)^m by hand for m = 3: P = 0.5 gives 0.875, P = 1 gives 1, P = 0.1 gives 0.271.
    expectValues(adjustedP({0.5, 1, 0.1}, AdjustRule::Sidak), {0.875, 1, 0.271}, "sidak");
    EXPECT_TRUE(adjustedP({}, AdjustRule::Holm).empty());
}

TEST(Multiplicity, RuleNames) {
    for (const char* name : {"none", "sidak", "bonferroni", "holm", "hochberg", "BH"}) {
        ASSERT_TRUE(adjustRuleNamed(name)) << name;
        EXPECT_EQ(adjustRuleName(*adjustRuleNamed(name)), name);
    }
    for (const char* name : {"", "bh", "Holm", "fdr", "BY", "hommel"}) EXPECT_FALSE(adjustRuleNamed(name)) << name;
}

TEST(IntervalLevelText, DecimalDigitsGiveQAndOneMinusQ) {
    struct Case {
        const char* text;
        // z to double from 40 digits: Newton's method on the Taylor series
        // of the normal distribution function in Python's Decimal.
        double q, oneMinusQ, z;
        const char* percent;
    };
    const Case cases[] = {
        {"0.95", 0.025, 0.975, kTQuantile, "95"},
        {"0.950", 0.025, 0.975, kTQuantile, "95"},
        {"95e-2", 0.025, 0.975, kTQuantile, "95"},
        {"0.9", 0.05, 0.95, 1.6448536269514726, "90"},
        {".99", 0.005, 0.995, 2.575829303548901, "99"},
        {"0.5", 0.25, 0.75, 0.6744897501960817, "50"},
        {"0.975", 0.0125, 0.9875, 2.2414027276049455, "97.5"},
        {"0.05", 0.475, 0.525, 0.06270677794321379, "5"},
        {"0.005", 0.4975, 0.5025, 0.0062666117017504686, "0.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto level = parseLevel(c.text);
        ASSERT_TRUE(level);
        EXPECT_EQ(level->interval.q, c.q);
        EXPECT_EQ(level->interval.oneMinusQ, c.oneMinusQ);
        EXPECT_NEAR(level->interval.z, c.z, 1.5e-15 * c.z);
        EXPECT_EQ(level->percent, c.percent);
    }
    // Plain doubles would move the lower rank: (1 - 0.95) / 2 is not 0.025.
    EXPECT_NE((1 - 0.95) / 2, parseLevel("0.95")->interval.q);
    EXPECT_EQ(parseLevel("0.95")->level, 0.95);
    for (const char* text : {"", "0", "0.0", "1", "1.0", "1.5", "-0.5", "+0.5", ".", "e-1", "1e", "0.9x", "0,9", " 0.9",
                             "abc", "10e-1", "1e-5000"})
        EXPECT_FALSE(parseLevel(text)) << text;
}

TEST(IntervalLevelText, RanksStayInsideTheDifferences) {
    // A level close to 1 puts c q + 0.5 at 0.5 and c (1 - q) + 0.5 at c + 0.5.
    const IntervalLevel nearOne{1, 1e-30, 1};
    EXPECT_EQ(percentileRanks(3, nearOne).lower, 1);
    EXPECT_EQ(percentileRanks(3, nearOne).upper, 3);
    for (double c : {1.0, 2.0, 7.0, 40.0, 1e6 + 1})
        EXPECT_EQ(percentileRanks(c, IntervalLevel{}).lower, percentileRanks(c).lower) << c;
}

std::vector<TreatmentSample> randomSamples(std::mt19937_64& rng, int k) {
    std::vector<TreatmentSample> out;
    for (int t = 0; t < k; ++t) {
        std::normal_distribution<double> normal(0.15 * t, 0.5);
        std::vector<double> v(3 + rng() % 9);
        for (double& x : v) x = std::round(normal(rng) * 4) / 4;
        std::string name = "T";
        name += std::to_string(t);
        out.push_back(makeSample(name, name, v));
    }
    return out;
}

// Rank r (from 1) of all formed differences minuend - subtrahend, sorted.
double formedAt(const PairResult& p, const std::vector<TreatmentSample>& t, std::int64_t r) {
    std::vector<double> d;
    for (double x : t[p.first].replicates)
        for (double y : t[p.second].replicates) d.push_back(x - y);
    std::sort(d.begin(), d.end());
    return d[static_cast<std::size_t>(r - 1)];
}

TEST(IntervalLevelText, Level90MovesRanksAsTheFormulaSays) {
    std::mt19937_64 rng(7);
    const LevelChoice ninety = *parseLevel("0.9");
    int moved = 0;
    for (int run = 0; run < 30; ++run) {
        std::vector<TreatmentSample> s = randomSamples(rng, 3);
        const Comparison c = compareTreatments(s, 0.05, "none", ninety);
        const Comparison today = compareTreatments(s, 0.05, false);
        for (std::size_t k = 0; k < c.pairs.size(); ++k) {
            const PairResult& p = c.pairs[k];
            const double n = static_cast<double>(p.differences);
            // Rounding to nearest, halves to even, the default mode.
            const auto lower = static_cast<std::int64_t>(std::nearbyint(n * 0.05 + 0.5));
            const auto upper = static_cast<std::int64_t>(std::nearbyint(n * 0.95 + 0.5));
            EXPECT_EQ(p.lowerPosition, lower);
            EXPECT_EQ(p.upperPosition, upper);
            EXPECT_EQ(p.percentileLower, formedAt(p, c.treatments, lower));
            EXPECT_EQ(p.percentileUpper, formedAt(p, c.treatments, upper));
            const double z = 1.6448536269514726, slack = 1e-14 * (std::fabs(p.meanDifference) + z * p.se);
            EXPECT_NEAR(p.tLower, p.meanDifference - z * p.se, slack);
            EXPECT_NEAR(p.tUpper, p.meanDifference + z * p.se, slack);
            EXPECT_EQ(p.pValue, today.pairs[k].pValue);
            moved += p.lowerPosition != today.pairs[k].lowerPosition;
        }
    }
    EXPECT_GT(moved, 0);
}

// Whether two treatments' letter strings share a letter.
bool share(const std::string& a, const std::string& b) { return a.find_first_of(b) != std::string::npos; }

TEST(Multiplicity, DecisionsAndLettersFollowEveryRule) {
    std::mt19937_64 rng(11);
    const double alpha = 0.2;
    for (int run = 0; run < 40; ++run) {
        const std::vector<TreatmentSample> s = randomSamples(rng, 2 + run % 5);
        const double m = static_cast<double>(s.size() * (s.size() - 1) / 2);
        const Comparison sidak = compareTreatments(s, alpha, true);
        for (const char* name : {"none", "sidak", "bonferroni", "holm", "hochberg", "BH"}) {
            SCOPED_TRACE(name);
            const Comparison c = compareTreatments(s, alpha, name, LevelChoice{});
            EXPECT_EQ(c.adjust, name);
            std::vector<double> p;
            for (const PairResult& r : c.pairs) p.push_back(r.pValue);
            EXPECT_EQ(c.pAdjusted, adjustedP(p, *adjustRuleNamed(name)));
            for (std::size_t k = 0; k < c.pairs.size(); ++k) {
                const PairResult& r = c.pairs[k];
                const std::string rule = name;
                bool want = c.pAdjusted[k] <= alpha;
                if (rule == "none") want = r.pValue <= alpha;
                if (rule == "sidak") want = r.pValue <= 1 - std::pow(1 - alpha, 1 / m);
                EXPECT_EQ(c.significant[k], want) << k;
                EXPECT_EQ(share(c.letters[r.first], c.letters[r.second]), !c.significant[k]) << k;
                if (rule == "sidak") {
                    EXPECT_EQ(c.significant[k], sidak.significant[k]);
                }
                const bool t = r.tLower > 0 || r.tUpper < 0;
                const bool pct = r.percentileLower > 0 || r.percentileUpper < 0;
                EXPECT_EQ(c.tExcludesZero[k], t);
                EXPECT_EQ(c.percentileExcludesZero[k], pct);
                EXPECT_EQ(c.againstIntervals[k], t == pct && t != c.significant[k]);
            }
        }
    }
}

// An alpha whose Sidak level for m pairs is p to the bit, searched among the
// doubles next to 1 - (1 - p)^m; -1 when none of them gives it.
double alphaWithSidakLevel(double p, double m) {
    const double base = 1 - std::pow(1 - p, m);
    double up = base, down = base;
    for (int step = 0; step < 30; ++step) {
        for (double a : {up, down})
            if (a > 0 && a < 1 && 1 - std::pow(1 - a, 1 / m) == p) return a;
        up = std::nextafter(up, 2.0);
        down = std::nextafter(down, -1.0);
    }
    return -1;
}

TEST(Multiplicity, SidakRuleDecidesAsTheSidakFlagAtTheBoundary) {
    std::mt19937_64 rng(5);
    int ties = 0;
    for (int run = 0; run < 40; ++run) {
        const std::vector<TreatmentSample> s = randomSamples(rng, 2 + run % 4);
        const double m = static_cast<double>(s.size() * (s.size() - 1) / 2);
        for (const PairResult& tied : compareTreatments(s, 0.05, false).pairs) {
            const double alpha = alphaWithSidakLevel(tied.pValue, m);
            if (alpha < 0) continue;
            ++ties;
            const Comparison flag = compareTreatments(s, alpha, true);
            const Comparison rule = compareTreatments(s, alpha, "sidak", LevelChoice{});
            ASSERT_EQ(flag.significant, rule.significant);
            EXPECT_EQ(flag.letters, rule.letters);
            for (std::size_t k = 0; k < rule.pairs.size(); ++k) {
                EXPECT_EQ(rule.significant[k], rule.pairs[k].pValue <= tied.pValue);
                EXPECT_DOUBLE_EQ(rule.pAdjusted[k], std::min(1.0, 1 - std::pow(1 - rule.pairs[k].pValue, m)));
            }
        }
    }
    EXPECT_GT(ties, 10);
}

}  // namespace
}  // namespace lumera::analysis
