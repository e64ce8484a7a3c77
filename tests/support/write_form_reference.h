#pragma once
#include <cstdio>
#include <string>

namespace lumera::test {

// The write form the straightforward way: the C library's "%.15G" with the
// 0 before the point removed, and negative zero as "0".
inline std::string writeFormReference(double v) {
    char b[64];
    std::snprintf(b, sizeof b, "%.15G", v);
    std::string s = b;
    if (s == "-0") return "0";
    const std::size_t zero = s[0] == '-' ? 1 : 0;
    if (s.compare(zero, 2, "0.") == 0) s.erase(zero, 1);
    return s;
}

}  // namespace lumera::test
