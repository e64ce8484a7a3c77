#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace lumera {

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double v);

// Whole-number conversions with halves to even; empty when the rounded value
// does not fit the type (or v is not finite).
std::optional<std::int16_t> toInt16(double v);
std::optional<std::int32_t> toInt32(double v);

// The number that a text begins with, as an input box answer is read:
// leading spaces skipped, then an optional sign, digits, an optional point
// with digits and an optional exponent. No number (or an empty text) gives 0.
double leadingNumber(std::string_view text);

// The number a whole text holds (blanks around it allowed): optional sign,
// digits, optional point with digits, optional exponent. Empty for any other
// text and for a number beyond the range of a double (a tiny one reads as 0).
std::optional<double> parseNumberText(std::string_view text);

// True when the text is a number of that form but beyond the range of a
// double, which parseNumberText leaves empty as it does any other text.
bool numberTextOverflows(std::string_view text);

}  // namespace lumera
