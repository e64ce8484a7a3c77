#include "textio/number_forms.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace lumera {
namespace {

// A nonzero finite magnitude rounded to 15 significant digits:
// value = d[0].d[1]d[2]... x 10^exponent, no trailing zeros in d.
struct Decimal {
    char digits[24];
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

// Exact rounding to 15 digits is costly; the shortest text that reads back
// as a (cheap to find) settles most values:
// - 15 digits or fewer: it is the rounding, since 15-digit decimals lie
//   more than one binary step apart (not so for subnormals);
// - more digits: no 15-digit rounding boundary can lie between a and it
//   (a 16-digit boundary there would have been the shorter or closer
//   choice), so rounding it gives the same digits, unless it is itself
//   such a boundary (16 digits ending in 5).
void decompose(double a, Decimal& d) {
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
            std::memcpy(out, d.digits, d.count);
            return out + d.count;
        }
        const int whole = e + 1;
        if (d.count <= whole) {
            std::memcpy(out, d.digits, d.count);
            out += d.count;
            for (int i = d.count; i < whole; ++i) *out++ = '0';
            return out;
        }
        std::memcpy(out, d.digits, whole);
        out += whole;
        *out++ = '.';
        std::memcpy(out, d.digits + whole, d.count - whole);
        return out + (d.count - whole);
    }
    *out++ = d.digits[0];
    if (d.count > 1) {
        *out++ = '.';
        std::memcpy(out, d.digits + 1, d.count - 1);
        out += d.count - 1;
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
