#pragma once
#include <bit>
#include <cstdint>

namespace lumera::analysis {

// Doubles in ascending order map to ascending keys (-0 just below +0), so a
// search or a radix sort over keys follows the order of the values.
inline std::uint64_t orderKey(double x) {
    const auto b = std::bit_cast<std::uint64_t>(x);
    return (b >> 63) ? ~b : b | (std::uint64_t{1} << 63);
}
inline double fromKey(std::uint64_t k) { return std::bit_cast<double>((k >> 63) ? k & ~(std::uint64_t{1} << 63) : ~k); }

}  // namespace lumera::analysis
