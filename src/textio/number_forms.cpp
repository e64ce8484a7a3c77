#include "textio/number_forms.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace lumera {
namespace {

// A nonzero finite magnitude rounded to 15 significant digits:
// value = d[0].d[1]d[2]... x 10^exponent, no trailing zeros in d.
struct Decimal {
    // Room past the 15 digits so that they can be copied in fixed blocks.
    char digits[40] = {};
    int count = 0;
    int exponent = 0;
};

// Reads to_chars scientific output "d[.ddd]e[+-]xx".
void readScientific(const char* p, const char* end, Decimal& d) {
    d.count = 0;
    for (; *p != 'e'; ++p)
        if (*p != '.') d.digits[d.count++] = *p;
    ++p;
    const bool negExp = *p++ == '-';
    int e = 0;
    for (; p < end; ++p) e = e * 10 + (*p - '0');
    d.exponent = negExp ? -e : e;
}

void dropTrailingZeros(Decimal& d) {
    while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
}

// Rounds a longer digit string to 15 digits; its digits past the 15th
// never form an exact half here.
void roundTo15(Decimal& d) {
    const bool up = d.digits[15] >= '5';
    d.count = 15;
    if (up) {
        int i = 14;
        while (i >= 0 && d.digits[i] == '9') d.digits[i--] = '0';
        if (i >= 0) {
            ++d.digits[i];
        } else {
            d.digits[0] = '1';
            d.count = 1;
            ++d.exponent;
        }
    }
    dropTrailingZeros(d);
}

// The last count digits of v, ending just before end, two at a step.
void writeDigits(char* end, std::uint32_t v, int count) {
    for (; count >= 2; count -= 2) {
        const std::uint32_t r = v % 100;
        v /= 100;
        *--end = static_cast<char>('0' + r % 10);
        *--end = static_cast<char>('0' + r / 10);
    }
    if (count == 1) *--end = static_cast<char>('0' + v % 10);
}

// Powers of ten that doubles hold exactly.
constexpr double kExactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common case of the fixed range without the general conversion, which
// dominates when millions of values are written: a x 10^k (one rounding,
// off by at most 1/16 below 2^50) settles the 15 digits unless it lies near
// a half or near the ends of the 15-digit range; those go the long way.
bool decomposeFast(double a, Decimal& d) {
    if (!(a >= 1e-4 && a < 1e15)) return false;
    // The binary exponent gives the decimal one to within one.
    const int e2 = static_cast<int>((std::bit_cast<std::uint64_t>(a) >> 52) & 0x7ff) - 1022;
    int k = 14 - ((e2 * 1233) >> 12);
    if (k < 0) k = 0;
    if (k > 18) k = 18;
    while (k > 0 && a * kExactPowers[k] >= 1e15) --k;
    while (k < 18 && a * kExactPowers[k] < 1e14) ++k;
    const double m = a * kExactPowers[k];
    if (m < 1e14 + 1 || m >= 1e15 - 1) return false;
    const double whole = static_cast<double>(static_cast<std::int64_t>(m));
    const double fraction = m - whole;
    if (fraction >= 0.4375 && fraction <= 0.5625) return false;
    const auto n = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    // Two independent halves, so the divisions overlap.
    writeDigits(d.digits + 15, static_cast<std::uint32_t>(n % 100000000), 8);
    writeDigits(d.digits + 7, static_cast<std::uint32_t>(n / 100000000), 7);
    d.count = 15;
    d.exponent = 14 - k;
    dropTrailingZeros(d);
    return true;
}

// Exact rounding to 15 digits is costly; the shortest text that reads back
// as a (cheap to find) settles most values:
// - 15 digits or fewer: it is the rounding, since 15-digit decimals lie
//   more than one binary step apart (not so for subnormals);
// - more digits: no 15-digit rounding boundary can lie between a and it
//   (a 16-digit boundary there would have been the shorter or closer
//   choice), so rounding it gives the same digits, unless it is itself
//   such a boundary (16 digits ending in 5).
void decompose(double a, Decimal& d) {
    if (decomposeFast(a, d)) return;
    char tmp[48];
    if (a >= std::numeric_limits<double>::min()) {
        const auto r = std::to_chars(tmp, tmp + sizeof tmp, a, std::chars_format::scientific);
        readScientific(tmp, r.ptr, d);
        if (d.count <= 15) return dropTrailingZeros(d);
        if (d.count > 16 || d.digits[15] != '5') return roundTo15(d);
    }
    const auto r = std::to_chars(tmp, tmp + sizeof tmp, a, std::chars_format::scientific, 14);
    readScientific(tmp, r.ptr, d);
    dropTrailingZeros(d);
}

char* writeSpecial(char* out, double v) {
    if (std::isnan(v)) {
        std::memcpy(out, "NAN", 3);
        return out + 3;
    }
    if (v < 0) *out++ = '-';
    std::memcpy(out, "INF", 3);
    return out + 3;
}

// A fixed 16-byte copy compiles to two moves, where a copy of the exact
// length calls the library; output buffers leave room for the excess.
char* copyDigits(char* out, const char* from, int count) {
    std::memcpy(out, from, 16);
    return out + count;
}

// Digits of |v| (v nonzero, finite) in fixed or exponent notation.
char* writeMagnitude(char* out, double v, bool zeroBeforePoint) {
    Decimal d;
    decompose(std::fabs(v), d);
    const int e = d.exponent;
    if (e >= -4 && e < 15) {
        if (e < 0) {
            if (zeroBeforePoint) *out++ = '0';
            *out++ = '.';
            for (int i = -1; i > e; --i) *out++ = '0';
            return copyDigits(out, d.digits, d.count);
        }
        const int whole = e + 1;
        if (d.count <= whole) {
            out = copyDigits(out, d.digits, d.count);
            for (int i = d.count; i < whole; ++i) *out++ = '0';
            return out;
        }
        out = copyDigits(out, d.digits, whole);
        *out++ = '.';
        return copyDigits(out, d.digits + whole, d.count - whole);
    }
    *out++ = d.digits[0];
    if (d.count > 1) {
        *out++ = '.';
        out = copyDigits(out, d.digits + 1, d.count - 1);
    }
    *out++ = 'E';
    *out++ = e < 0 ? '-' : '+';
    int m = e < 0 ? -e : e;
    if (m >= 100) {
        *out++ = static_cast<char>('0' + m / 100);
        m %= 100;
    }
    *out++ = static_cast<char>('0' + m / 10);
    *out++ = static_cast<char>('0' + m % 10);
    return out;
}

char* writeSigned(char* out, double v, bool zeroBeforePoint) {
    if (v == 0) {
        *out = '0';
        return out + 1;
    }
    if (!std::isfinite(v)) return writeSpecial(out, v);
    if (v < 0) *out++ = '-';
    return writeMagnitude(out, v, zeroBeforePoint);
}

}  // namespace

char* writeFormTo(char* buf, double v) {
    return writeSigned(buf, v, false);
}

std::string writeForm(double v) {
    char buf[kMaxNumberText];
    return std::string(buf, writeSigned(buf, v, false));
}

std::string plainForm(double v) {
    char buf[kMaxNumberText];
    return std::string(buf, writeSigned(buf, v, true));
}

std::string printForm(double v) {
    char buf[kMaxNumberText + 2];
    char* out = buf;
    if (v == 0) {
        std::memcpy(out, " 0", 2);
        out += 2;
    } else if (!std::isfinite(v)) {
        *out++ = v < 0 ? '-' : ' ';
        out = writeSpecial(out, std::fabs(v));
    } else {
        *out++ = v < 0 ? '-' : ' ';
        out = writeMagnitude(out, v, false);
    }
    *out++ = ' ';
    return std::string(buf, out);
}

}  // namespace lumera
