#include "analysis/normality.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

namespace lumera::analysis {
namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

// ((k * 37) mod 17) + k^2 / 64, k = 1..n: exact in binary, made the same way in R.
std::vector<double> smallSet(int n) {
    std::vector<double> x;
    for (int k = 1; k <= n; ++k) x.push_back(((k * 37) % 17) + k * k / 64.0);
    return x;
}

std::vector<double> fileSet(const std::string& name) {
    std::ifstream in(std::string(LUMERA_TEST_DATA) + "/normality/" + name + ".txt");
    std::vector<double> x;
    double v;
    while (in >> v) x.push_back(v);
    return x;
}

std::vector<double> dataSet(const std::string& name) {
    if (name[0] == 'n' && name != "n5000") return smallSet(std::stoi(name.substr(1)));
    if (name == "women") {
        std::vector<double> x;
        for (int h = 58; h <= 72; ++h) x.push_back(h);
        return x;
    }
    if (name == "n5000") {
        // ((k * 7919) mod 5003)^2 / 1000: a skewed set of 5000, exact as well.
        std::vector<double> x;
        for (long k = 1; k <= 5000; ++k) {
            const double r = static_cast<double>((k * 7919) % 5003);
            x.push_back(r * r / 1000);
        }
        return x;
    }
    return fileSet(name);
}

struct Reference {
    const char* name;
    std::size_t n;
    double mean, sd, skewness, kurtosis, W, pW, A2, pA;
};

// R 4: mean, sd, the moment ratios, shapiro.test and nortest::ad.test,
// printed with sprintf("%.17g"). The files hold precip, rivers,
// faithful$eruptions, set.seed(1); runif(50) and set.seed(2); rexp(100).
const Reference kReferences[] = {
    {"n3", 3, 6.072916666666667, 3.0625132865358045, 0.006248598921977472, -1.5, 0.99999132313512484,
     0.99437421121615577, kNone, kNone},
    {"n4", 4, 7.6171875, 3.9738832452495378, 0.010896237995098626, -1.3599439331150556, 0.9928915395576694,
     0.97177971604229996, kNone, kNone},
    {"n7", 7, 7.4553571428571432, 5.0399884369847987, 0.42237019087805494, -1.1460424451145179, 0.94987790820185225,
     0.72858766871622915, kNone, kNone},
    {"n8", 8, 7.5234375, 4.6700941720582954, 0.40386675702823066, -0.91499306204968978, 0.96905989813966043,
     0.89053030102367647, 0.16044690970269748, 0.9142802912256347},
    {"n11", 11, 9.4460227272727266, 5.3201478206725437, 0.051614411229615541, -1.1765494303968835, 0.97065462767418231,
     0.89305855906529596, 0.1484956558609376, 0.94717086934825234},
    {"n12", 12, 9.0130208333333339, 5.2896854420873707, 0.2146613944954861, -1.1959860531861306, 0.95865114195948586,
     0.76441374067041401, 0.21138158264731999, 0.81324197853479241},
    {"women", 15, 65, 4.4721359549995796, 0, -1.2107142857142861, 0.9635934903654082, 0.7545333054391109,
     0.17586156092105298, 0.90527325406787407},
    {"precip", 70, 34.885714285714286, 13.706650091425638, -0.29149875872415898, -0.30864336184721886,
     0.96455916861169655, 0.044925289483112273, 0.99894379423997748, 0.011631780127450418},
    {"rivers", 141, 591.18439716312059, 493.87084203459045, 3.1838794097330769, 13.298125067320537, 0.66662419423635333,
     1.8690414457418901e-16, 12.66209505649357, 3.6999999999999998e-24},
    {"eruptions", 272, 3.487783088235294, 1.1413712511052083, -0.41584095291899065, -1.5006003587752423,
     0.84591564688580356, 9.0361189988548792e-16, 17.305373294015681, 3.6999999999999998e-24},
    {"uniform", 50, 0.5325928695779294, 0.2722389883852237, -0.24231405349722243, -1.0341288109197433,
     0.9597614595246291, 0.086870230302135504, 0.58420010248617871, 0.12149100743561569},
    {"exponential", 100, 1.0067290425232007, 0.95146066933434148, 1.9728963194552076, 4.5274240310499225,
     0.8057341699046785, 3.7282149413839446e-10, 4.7632319198464472, 7.0280612943043487e-12},
    {"n5000", 5000, 8341.4839319999992, 7461.8421838607455, 0.63905912614044158, -0.85671261645598173,
     0.89521515084332415, 5.3279701753947272e-50, 168.68620893869684, 3.6999999999999998e-24},
};

bool near(double got, double want, double tolerance) {
    if (std::isnan(want)) return std::isnan(got);
    return std::fabs(got - want) <= tolerance * std::max(1.0, std::fabs(want));
}

bool relativelyNear(double got, double want, double tolerance) {
    return std::fabs(got - want) <= tolerance * std::fabs(want);
}

TEST(Normality, AgreesWithR) {
    for (const Reference& ref : kReferences) {
        SCOPED_TRACE(ref.name);
        const std::vector<double> x = dataSet(ref.name);
        ASSERT_EQ(x.size(), ref.n);
        const NormalityResult r = testNormality(x);
        EXPECT_EQ(r.n, ref.n);
        EXPECT_TRUE(relativelyNear(r.mean, ref.mean, 1e-14)) << r.mean;
        EXPECT_TRUE(relativelyNear(r.sd, ref.sd, 1e-13)) << r.sd;
        EXPECT_TRUE(near(r.skewness, ref.skewness, 1e-12)) << r.skewness;
        EXPECT_TRUE(near(r.excessKurtosis, ref.kurtosis, 1e-12)) << r.excessKurtosis;
        ASSERT_TRUE(r.shapiroWilk.has_value());
        // W absolutely (it lies in 0..1), P relatively: P can be 1e-50.
        EXPECT_NEAR(r.shapiroWilk->W, ref.W, 1e-9);
        EXPECT_TRUE(relativelyNear(r.shapiroWilk->p, ref.pW, 1e-6)) << r.shapiroWilk->p;
        ASSERT_EQ(r.andersonDarling.has_value(), !std::isnan(ref.A2));
        if (r.andersonDarling) {
            // A-squared relatively: it grows without bound.
            EXPECT_TRUE(relativelyNear(r.andersonDarling->A2, ref.A2, 1e-9)) << r.andersonDarling->A2;
            EXPECT_TRUE(relativelyNear(r.andersonDarling->p, ref.pA, 1e-6)) << r.andersonDarling->p;
        }
    }
}

TEST(Normality, OrderOfTheValuesDoesNotMatter) {
    std::vector<double> x = dataSet("precip");
    const NormalityResult a = testNormality(x);
    std::reverse(x.begin(), x.end());
    const NormalityResult b = testNormality(x);
    EXPECT_NEAR(a.shapiroWilk->W, b.shapiroWilk->W, 1e-15);
    EXPECT_NEAR(a.andersonDarling->A2, b.andersonDarling->A2, 1e-13);
    EXPECT_NEAR(a.mean, b.mean, 1e-13);
}

TEST(Normality, TestsLeftOutWhereTheyDoNotApply) {
    struct Case {
        std::vector<double> x;
        bool sw, ad;
    };
    std::vector<double> big(5001);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = std::sin(static_cast<double>(i));
    const Case cases[] = {
        {{}, false, false},
        {{4}, false, false},
        {{1, 2}, false, false},
        {{1, 2, 4}, true, false},
        {smallSet(7), true, false},
        {smallSet(8), true, true},
        {std::vector<double>(10, 2.5), false, false},  // no spread
        {big, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x.size());
        const NormalityResult r = testNormality(c.x);
        EXPECT_EQ(r.n, c.x.size());
        EXPECT_EQ(r.shapiroWilk.has_value(), c.sw);
        EXPECT_EQ(r.andersonDarling.has_value(), c.ad);
    }
    const NormalityResult flat = testNormality(std::vector<double>(10, 2.5));
    EXPECT_EQ(flat.mean, 2.5);
    EXPECT_EQ(flat.sd, 0);
    EXPECT_TRUE(std::isnan(flat.skewness));
    EXPECT_TRUE(std::isnan(flat.excessKurtosis));
}

TEST(Normality, QuantileAgreesWithR) {
    // R's qnorm.
    const double table[][2] = {
        {1e-300, -37.047096299361201},
        {9.9999999999999995e-21, -9.2623400897984052},
        {0.001, -3.0902323061678132},
        {0.024250000000000001, -1.9729610513118845},
        {0.29999999999999999, -0.52440051270804067},
        {0.5, 0},
        {0.92500000000000004, 1.4395314709384559},
        {0.97499999999999998, 1.9599639845400536},
        {0.99999899999999997, 4.7534243088170891},
    };
    for (const auto& row : table) EXPECT_NEAR(normalQuantile(row[0]), row[1], 1e-15 * std::fabs(row[1])) << row[0];
    EXPECT_EQ(normalQuantile(0), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(normalQuantile(1), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(normalQuantile(1.5)));
}

TEST(Normality, LogCdfKeepsItsDigitsInBothTails) {
    // R's pnorm(z, log.p = TRUE).
    const double table[][2] = {
        {-100, -5005.5242086942053},  {-40, -804.6084420137538},   {-35, -616.97510126192253},
        {-30.5, -469.46273732291212}, {-20, -203.91715537109727},  {-5, -15.064998393988725},
        {0, -0.69314718055994529},    {3, -0.0013508099647481938}, {10, -7.6198530241605269e-24},
    };
    for (const auto& row : table) EXPECT_NEAR(logNormalCdf(row[0]), row[1], 1e-14 * std::fabs(row[1])) << row[0];
    EXPECT_EQ(logNormalCdf(40), 0);
}

}  // namespace
}  // namespace lumera::analysis
