#include "textio/number_forms.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
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

__extension__ typedef unsigned __int128 Wide;

// The eight decimal digits of v < 10^8 as the bytes of one word, first
// digit lowest, without the '0' added: each step halves the width of the
// groups in every lane at once (four digits, then two, then one).
std::uint64_t eightDigits(std::uint32_t v) {
    const std::uint64_t fours = v / 10000 | (std::uint64_t{v % 10000} << 32);
    // n / 100 = n * 10486 >> 20 for n < 10^4; n / 10 = n * 103 >> 10 for n < 100.
    const std::uint64_t hundreds = ((fours * 10486) >> 20) & 0x0000007F0000007FULL;
    const std::uint64_t twos = hundreds | ((fours - hundreds * 100) << 16);
    const std::uint64_t tens = ((twos * 103) >> 10) & 0x000F000F000F000FULL;
    return tens | ((twos - tens * 10) << 8);
}

constexpr std::uint64_t kPowers[] = {1ULL,
                                     10ULL,
                                     100ULL,
                                     1000ULL,
                                     10000ULL,
                                     100000ULL,
                                     1000000ULL,
                                     10000000ULL,
                                     100000000ULL,
                                     1000000000ULL,
                                     10000000000ULL,
                                     100000000000ULL,
                                     1000000000000ULL,
                                     10000000000000ULL,
                                     100000000000000ULL,
                                     1000000000000000ULL,
                                     10000000000000000ULL,
                                     100000000000000000ULL,
                                     1000000000000000000ULL,
                                     10000000000000000000ULL};
constexpr std::uint64_t kLowest15 = 100000000000000ULL;
constexpr std::uint64_t kAbove15 = 1000000000000000ULL;

// The fixed range, which holds nearly every value written by the million,
// in integer arithmetic: a = m x 2^-s with s >= 3 there, so m x 10^k (below
// 2^117) shifted right by s gives the 15 digits and the exact remainder
// decides the rounding, halves to even as the general conversion does.
// Sets the 15 digits as a whole number and returns the decimal exponent,
// or returns kNotFixed when the rounded value lies outside the range.
constexpr int kNotFixed = 99;
int roundFixed(double a, std::uint64_t& digits) {
    if (!(a >= 1e-4 && a < 1e15)) return kNotFixed;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(a);
    const int e2 = static_cast<int>(bits >> 52);
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int s = 1075 - e2;
    // floor(log10(2^(e2-1023))): the decimal exponent or one below it.
    int k = 14 - (((e2 - 1023) * 78913) >> 18);
    Wide product = static_cast<Wide>(m) * kPowers[k];
    auto n = static_cast<std::uint64_t>(product >> s);
    if (n >= kAbove15) {
        --k;
        product = static_cast<Wide>(m) * kPowers[k];
        n = static_cast<std::uint64_t>(product >> s);
    }
    const Wide rest = product & ((Wide{1} << s) - 1);
    const Wide half = Wide{1} << (s - 1);
    n += (rest > half || (rest == half && (n & 1) != 0)) ? 1 : 0;
    int exponent = 14 - k;
    if (n == kAbove15) {
        n = kLowest15;
        if (++exponent >= 15) return kNotFixed;
    }
    digits = n;
    return exponent;
}

// Outside the fixed range exact rounding would need long arithmetic; the
// shortest text that reads back as a (cheap to find) settles most values:
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

// A fixed 16-byte copy compiles to two moves, where a copy of the exact
// length calls the library; output buffers leave room for the excess.
char* copyDigits(char* out, const char* from, int count) {
    std::memcpy(out, from, 16);
    return out + count;
}

// Fixed notation of digits[0..count) x 10^e, -4 <= e < 15.
char* writeFixed(char* out, const char* digits, int count, int e, bool zeroBeforePoint) {
    if (e < 0) {
        if (zeroBeforePoint) *out++ = '0';
        *out++ = '.';
        std::memcpy(out, "0000", 4);
        out += -e - 1;
        return copyDigits(out, digits, count);
    }
    const int whole = e + 1;
    if (count <= whole) {
        out = copyDigits(out, digits, count);
        for (int i = count; i < whole; ++i) *out++ = '0';
        return out;
    }
    out = copyDigits(out, digits, whole);
    *out++ = '.';
    return copyDigits(out, digits + whole, count - whole);
}

