#include "textio/rounding.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace lumera {

double roundHalfEven(double v) {
    if (!std::isfinite(v)) return v;
    // Independent of the floating-point rounding mode; v - floor(v) is exact.
    const double f = std::floor(v);
    const double frac = v - f;
    if (frac < 0.5) return f;
    if (frac > 0.5) return f + 1;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

namespace {

template <typename Int>
std::optional<Int> toInt(double v) {
    if (!std::isfinite(v)) return std::nullopt;
    const double r = roundHalfEven(v);
    if (r < static_cast<double>(std::numeric_limits<Int>::min()) ||
        r > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(r);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whole text is [sign] digits [. digits] [E|e [sign] digits], with at least
// one mantissa digit.
bool isCompleteNumber(std::string_view s) {
    std::size_t i = 0;
    const std::size_t n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    bool digit = false;
    while (i < n && isDigit(s[i])) ++i, digit = true;
    if (i < n && s[i] == '.') {
        ++i;
        while (i < n && isDigit(s[i])) ++i, digit = true;
    }
    if (!digit) return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        if (i == n || !isDigit(s[i])) return false;
        while (i < n && isDigit(s[i])) ++i;
    }
    return i == n;
}

}  // namespace

std::optional<std::int16_t> toInt16(double v) { return toInt<std::int16_t>(v); }
std::optional<std::int32_t> toInt32(double v) { return toInt<std::int32_t>(v); }

double leadingNumber(std::string_view text) {
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t start = i;  // from_chars takes no '+'
    std::size_t wholeDigits = 0, firstNonZero = std::string_view::npos, pointAt = std::string_view::npos;
    bool anyDigit = false;
    while (i < n && isDigit(text[i])) {
        if (text[i] != '0' && firstNonZero == std::string_view::npos) firstNonZero = i;
        ++i;
        ++wholeDigits;
        anyDigit = true;
    }
    if (i < n && text[i] == '.') {
        pointAt = i++;
        while (i < n && isDigit(text[i])) {
            if (text[i] != '0' && firstNonZero == std::string_view::npos) firstNonZero = i;
            ++i;
            anyDigit = true;
        }
    }
    if (!anyDigit) return 0;
    long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool negExp = false;
        if (j < n && (text[j] == '+' || text[j] == '-')) negExp = text[j++] == '-';
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j])) {
                if (exponent < 100000) exponent = exponent * 10 + (text[j] - '0');
                ++j;
            }
            if (negExp) exponent = -exponent;
            i = j;
        }
    }
    double value = 0;
    const auto r = std::from_chars(text.data() + start, text.data() + i, value);
    if (r.ec == std::errc::result_out_of_range) {
        // Overflow or underflow: decide by where the first significant
        // digit sits relative to the units place.
        if (firstNonZero == std::string_view::npos) {
            value = 0;
        } else {
            long place;  // power of ten of the first significant digit
            if (pointAt == std::string_view::npos || firstNonZero < pointAt)
                place = static_cast<long>(start + wholeDigits - firstNonZero) - 1;
            else
                place = -static_cast<long>(firstNonZero - pointAt);
            value = place + exponent > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        }
    }
    return negative ? -value : value;
}

std::optional<double> parseNumberText(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    if (!isCompleteNumber(text)) return std::nullopt;
    const char* first = text.data() + (text.front() == '+' ? 1 : 0);
    double v = 0;
    const auto r = std::from_chars(first, text.data() + text.size(), v);
    if (r.ec == std::errc{}) return v;
    // Out of range: underflow reads as zero, overflow is refused.
    v = leadingNumber(text);
    if (std::isfinite(v)) return v;
    return std::nullopt;
}

bool numberTextOverflows(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return isCompleteNumber(text) && std::isinf(leadingNumber(text));
}

}  // namespace lumera
