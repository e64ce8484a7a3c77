#include "textio/rounding.h"

#include <gtest/gtest.h>

#include <cmath>

#include "textio/date_time.h"

namespace lumera {
namespace {

TEST(Rounding, HalvesGoToEven) {
    EXPECT_EQ(roundHalfEven(2.5), 2);
    EXPECT_EQ(roundHalfEven(3.5), 4);
    EXPECT_EQ(roundHalfEven(-2.5), -2);
    EXPECT_EQ(roundHalfEven(-3.5), -4);
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1.5), 2);
    EXPECT_EQ(roundHalfEven(2.5000000000000004), 3);
    EXPECT_EQ(roundHalfEven(-0.49999999999999994), 0);
    EXPECT_EQ(roundHalfEven(4503599627370497.0), 4503599627370497.0);
}

TEST(Rounding, IntegerRanges) {
    EXPECT_EQ(toInt16(32767.4), 32767);
    EXPECT_EQ(toInt16(32767.5), std::nullopt);
    EXPECT_EQ(toInt16(-32768.5), -32768);
    EXPECT_EQ(toInt16(-32769), std::nullopt);
    EXPECT_EQ(toInt16(-2.5), -2);
    EXPECT_EQ(toInt16(NAN), std::nullopt);
    EXPECT_EQ(toInt32(2147483647.0), 2147483647);
    EXPECT_EQ(toInt32(2147483647.5), std::nullopt);
    EXPECT_EQ(toInt32(-2147483648.5), -2147483647 - 1);
    EXPECT_EQ(toInt32(INFINITY), std::nullopt);
}

TEST(Rounding, LeadingNumber) {
    EXPECT_EQ(leadingNumber("2.5"), 2.5);
    EXPECT_EQ(leadingNumber(" 3x"), 3);
    EXPECT_EQ(leadingNumber("\t -1"), -1);
    EXPECT_EQ(leadingNumber("abc"), 0);
    EXPECT_EQ(leadingNumber(""), 0);
    EXPECT_EQ(leadingNumber("-."), 0);
    EXPECT_EQ(leadingNumber(".5"), 0.5);
    EXPECT_EQ(leadingNumber("5.e"), 5);
    EXPECT_EQ(leadingNumber("1e3"), 1000);
    EXPECT_EQ(leadingNumber("1E-2x"), 0.01);
    EXPECT_EQ(leadingNumber("1e"), 1);
    EXPECT_EQ(leadingNumber("1e+"), 1);
    EXPECT_EQ(leadingNumber("+4"), 4);
    EXPECT_EQ(leadingNumber("0.1"), 0.1);  // exact parse, not digit arithmetic
    EXPECT_EQ(leadingNumber("1e999"), INFINITY);
    EXPECT_EQ(leadingNumber("-0.001e-999"), 0);
}

TEST(DateTime, TextAndSeconds) {
    const DateTime t{2026, 12, 9, 14, 5, 7};
    EXPECT_EQ(t.text(), "2026-12-09 14:05:07");
    EXPECT_EQ((DateTime{1, 1, 1, 0, 0, 1}.serialSeconds()), 1);
    EXPECT_EQ(secondsBetween({2026, 12, 31, 23, 59, 50}, {2027, 1, 1, 0, 0, 5}), 15);
    EXPECT_EQ(secondsBetween({2024, 2, 28, 12, 0, 0}, {2024, 3, 1, 12, 0, 0}), 2 * 86400);
    EXPECT_EQ(secondsBetween({2023, 2, 28, 12, 0, 0}, {2023, 3, 1, 12, 0, 0}), 86400);
    EXPECT_EQ(secondsBetween({2027, 1, 1, 0, 0, 0}, {2026, 1, 1, 0, 0, 0}), -365 * 86400);
    EXPECT_EQ(secondsBetween({1970, 1, 1, 0, 0, 0}, {2000, 1, 1, 0, 0, 0}), 946684800);
}

}  // namespace
}  // namespace lumera
