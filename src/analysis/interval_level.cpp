#include "analysis/interval_level.h"

#include <boost/math/distributions/normal.hpp>
#include <cstdlib>

namespace lumera::analysis {

namespace {

bool isDigit(char ch) { return ch >= '0' && ch <= '9'; }

// 10^n - f for the n digits f: the complement to 1 of the fraction 0.f.
std::string complement(const std::string& f) {
    std::string out(f.size(), '0');
    int borrow = 0;
    for (std::size_t k = f.size(); k-- > 0;) {
        int d = (k + 1 == f.size() ? 10 : 9) - (f[k] - '0') - borrow;
        borrow = 0;
        if (d < 0) d += 10, borrow = 1;
        out[k] = static_cast<char>('0' + d);
    }
    return out;
}

// The digits of 0.f / 2, one more than f's.
std::string half(const std::string& f) {
    std::string out;
    int carry = 0;
    for (char ch : f + "0") {
        const int v = carry * 10 + (ch - '0');
        out += static_cast<char>('0' + v / 2);
        carry = v % 2;
    }
    return out;
}

double fraction(const std::string& digits) {
    const std::string text = std::string("0.").append(digits);
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

std::optional<LevelChoice> parseLevel(std::string_view text) {
    std::string digits;
    long exponent = 0;  // value = digits x 10^exponent
    std::size_t at = 0;
    for (; at < text.size() && isDigit(text[at]); ++at) digits += text[at];
    if (at < text.size() && text[at] == '.')
        for (++at; at < text.size() && isDigit(text[at]); ++at) digits += text[at], --exponent;
    if (digits.empty()) return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        const bool negative = at < text.size() && text[at] == '-';
        if (at < text.size() && (text[at] == '-' || text[at] == '+')) ++at;
        if (at == text.size()) return std::nullopt;
        long e = 0;
        // Past a few thousand places no double changes; refusing bounds the digits held.
        for (; at < text.size() && isDigit(text[at]); ++at)
            if ((e = e * 10 + (text[at] - '0')) > 4000) return std::nullopt;
        exponent += negative ? -e : e;
    }
    if (at != text.size()) return std::nullopt;
    digits.erase(0, digits.find_first_not_of('0'));
    while (!digits.empty() && digits.back() == '0') digits.pop_back(), ++exponent;
    const long places = -exponent;
    if (digits.empty() || static_cast<long>(digits.size()) > places) return std::nullopt;  // 0, or 1 and above

    // L = 0.f with f of `places` digits.
    const std::string f = std::string(static_cast<std::size_t>(places) - digits.size(), '0') + digits;
    const std::string q = half(complement(f));
    LevelChoice c;
    c.level = fraction(f);
    c.interval.q = fraction(q);
    c.interval.oneMinusQ = fraction(complement(q));
    // The tail's probability keeps every digit where 1 - q near 1 would not.
    c.interval.z =
        f == "95" ? kTQuantile : boost::math::quantile(boost::math::complement(boost::math::normal(), c.interval.q));
    const std::string padded = f.size() < 2 ? f + std::string(2 - f.size(), '0') : f;
    c.percent = padded[0] == '0' ? padded.substr(1, 1) : padded.substr(0, 2);
    if (padded.size() > 2) c.percent.append(".").append(padded, 2);
    return c;
}

}  // namespace lumera::analysis
