#include "analysis/life_table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "textio/cohort_reader.h"
#include "textio/user_error.h"

namespace lumera::analysis {
namespace {

::testing::AssertionResult near(double got, double want, double relative = 1e-12) {
    const double tolerance = std::max(relative * std::fabs(want), 1e-15);
    if (std::fabs(got - want) <= tolerance) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got << " differs from " << want << " by " << got - want;
}

Cohort parsed(const std::string& text) { return Cohort(parseCohort(text, "c.csv", "t")); }

// Six individuals, stages egg and larva:
//   1 F 2+3 days, adult 3, eggs 0,4,2 -> adult at 5, dead at 8, eggs at ages 6, 7
//   2 F 2+2, adult 2, eggs 3,1       -> adult at 4, dead at 6, eggs at ages 4, 5
//   3 M 2+3, adult 4                  -> adult at 5, dead at 9
//   4 N 2+1                           -> dead at 3 (in the larva)
//   5 N 1                             -> dead at 1 (in the egg)
//   6 F 3+2, adult 1, no eggs         -> adult at 5, dead at 6
// By hand, ages 0..8: egg 6,5,1; larva (x=2..4) 4,4,3; female (x=4..7)
// 1,3,1,1; male (x=5..8) 1 each; alive 6,5,5,4,4,4,2,2,1; E_4..7 = 3,1,4,2,
// so R0 = 10/6, m_4..7 = 3/4, 1/4, 2, 1, GRR = 4, f_4..7 = 3, 1/3, 4, 2.
// e = mean of (death - x): egg at 0 (8+6+9+3+1+6)/6 = 5.5; at 1 (33-1-5)/5;
// at 2: 4; larva at 2 (26-8)/4, at 3 (29-12)/4, at 4 (23-12)/3; female at 4:
// 2, at 5 (20-15)/3, at 6: 2, at 7: 1; male 4,3,2,1.
const std::string kSix =
    "id,sex,egg,larva,adult,d1,d2,d3\n"
    "1,F,2,3,3,0,4,2\n"
    "2,F,2,2,2,3,1\n"
    "3,M,2,3,4\n"
    "4,N,2,1\n"
    "5,N,1\n"
    "6,F,3,2,1,0\n";

TEST(LifeTable, SixIndividualsAsDerivedByHand) {
    const LifeTableResult res = lifeTable(parsed(kSix));
    const LifeTable& t = res.table;
    ASSERT_EQ(t.ages(), 9u);
    EXPECT_EQ(t.stages, (std::vector<std::string>{"egg", "larva", "female", "male"}));
    using Counts = std::vector<std::int64_t>;
    EXPECT_EQ(t.n[0], (Counts{6, 5, 1, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(t.n[1], (Counts{0, 0, 4, 4, 3, 0, 0, 0, 0}));
    EXPECT_EQ(t.n[2], (Counts{0, 0, 0, 0, 1, 3, 1, 1, 0}));
    EXPECT_EQ(t.n[3], (Counts{0, 0, 0, 0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(t.E, (Counts{0, 0, 0, 0, 3, 1, 4, 2, 0}));
    const std::vector<double> alive = {6, 5, 5, 4, 4, 4, 2, 2, 1};
    const std::vector<double> m = {0, 0, 0, 0, 0.75, 0.25, 2, 1, 0};
    const std::vector<double> f = {0, 0, 0, 0, 3, 1.0 / 3, 4, 2, 0};
    for (std::size_t x = 0; x < 9; ++x) {
        EXPECT_TRUE(near(t.l[x], alive[x] / 6)) << x;
        EXPECT_TRUE(near(t.m[x], m[x])) << x;
        EXPECT_TRUE(near(t.f[x], f[x])) << x;
        EXPECT_TRUE(near(t.lm[x], static_cast<double>(t.E[x]) / 6)) << x;
        EXPECT_TRUE(near(t.s[1][x], static_cast<double>(t.n[1][x]) / 6)) << x;
    }
    const std::vector<std::vector<std::optional<double>>> e = {{5.5, 27.0 / 5, 4, {}, {}, {}, {}, {}, {}},
                                                               {{}, {}, 4.5, 4.25, 11.0 / 3, {}, {}, {}, {}},
                                                               {{}, {}, {}, {}, 2, 5.0 / 3, 2, 1, {}},
                                                               {{}, {}, {}, {}, {}, 4, 3, 2, 1}};
    for (std::size_t j = 0; j < 4; ++j)
        for (std::size_t x = 0; x < 9; ++x) {
            ASSERT_EQ(t.e[j][x].has_value(), e[j][x].has_value()) << j << " " << x;
            if (e[j][x]) {
                EXPECT_TRUE(near(*t.e[j][x], *e[j][x])) << j << " " << x;
            }
        }
    const Parameters& p = res.parameters;
    EXPECT_TRUE(near(p.R0, 10.0 / 6));
    EXPECT_TRUE(near(p.GRR, 4));
    // 50-digit decimals, by bisection on the Euler-Lotka sum and v by its
    // definition (shares of each stage's individuals adult female at each
    // later age) with Python's decimal module.
    EXPECT_TRUE(near(*p.r, 0.07919489194597958302182893099020839754219719535131, 1e-13));
    EXPECT_TRUE(near(p.lambda, 1.0824152555305391285367248016353129034038957281908));
    EXPECT_TRUE(near(*p.T, std::log(10.0 / 6) / 0.07919489194597958302182893099020839754219719535131));
    const std::vector<std::vector<std::optional<double>>> v = {{1.0824152555305391285367248016353129034038957281908,
                                                                1.4059473424862907809839023275547968009335843217934,
                                                                0.26284337290185867025000740271552625044387415329821,
                                                                {},
                                                                {},
                                                                {},
                                                                {},
                                                                {},
                                                                {}},
                                                               {{},
                                                                {},
                                                                1.8365627217492613918800489745443774142558795856045,
                                                                2.0590499269211077355867937167671807342023864998119,
                                                                1.8690116421697368496248276243346652062551979168529,
                                                                {},
                                                                {},
                                                                {},
                                                                {}},
                                                               {{},
                                                                {},
                                                                {},
                                                                {},
                                                                3.3079532846845844444854502549286239662764590634045,
                                                                2.1341578253598193843423906775234275623640747042780,
                                                                5.8477197081075066669127015295717437976587543804271,
                                                                2,
                                                                {}},
                                                               {{}, {}, {}, {}, {}, 0, 0, 0, 0}};
    for (std::size_t j = 0; j < 4; ++j)
        for (std::size_t x = 0; x < 9; ++x) {
            ASSERT_EQ(t.v[j][x].has_value(), v[j][x].has_value()) << j << " " << x;
            if (v[j][x]) {
                EXPECT_TRUE(near(*t.v[j][x], *v[j][x])) << j << " " << x;
            }
        }
    const Statistics& s = res.statistics;
    EXPECT_EQ(s.n, 6);
    EXPECT_EQ(s.females, 3);
    EXPECT_EQ(s.males, 1);
    EXPECT_EQ(s.immatureDeaths, 2);
    const std::vector<std::pair<std::optional<double>, double>> stats = {{s.duration[0], 11.0 / 5},
                                                                         {s.duration[1], 10.0 / 4},
                                                                         {s.preadult, 19.0 / 4},
                                                                         {s.adultLongevityFemale, 2},
                                                                         {s.adultLongevityMale, 4},
                                                                         {s.longevityFemale, 20.0 / 3},
                                                                         {s.longevityMale, 9},
                                                                         {s.longevityAll, 5.5},
                                                                         {s.fecundity, 10.0 / 3},
                                                                         {s.APOP, 0.5},
                                                                         {s.TPOP, 5},
                                                                         {s.ovipositionDays, 2},
                                                                         {s.proportionFemale, 0.5},
                                                                         {s.proportionMale, 1.0 / 6},
                                                                         {s.proportionN, 2.0 / 6},
                                                                         {s.preadultSurvival, 4.0 / 6}};
    for (std::size_t i = 0; i < stats.size(); ++i) {
        ASSERT_TRUE(stats[i].first) << i;
        EXPECT_TRUE(near(*stats[i].first, stats[i].second)) << i;
    }
}

TEST(LifeTable, ValuesThatDoNotExist) {
    // No eggs, no male, nobody completing the pupa.
    const LifeTableResult res = lifeTable(parsed("id,sex,egg,pupa,adult\n1,F,2,1,3\n2,N,1,2\n"));
    EXPECT_FALSE(res.parameters.r);
    EXPECT_FALSE(res.parameters.T);
    EXPECT_EQ(res.parameters.lambda, 0);
    EXPECT_EQ(res.parameters.R0, 0);
    EXPECT_EQ(res.parameters.GRR, 0);
    for (const auto& stage : res.table.v)
        for (const auto& value : stage) EXPECT_FALSE(value);
    const Statistics& s = res.statistics;
    EXPECT_TRUE(s.duration[0]);
    EXPECT_EQ(*s.duration[1], 1);  // the N died in the pupa: only the female completed it
    EXPECT_FALSE(s.adultLongevityMale);
    EXPECT_FALSE(s.longevityMale);
    EXPECT_FALSE(s.APOP);
    EXPECT_FALSE(s.TPOP);
    EXPECT_FALSE(s.ovipositionDays);
    EXPECT_EQ(*s.fecundity, 0);
    const LifeTableResult none = lifeTable(parsed("id,sex,egg,adult\n1,N,2\n"));
    EXPECT_FALSE(none.statistics.duration[0]);
    EXPECT_FALSE(none.statistics.preadult);
    EXPECT_FALSE(none.statistics.fecundity);
    EXPECT_EQ(none.statistics.preadultSurvival, 0);
}

TEST(LifeTable, RWhereItHasAClosedForm) {
    // Every egg at one age x: e^(-r (x + 1)) R0 = 1.
    struct Case {
        std::size_t age;
        std::int64_t eggs, n;
    };
    std::vector<double> scratch;
    for (const Case c : std::vector<Case>{{4, 30, 10},
                                          {9, 3, 10},
                                          {40, 1, 1000},
                                          {2, 1001, 1000},
                                          {25, 999, 1000},
                                          {1, 5000000000, 3},
                                          {300, 7, 20},
                                          {0, 2, 1}}) {
        std::vector<std::int64_t> eggs(c.age + 3, 0);
        eggs[c.age] = c.eggs;
        const double lnR0 = std::log1p(static_cast<double>(c.eggs - c.n) / static_cast<double>(c.n));
        const std::optional<double> r = intrinsicRate(eggs, c.n, std::nullopt, scratch);
        ASSERT_TRUE(r);
        EXPECT_TRUE(near(*r, lnR0 / static_cast<double>(c.age + 1), 1e-13)) << c.age << " " << c.eggs;
        // Any start converges, even a poor one.
        for (const double guess : {-5.0, 0.0, 3.0, 1e-9})
            EXPECT_TRUE(near(*intrinsicRate(eggs, c.n, guess, scratch), *r, 1e-13)) << guess;
    }
    // Through a whole cohort: every female lays on her 3rd adult day at age 6.
    const LifeTableResult res =
        lifeTable(parsed("id,sex,egg,L1,adult,d1,d2,d3\n1,F,1,3,5,0,0,7\n2,F,2,2,3,0,,4\n"
                         "3,M,1,1,1\n4,N,1\n"));
    EXPECT_TRUE(near(*res.parameters.r, std::log(11.0 / 4) / 7, 1e-13));
    EXPECT_TRUE(near(*res.parameters.T, 7));
}

TEST(LifeTable, ROfExactlyOneEggPerIndividualIsZero) {
    const LifeTableResult res = lifeTable(parsed("id,sex,egg,adult,d1,d2\n1,F,2,2,1,2\n2,M,1,1\n3,N,1\n"));
    ASSERT_TRUE(res.parameters.r);
    EXPECT_EQ(*res.parameters.r, 0.0);
    EXPECT_FALSE(std::signbit(*res.parameters.r));
    EXPECT_EQ(res.parameters.lambda, 1);
    EXPECT_TRUE(near(*res.parameters.T, (1.0 * 3 + 2.0 * 4) / 3));  // eggs at ages 2 and 3
    EXPECT_TRUE(near(*res.table.v[0][0], 1));
}

// A random cohort: k stages, sexes, immature deaths, eggs with gaps; scale
// sets how many eggs (and so the sign of r).
CohortRecords randomRecords(std::mt19937_64& rng, double scale) {
    std::uniform_int_distribution<int> pick(0, 1 << 20);
    const auto uniform = [&](int lo, int hi) { return lo + pick(rng) % (hi - lo + 1); };
    CohortRecords r;
    const int k = uniform(1, 4), n = uniform(3, 50);
    for (int j = 0; j < k; ++j) r.stages.push_back("s" + std::to_string(j));
    r.eggOffset.push_back(0);
    for (int i = 0; i < n; ++i) {
        const int kind = uniform(0, 9);
        const char sex = kind < 5 ? 'F' : kind < 8 ? 'M' : 'N';
        const int reached = sex == 'N' ? uniform(1, k) : k;
        for (int j = 0; j < k; ++j) r.durations.push_back(j < reached ? uniform(1, 6) : 0);
        const int L = sex == 'N' ? 0 : uniform(1, 15);
        r.adult.push_back(L);
        r.sex.push_back(sex);
        r.ids.push_back(std::to_string(i));
        if (sex == 'F') {
            const int days = uniform(0, L);
            for (int t = 0; t < days; ++t) {
                if (scale < 1)  // a declining cohort: now and then one egg
                    r.eggs.push_back(uniform(0, 999) < scale * 1000 ? 1 : 0);
                else
                    r.eggs.push_back(uniform(0, 2) == 0 ? 0 : static_cast<std::uint32_t>(uniform(0, 10) * scale));
            }
        }
        r.eggOffset.push_back(r.eggs.size());
    }
    return r;
}

// Makes the eggs total exactly n (R0 = 1) where a female has a day to lay on.
bool makeR0One(CohortRecords& r) {
    std::int64_t total = 0;
    for (const std::uint32_t e : r.eggs) total += e;
    const std::int64_t n = static_cast<std::int64_t>(r.size());
    for (std::size_t e = 0; e < r.eggs.size(); ++e) {
        const std::int64_t changed = static_cast<std::int64_t>(r.eggs[e]) + n - total;
        if (changed >= 0) {
            r.eggs[e] = static_cast<std::uint32_t>(changed);
            return true;
        }
    }
    return false;
}

// The Euler-Lotka sum minus 1, times n, in long double with expm1 per age
// (unlike the code under test): its sign says on which side of the root r is.
long double eulerLotka(const std::vector<std::int64_t>& eggs, std::int64_t n, long double r) {
    long double sum = 0, total = 0;
    for (std::size_t x = 0; x < eggs.size(); ++x) {
        sum += static_cast<long double>(eggs[x]) * std::expm1l(-r * static_cast<long double>(x + 1));
        total += static_cast<long double>(eggs[x]);
    }
    return sum + (total - static_cast<long double>(n));
}

TEST(LifeTable, PropertiesOfRandomCohorts) {
    std::mt19937_64 rng(2026);
    int negative = 0, positive = 0, one = 0, none = 0;
    for (int trial = 0; trial < 600; ++trial) {
        const double scale = trial % 3 == 0 ? 0.05 : trial % 3 == 1 ? 1 : 20;
        CohortRecords records = randomRecords(rng, scale);
        if (trial % 10 == 0 && !makeR0One(records)) continue;
        const Cohort cohort(records);
        const LifeTableResult res = lifeTable(cohort);
        const LifeTable& t = res.table;
        const Parameters& p = res.parameters;
        const Statistics& s = res.statistics;
        const std::size_t n = records.size(), k = records.stages.size(), X = t.ages();
        SCOPED_TRACE(trial);

        // Brute force: each individual's stage and age at death, then the
        // counts, eggs and expectancies by their definitions.
        std::vector<std::vector<int>> stageAt(n, std::vector<int>(X, -1));
        std::vector<int> death(n, 0);
        std::vector<std::int64_t> eggs(X, 0);
        for (std::size_t i = 0; i < n; ++i) {
            int a = 0;
            for (std::size_t j = 0; j < k; ++j)
                for (int d = 0; d < records.durations[i * k + j]; ++d) stageAt[i][a++] = static_cast<int>(j);
            const int adultFrom = a;
            if (records.sex[i] != 'N')
                for (int d = 0; d < records.adult[i]; ++d) stageAt[i][a++] = records.sex[i] == 'F' ? k : k + 1;
            death[i] = a;
            for (std::size_t e = records.eggOffset[i]; e < records.eggOffset[i + 1]; ++e)
                eggs[adultFrom + (e - records.eggOffset[i])] += records.eggs[e];
        }
        EXPECT_EQ(t.E, eggs);
        std::int64_t totalEggs = 0, females = 0;
        for (std::size_t x = 0; x < X; ++x) totalEggs += eggs[x];
        for (std::size_t i = 0; i < n; ++i) females += records.sex[i] == 'F';
        for (std::size_t x = 0; x < X; ++x) {
            double sumS = 0;
            for (std::size_t j = 0; j < k + 2; ++j) {
                std::int64_t count = 0, ahead = 0;
                for (std::size_t i = 0; i < n; ++i)
                    if (stageAt[i][x] == static_cast<int>(j)) ++count, ahead += death[i] - static_cast<int>(x);
                ASSERT_EQ(t.n[j][x], count) << j << " " << x;
                sumS += t.s[j][x];
                ASSERT_EQ(t.e[j][x].has_value(), count > 0);
                if (count > 0) {
                    EXPECT_TRUE(near(*t.e[j][x], static_cast<double>(ahead) / static_cast<double>(count)));
                }
            }
            EXPECT_TRUE(near(sumS, t.l[x])) << x;
        }
        EXPECT_TRUE(near(p.R0, static_cast<double>(totalEggs) / static_cast<double>(n)));
        if (females > 0) {
            EXPECT_TRUE(near(p.R0, *s.fecundity * static_cast<double>(s.females) / static_cast<double>(n)));
        }
        EXPECT_TRUE(near(*t.e[0][0], *s.longevityAll));

        if (!p.r) {
            EXPECT_EQ(totalEggs, 0);
            ++none;
            continue;
        }
        const double r = *p.r;
        if (totalEggs == static_cast<std::int64_t>(n)) {
            EXPECT_EQ(r, 0.0);
            ++one;
        } else {
            // Within 1e-13 of the root, and within a few units in the last place.
            (r < 0 ? negative : positive)++;
            const long double lr = r, d = 1e-13L * std::fabs(lr),
                              ulps = 4 * (std::nextafter(std::fabs(r), 1e300) - std::fabs(r));
            EXPECT_GT(eulerLotka(eggs, static_cast<std::int64_t>(n), lr - d), 0) << r;
            EXPECT_LT(eulerLotka(eggs, static_cast<std::int64_t>(n), lr + d), 0) << r;
            EXPECT_GT(eulerLotka(eggs, static_cast<std::int64_t>(n), lr - ulps), 0) << r;
            EXPECT_LT(eulerLotka(eggs, static_cast<std::int64_t>(n), lr + ulps), 0) << r;
            EXPECT_TRUE(near(*p.T, std::log(p.R0) / r, 1e-9));
            // Poor starts, on either side and far off, reach the same root.
            std::vector<double> scratch;
            // Starts near the bounds of the root's bracket (ln R0 over the
            // mean age, the youngest and the oldest mother's age) make
            // Newton's first step leave it.
            std::size_t first = 0, last = X - 1;
            while (eggs[first] == 0) ++first;
            while (eggs[last] == 0) --last;
            const double lnR0 = std::log(p.R0);
            for (const double guess :
                 {0.5 * r, 1.5 * r, r + 0.3, r - 0.3, -r, 1e3, lnR0 / static_cast<double>(first + 1) * (1 - 1e-6),
                  lnR0 / static_cast<double>(last + 1) * (1 - 1e-6), lnR0 / *p.T * (1 + 1e-6)})
                EXPECT_TRUE(near(*intrinsicRate(eggs, static_cast<std::int64_t>(n), guess, scratch), r, 1e-13))
                    << guess;
        }
        EXPECT_TRUE(near(*t.v[0][0], p.lambda));
        // v by its definition, in long double.
        for (std::size_t j = 0; j < k + 2; ++j)
            for (std::size_t x = 0; x < X; x += 3) {
                if (t.n[j][x] == 0) continue;
                long double v = 0;
                for (std::size_t y = x; y < X; ++y) {
                    std::int64_t share = 0;
                    for (std::size_t i = 0; i < n; ++i)
                        share += stageAt[i][x] == static_cast<int>(j) && stageAt[i][y] == static_cast<int>(k);
                    v += std::exp(-static_cast<long double>(r) * static_cast<long double>(y - x)) * share /
                         static_cast<long double>(t.n[j][x]) * t.f[y];
                }
                EXPECT_TRUE(near(*t.v[j][x], static_cast<double>(v))) << j << " " << x;
            }
    }
    EXPECT_GT(negative, 20);
    EXPECT_GT(positive, 20);
    EXPECT_GT(one, 5);
    EXPECT_GT(none, 0);
}

// The cohort made of the given rows, copied record by record.
CohortRecords copyRows(const CohortRecords& r, const std::vector<std::uint32_t>& rows) {
    CohortRecords out;
    out.stages = r.stages;
    out.eggOffset.push_back(0);
    const std::size_t k = r.stages.size();
    for (const std::uint32_t i : rows) {
        out.ids.push_back(r.ids[i]);
        out.sex.push_back(r.sex[i]);
        out.adult.push_back(r.adult[i]);
        out.durations.insert(out.durations.end(), r.durations.begin() + i * k, r.durations.begin() + (i + 1) * k);
        out.eggs.insert(out.eggs.end(), r.eggs.begin() + static_cast<std::ptrdiff_t>(r.eggOffset[i]),
                        r.eggs.begin() + static_cast<std::ptrdiff_t>(r.eggOffset[i + 1]));
        out.eggOffset.push_back(out.eggs.size());
    }
    return out;
}

void expectSame(const std::optional<double>& a, const std::optional<double>& b, const char* what) {
    ASSERT_EQ(a.has_value(), b.has_value()) << what;
    if (a) {
        EXPECT_EQ(*a, *b) << what;
    }
}

TEST(LifeTable, AResampledCohortEqualsItsCopy) {
    std::mt19937_64 rng(77);
    ReplicateWorkspace workspace;  // one for every replicate
    Parameters p;
    Statistics s;
    for (int trial = 0; trial < 300; ++trial) {
        const CohortRecords records = randomRecords(rng, trial % 2 ? 1 : 0.1);
        const Cohort cohort(records);
        const std::optional<double> own = lifeTable(cohort).parameters.r;
        std::uniform_int_distribution<std::uint32_t> row(0, static_cast<std::uint32_t>(records.size() - 1));
        std::vector<std::uint32_t> rows(records.size() + trial % 3);
        for (std::uint32_t& i : rows) i = row(rng);
        const LifeTableResult copy = lifeTable(Cohort(copyRows(records, rows)));
        SCOPED_TRACE(trial);
        resampledEstimates(cohort, rows, workspace, p, s);
        std::vector<std::optional<double>> got(statisticNames(cohort).size()), want(got.size());
        statisticValues(p, s, got);
        statisticValues(copy.parameters, copy.statistics, want);
        for (std::size_t i = 0; i < got.size(); ++i) expectSame(got[i], want[i], statisticNames(cohort)[i].c_str());
        EXPECT_EQ(s.n, copy.statistics.n);
        EXPECT_EQ(s.females, copy.statistics.females);
        EXPECT_EQ(s.males, copy.statistics.males);
        // Started from the cohort's own r: the same root.
        resampledEstimates(cohort, rows, workspace, p, s, own);
        ASSERT_EQ(p.r.has_value(), copy.parameters.r.has_value());
        if (p.r) {
            EXPECT_TRUE(near(*p.r, *copy.parameters.r, 2e-14));
        }
    }
}

TEST(LifeTable, NamesTheStatisticsForTheBootstrap) {
    const Cohort cohort = parsed(kSix);
    const std::vector<std::string> names = statisticNames(cohort);
    EXPECT_EQ(names, (std::vector<std::string>{"r",
                                               "lambda",
                                               "R0",
                                               "T",
                                               "GRR",
                                               "duration-egg",
                                               "duration-larva",
                                               "preadult",
                                               "adult_longevity_female",
                                               "adult_longevity_male",
                                               "longevity_female",
                                               "longevity_male",
                                               "longevity_all",
                                               "fecundity",
                                               "APOP",
                                               "TPOP",
                                               "oviposition_days",
                                               "proportion_female",
                                               "proportion_male",
                                               "proportion_N",
                                               "preadult_survival"}));
    const LifeTableResult res = lifeTable(cohort);
    std::vector<std::optional<double>> values(names.size());
    statisticValues(res.parameters, res.statistics, values);
    EXPECT_EQ(*values[2], res.parameters.R0);
    EXPECT_EQ(*values[6], 2.5);  // duration-larva
    EXPECT_EQ(*values[20], 4.0 / 6);
}

TEST(LifeTable, EveryCohortTheReaderAcceptsIsConsistent) {
    // Files mangled at random: the reader refuses them with a UserError or
    // returns records that the core takes as they are.
    std::mt19937_64 rng(9);
    const std::string alphabet = "0123456789,,,\"\n#FMNfmn x.-";
    int accepted = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        std::string text = kSix;
        for (int edits = 1 + static_cast<int>(rng() % 4); edits > 0; --edits) {
            const std::size_t at = rng() % text.size();
            const char c = alphabet[rng() % alphabet.size()];
            switch (rng() % 3) {
                case 0:
                    text[at] = c;
                    break;
                case 1:
                    text.insert(at, 1, c);
                    break;
                default:
                    text.erase(at, 1);
            }
        }
        try {
            const CohortRecords records = parseCohort(text, "c.csv", "t");
            const LifeTableResult res = lifeTable(Cohort(records));
            EXPECT_EQ(res.statistics.n, static_cast<std::int64_t>(records.size()));
            ++accepted;
        } catch (const UserError&) {
        }
    }
    EXPECT_GT(accepted, 100);
}

TEST(LifeTable, RefusesInconsistentRecords) {
    CohortRecords r = parseCohort(kSix, "c.csv", "t");
    CohortRecords gap = r;
    gap.durations[6] = 0;  // individual 4 (N) loses its egg stage but keeps the larva
    CohortRecords maleEggs = r;
    maleEggs.sex[0] = 'M';
    CohortRecords empty = r;
    empty.sex.clear();
    for (const CohortRecords* bad : {&gap, &maleEggs, &empty}) EXPECT_THROW(Cohort{*bad}, std::invalid_argument);
}

}  // namespace
}  // namespace lumera::analysis
