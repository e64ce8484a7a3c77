#pragma once
#include <cstdint>

namespace lumera {

// The Cartesian differences of one pair, never stored: d(c) for
// c = a * innerCount + b (a, b counted from 0) is
// outer[a] - inner[b] when outerMinusInner, else inner[b] - outer[a],
// each rounded to double. They are the sort's input in that order, and the
// engine's: a over the first treatment (outer), b over the second (inner).
struct PairDifferences {
    const double* outer = nullptr;
    std::int32_t outerCount = 0;
    const double* inner = nullptr;
    std::int32_t innerCount = 0;
    bool outerMinusInner = true;
    // The same values ascending, when the caller has them: saves sorting
    // them again for every pair.
    const double* outerSorted = nullptr;
    const double* innerSorted = nullptr;
    // The difference of the means, which the classes of d are measured by;
    // the sort does not need it.
    double meanDifference = 0;
};

struct PairOrder {
    double atLo = 0;  // the value the sort puts at position lo
    double atHi = 0;  // ... at position hi
};

// What sorting the pair's differences would yield at two positions (1-based)
// and the group limit the sort would leave, without forming or sorting the
// differences. levelZeroSum is the differences' sum in input order, added
// one by one from 0 in double precision (the engine's running sum).
// groupLimit 0 means no sort has run yet.
PairOrder sortedPairPositions(const PairDifferences& diffs, double levelZeroSum, std::int32_t lo, std::int32_t hi,
                              std::int16_t& groupLimit);

}  // namespace lumera
