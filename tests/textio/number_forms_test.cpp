#include "textio/number_forms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/write_form_reference.h"

namespace lumera {
namespace {

TEST(NumberForms, ThreeFormsOfTheSameValue) {
    EXPECT_EQ(printForm(0.05), " .05 ");
    EXPECT_EQ(printForm(-0.5), "-.5 ");
    EXPECT_EQ(printForm(3000), " 3000 ");
    EXPECT_EQ(printForm(1e-5), " 1E-05 ");
    EXPECT_EQ(printForm(-0.00001), "-1E-05 ");
    EXPECT_EQ(printForm(0.0), " 0 ");
    EXPECT_EQ(printForm(-0.0), " 0 ");
    EXPECT_EQ(writeForm(0.05), ".05");
    EXPECT_EQ(writeForm(-0.5), "-.5");
    EXPECT_EQ(writeForm(3000), "3000");
    EXPECT_EQ(writeForm(1e-5), "1E-05");
    EXPECT_EQ(writeForm(-0.0), "0");
    EXPECT_EQ(plainForm(0.05), "0.05");
    EXPECT_EQ(plainForm(-0.5), "-0.5");
    EXPECT_EQ(plainForm(9000000), "9000000");
    EXPECT_EQ(plainForm(1e-5), "1E-05");
    EXPECT_EQ(plainForm(-0.0), "0");
}

TEST(NumberForms, SwitchesToExponentOutsideFixedRange) {
    EXPECT_EQ(writeForm(1e-4), ".0001");
    EXPECT_EQ(writeForm(0.00012345), ".00012345");
    EXPECT_EQ(writeForm(9.9999e-5), "9.9999E-05");
    EXPECT_EQ(writeForm(-2.25e-7), "-2.25E-07");
    EXPECT_EQ(writeForm(999999999999999.0), "999999999999999");
    EXPECT_EQ(writeForm(1e15), "1E+15");
    EXPECT_EQ(writeForm(1.5e15), "1.5E+15");
    EXPECT_EQ(writeForm(1e100), "1E+100");
    EXPECT_EQ(writeForm(1.25e-300), "1.25E-300");
    // The rounded value, not the raw one, picks the notation.
    EXPECT_EQ(writeForm(999999999999999.9), "1E+15");
    EXPECT_EQ(writeForm(0.000099999999999999999), ".0001");
    EXPECT_EQ(writeForm(9.99999999999999999e-5), ".0001");
    EXPECT_EQ(writeForm(0.99999999999999999), "1");
}

TEST(NumberForms, RoundsToFifteenDigits) {
    EXPECT_EQ(writeForm(0.1 + 0.2), ".3");
    EXPECT_EQ(writeForm(1.0 / 3), ".333333333333333");
    EXPECT_EQ(writeForm(2.0 / 3), ".666666666666667");
    EXPECT_EQ(writeForm(-123456789012345.6), "-123456789012346");
    EXPECT_EQ(writeForm(1.0000000000000002), "1");
    EXPECT_EQ(printForm(4.9406564584124654e-324), " 4.94065645841247E-324 ");
}

TEST(NumberForms, NonFiniteDoesNotCrash) {
    EXPECT_FALSE(writeForm(std::nan("")).empty());
    EXPECT_EQ(writeForm(-INFINITY)[0], '-');
}

using test::writeFormReference;

TEST(NumberForms, AgreesWithPrintfOnRandomValues) {
    std::mt19937_64 gen(20240611);
    long mismatches = 0;
    auto check = [&](double v) {
        if (!std::isfinite(v)) return;
        char buf[kMaxNumberText];
        const std::string got(buf, writeFormTo(buf, v));
        const std::string want = writeFormReference(v);
        if (got != want || writeForm(v) != want) {
            if (mismatches++ < 5) ADD_FAILURE() << std::hexfloat << v << ": " << got << " vs " << want;
        }
    };
    char text[64];
    for (int i = 0; i < 60000; ++i) {
        const std::uint64_t bits = gen();
        double v;
        std::memcpy(&v, &bits, sizeof v);  // every exponent
        check(v);
        check(std::ldexp(static_cast<double>(gen() >> 11), static_cast<int>(gen() % 150) - 110));
        check(std::ldexp(static_cast<double>(gen() % 100000), -1074));  // few-bit subnormals
        // Halves and near-halves at the 16th digit are where rounding slips.
        const auto digits = 100000000000000ULL + gen() % 900000000000000ULL;
        const int e = static_cast<int>(gen() % 80) - 40;
        for (const char* tail : {"5", "4999", "5001"}) {
            std::snprintf(text, sizeof text, "%llu%se%d", digits, tail, e);
            check(-std::strtod(text, nullptr));
        }
        check(static_cast<double>(gen() % 2000000000000000ULL) + 0.5);
        // Few-bit values end in an exact 5 far down: halves to even.
        check(std::ldexp(static_cast<double>(gen() % 100000), -static_cast<int>(gen() % 40)));
    }
    // Differences of replicates, the bulk of what the detail files hold, and
    // values whose 16th digit sits at the edges of the quick path's margin.
    std::normal_distribution<double> normal(45, 3);
    for (int i = 0; i < 1000000; ++i) check(normal(gen) - normal(gen));
    for (int i = 0; i < 20000; ++i) {
        const double whole = static_cast<double>(100000000000000ULL + gen() % 899999999999998ULL);
        for (double f : {0.4375, 0.5625, 0.4375 - 0.125, 0.5625 + 0.125, 0.0625, 0.9375})
            check((whole + f) / std::pow(10.0, static_cast<int>(gen() % 19)));
    }
    for (int k = -8; k <= 20; ++k) {
        double v = std::pow(10.0, k);
        for (int j = 0; j < 40; ++j) check(v = std::nextafter(v, 0.0));
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
// Kept forms must be exactly the forms made afresh, whatever the run: values
// that repeat, values that share a place in the table, the longest forms,
// both zeros, and runs that stop keeping.
TEST(NumberForms, KeptShortestFormsAreTheFormsMadeAfresh) {
    std::mt19937_64 gen(7);
    std::vector<double> few = {0.0,    -0.0, 0.37, 1.0 / 3, -2.2250738585072014e-308, -1.7976931348623157e308,
                               5e-324, 100,  17.25};
    // Distinct values that land on the same place as few[2].
    const auto place = [](double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return (bits * 0x9E3779B97F4A7C15ull) >> 52;
    };
    for (double v = 0.37; few.size() < 14;) {
        v = std::nextafter(v, 1.0);
        if (place(v) == place(0.37)) few.push_back(v);
    }
    std::vector<std::vector<double>> runs(3);
    for (int i = 0; i < 20000; ++i) runs[0].push_back(few[gen() % few.size()]);
    for (int i = 0; i < 20000; ++i) runs[1].push_back(std::ldexp(static_cast<double>(gen() >> 11), -40));
    runs[2] = runs[1];  // stops keeping, then meets repeats
    runs[2].insert(runs[2].end(), runs[0].begin(), runs[0].end());
    for (std::size_t r = 0; r < runs.size(); ++r) {
        ShortestForms forms;
        std::size_t wrong = 0;
        for (double v : runs[r]) {
            char buf[kMaxNumberText];
            const std::string got(buf, forms.write(buf, v));
            if (got != shortestForm(v) && wrong++ < 3) ADD_FAILURE() << "run " << r << ": " << got;
            if (std::strtod(got.c_str(), nullptr) != v ||
                std::signbit(std::strtod(got.c_str(), nullptr)) != std::signbit(v))
                ADD_FAILURE() << got << " does not read back";
        }
    }
}

}  // namespace lumera