// Fixed notation of the 15 digits of 10^14 <= n < 10^15 times 10^(e-14),
// -4 <= e < 15, trailing zeros dropped. The digits stay in registers and
// reach the output in 16-byte stores: reading back bytes just stored in
// other widths stalls the processor, which cost more than all the rest.
char* writeFixedFifteen(char* out, std::uint64_t n, int e, bool zeroBeforePoint) {
    const std::uint64_t high = eightDigits(static_cast<std::uint32_t>(n / 100000000));  // a 0, then 7 digits
    const std::uint64_t low = eightDigits(static_cast<std::uint32_t>(n % 100000000));
    // Trailing zero digits are the zero bytes at the top of the words.
    const int count = low != 0 ? 15 - std::countl_zero(low) / 8 : 7 - std::countl_zero(high) / 8;
    constexpr std::uint64_t kZeros = 0x3030303030303030ULL;
    const Wide digits = ((static_cast<Wide>(low) << 56) | (high >> 8)) + ((static_cast<Wide>(kZeros) << 64) | kZeros);
    if (e < 0) {
        if (zeroBeforePoint) *out++ = '0';
        *out++ = '.';
        std::memcpy(out, "0000", 4);
        out += -e - 1;
        std::memcpy(out, &digits, 16);
        return out + count;
    }
    const int whole = e + 1;
    std::memcpy(out, &digits, 16);
    if (count <= whole) return out + whole;
    const Wide fraction = digits >> (8 * whole);
    out[whole] = '.';
    std::memcpy(out + whole + 1, &fraction, 16);
    return out + count + 1;
}

// The general way, kept out of line so that the common case carries no
// stack frame of its own.
[[gnu::noinline]] char* writeGeneral(char* out, double a, bool zeroBeforePoint) {
    Decimal d;
    decompose(a, d);
    const int e = d.exponent;
    if (e >= -4 && e < 15) return writeFixed(out, d.digits, d.count, e, zeroBeforePoint);
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

// Digits of |v| (v nonzero, finite) in fixed or exponent notation.
char* writeMagnitude(char* out, double v, bool zeroBeforePoint) {
    const double a = std::fabs(v);
    std::uint64_t digits = 0;
    const int fixed = roundFixed(a, digits);
    if (fixed != kNotFixed) return writeFixedFifteen(out, digits, fixed, zeroBeforePoint);
    return writeGeneral(out, a, zeroBeforePoint);
}

char* writeSigned(char* out, double v, bool zeroBeforePoint) {
    if (v == 0) {
        *out = '0';
        return out + 1;
    }
    if (!std::isfinite(v)) return writeSpecial(out, v);
    // Branch-free: the signs of differences are as good as random.
    *out = '-';
    out += std::signbit(v) ? 1 : 0;
    return writeMagnitude(out, v, zeroBeforePoint);
}

}  // namespace

char* writeFormTo(char* buf, double v) { return writeSigned(buf, v, false); }

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

std::string shortestForm(double v) {
    char buf[kMaxNumberText];
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

namespace {
constexpr int kKeptBits = 12;
// Past this many values, a run whose forms were found less than half the
// time is written without the table.
constexpr std::uint64_t kTrialValues = 8192;
}  // namespace

ShortestForms::ShortestForms() : kept_(std::size_t{1} << kKeptBits) {}

char* ShortestForms::write(char* buf, double v) {
    if (!keeping_) return std::to_chars(buf, buf + kMaxNumberText, v).ptr;
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    Kept& k = kept_[(bits * 0x9E3779B97F4A7C15ull) >> (64 - kKeptBits)];
    if (++seen_ == kTrialValues && 2 * found_ < seen_) keeping_ = false;
    if (k.length != 0 && k.bits == bits) {
        ++found_;
        std::memcpy(buf, k.text, sizeof k.text);
        return buf + k.length;
    }
    char* end = std::to_chars(buf, buf + kMaxNumberText, v).ptr;
    k.bits = bits;
    k.length = static_cast<std::uint8_t>(end - buf);
    std::memcpy(k.text, buf, k.length);
    return end;
}

std::string summaryForm(double v) {
    char buf[kMaxNumberText];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

std::string chartForm(double v) {
    char buf[kMaxNumberText];
    std::snprintf(buf, sizeof buf, "%.4g", v);
    return buf;
}

}  // namespace lumera
