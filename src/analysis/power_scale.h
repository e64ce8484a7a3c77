#pragma once
#include <algorithm>
#include <cmath>

namespace lumera::analysis {

// The exponent of a power of two that brings `largest` near 1 when the
// squares (or fourth powers) of numbers its size would leave the normal
// range of doubles; 0 otherwise, so that ordinary data keep their bits.
// Multiplying by such a power is exact, and so is taking it back out.
inline int scaleExponent(double largest) {
    if (!(largest > 0) || !std::isfinite(largest)) return 0;
    const int e = std::ilogb(largest);
    // Subnormals go below -1022; 2^1000 still brings them into the normal range.
    return e < -200 ? std::min(-e, 1000) : e > 200 ? -e : 0;
}

}  // namespace lumera::analysis
