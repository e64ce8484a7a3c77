#pragma once
#include <cstdint>

#include "cartesian/pair_order.h"

namespace lumera {

class Program;

// The engine: treatment statistics, then for every pair all Cartesian
// differences, their mean, SE, t and percentile intervals, counts and
// P-value, telling the program's Progress how far it is.
void CartesianDifference2(Program& program);

// One pass over a pair's differences in the engine's order: the running sum
// and sum of squares, and the three classes.
struct PairSums {
    double sum = 0;
    double sumOfSquares = 0;
    std::int32_t atMostZero = 0;
    std::int32_t atLeastTwice = 0;
    std::int32_t significant = 0;
};
PairSums sumPairDifferences(const PairDifferences& pair);

// Positions of the 2.5 % and 97.5 % points among C2 sorted differences.
struct PercentilePositions {
    std::int32_t lo = 0;
    std::int32_t hi = 0;
};
PercentilePositions percentilePositions(double C2);

}  // namespace lumera
