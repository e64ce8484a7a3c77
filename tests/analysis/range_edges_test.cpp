// Values near the ends of the double range: the moments are scaled by a
// power of two before squaring, so they come out as on ordinary values.
// Checked against long double sums, whose range reaches far past both ends.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/comparison.h"
#include "analysis/difference_set.h"
#include "analysis/normality.h"
#include "analysis/treatment_sample.h"
#include "textio/user_error.h"

namespace lumera::analysis {
namespace {

std::vector<double> around(double base, int count, double step, double skew = 0) {
    std::vector<double> v;
    for (int k = 0; k < count; ++k) {
        const double u = static_cast<double>((k * 37) % count) / count;
        v.push_back(base * (1 + step * u + skew * u * u * u));
    }
    return v;
}

struct Moments {
    long double mean, se, skewness, kurtosis;
};

Moments longDoubleMoments(const std::vector<double>& v) {
    const long double n = static_cast<long double>(v.size());
    long double sum = 0;
    for (double x : v) sum += x;
    const long double mean = sum / n;
    long double m2 = 0, m3 = 0, m4 = 0;
    for (double x : v) {
        const long double d = x - mean;
        m2 += d * d;
        m3 += d * d * d;
        m4 += d * d * d * d;
    }
    const long double se = std::sqrt(m2 / (n - 1));
    m2 /= n;
    m3 /= n;
    m4 /= n;
    return {mean, se, m3 / std::pow(m2, 1.5L), m4 / (m2 * m2) - 3};
}

void expectRelative(long double expected, double got, long double tolerance, const char* what) {
    EXPECT_NEAR(static_cast<long double>(got) / expected, 1.0L, tolerance)
        << what << ": " << got << " vs " << static_cast<double>(expected);
}

const double kBases[] = {1E-200, 1E-160, 3E-308, 1E+150, 1E+300, 7.5};

TEST(RangeEdges, TreatmentSeAgreesWithLongDouble) {
    for (double base : kBases) {
        SCOPED_TRACE(base);
        const std::vector<double> v = around(base, 40, 0.1);
        const TreatmentSample t = makeSample("T", "t.txt", v);
        const Moments m = longDoubleMoments(v);
        ASSERT_GT(t.se, 0);
        expectRelative(m.mean, t.mean, 1e-14L, "mean");
        expectRelative(m.se, t.se, 1e-12L, "SE");
    }
}

TEST(RangeEdges, PairMomentsAgreeWithAllDifferencesInLongDouble) {
    for (double base : kBases) {
        SCOPED_TRACE(base);
        const std::vector<double> a = around(base, 17, 0.2), b = around(base * 0.95, 13, 0.3);
        long double sum = 0, squares = 0;
        std::vector<long double> d;
        for (double x : a)
            for (double y : b) d.push_back(static_cast<long double>(x) - y);
        for (long double x : d) sum += x;
        const long double mean = sum / d.size();
        for (long double x : d) squares += (x - mean) * (x - mean);
        const long double se = std::sqrt(squares / (d.size() - 1));
        const DifferenceMoments got = exactMoments(a, b);
        expectRelative(mean, got.mean, 1e-12L, "mean difference");
        expectRelative(se, got.se, 1e-12L, "SE");
    }
}

TEST(RangeEdges, ComparisonAt1EMinus200IsNotASpreadOfZero) {
    // Two overlapping treatments: the true interval holds 0, so no difference.
    std::vector<TreatmentSample> samples;
    samples.push_back(makeSample("A", "a.txt", around(1E-200, 50, 0.5)));
    samples.push_back(makeSample("B", "b.txt", around(1.02E-200, 50, 0.5)));
    const Comparison c = compareTreatments(std::move(samples), 0.05, false);
    ASSERT_EQ(c.pairs.size(), 1u);
    const PairResult& p = c.pairs[0];
    EXPECT_GT(p.se, 1E-202);
    EXPECT_LT(p.tLower, 0);
    EXPECT_GT(p.tUpper, 0);
    EXPECT_FALSE(c.significant[0]);
    EXPECT_EQ(c.letters[0], c.letters[1]);
}

// Near the top the SE is kept, but an interval that leaves the range is
// refused as before, never printed as -inf to inf.
TEST(RangeEdges, ComparisonRefusesAnIntervalBeyondDoublePrecision) {
    std::vector<TreatmentSample> samples;
    samples.push_back(makeSample("H", "h.txt", {1E+308, -1E+308, 1.7E+308}));
    samples.push_back(makeSample("G", "g.txt", {1.5E+160, 2.5E+160, 2E+160}));
    try {
        const Comparison c = compareTreatments(std::move(samples), 0.05, false);
        ADD_FAILURE() << "no error: " << c.pairs[0].meanDifference << " SE " << c.pairs[0].se << ", "
                      << c.pairs[0].tLower << " to " << c.pairs[0].tUpper;
    } catch (const UserError& e) {
        EXPECT_EQ(e.title(), "Values too large");
        EXPECT_EQ(e.text().rfind("Treatments H and G\nValues too large: the t interval", 0), 0u) << e.text();
    }
    std::vector<TreatmentSample> fine;
    fine.push_back(makeSample("H", "h.txt", {1E+160, 3E+160, 2E+160}));
    fine.push_back(makeSample("G", "g.txt", {1.5E+160, 2.5E+160, 2E+160}));
    const Comparison c = compareTreatments(std::move(fine), 0.05, false);
    // Sample SDs (divisor B - 1) of 1, 3, 2 and 1.5, 2.5, 2: 1 and 0.5.
    for (const TreatmentSample& t : c.treatments)
        EXPECT_NEAR(t.se / 1E+160, t.name == "H" ? 1.0 : 0.5, 1e-15) << t.name;
    EXPECT_TRUE(std::isfinite(c.pairs[0].tLower));
}

TEST(RangeEdges, NormalityAtBothEndsAsOnTheSameValuesScaledToOne) {
    for (double base : kBases) {
        SCOPED_TRACE(base);
        const std::vector<double> v = around(base, 60, 0.3, 2.0);
        const Moments m = longDoubleMoments(v);
        const NormalityResult r = testNormality(v);
        expectRelative(m.se, r.sd, 1e-12L, "SD");
        expectRelative(m.skewness, r.skewness, 1e-9L, "skewness");
        expectRelative(m.kurtosis, r.excessKurtosis, 1e-9L, "excess kurtosis");
        // W and A2 do not depend on the unit: the same values scaled exactly
        // by a power of two near 1 give them.
        const int e = std::ilogb(base);
        std::vector<double> unit;
        for (double x : v) unit.push_back(std::ldexp(x, -e));
        const NormalityResult u = testNormality(unit);
        ASSERT_TRUE(r.shapiroWilk && u.shapiroWilk);
        ASSERT_TRUE(r.andersonDarling && u.andersonDarling);
        EXPECT_NEAR(r.shapiroWilk->W, u.shapiroWilk->W, 1e-13);
        EXPECT_NEAR(r.shapiroWilk->p, u.shapiroWilk->p, 1e-12);
        EXPECT_NEAR(r.andersonDarling->A2, u.andersonDarling->A2, 1e-12);
        EXPECT_NEAR(r.andersonDarling->p, u.andersonDarling->p, 1e-12);
    }
}

}  // namespace
}  // namespace lumera::analysis
