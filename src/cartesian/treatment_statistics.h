#pragma once
#include <cstdint>
#include <vector>

#include "shell/run_state.h"

namespace lumera {

// The engine's own copies of the replicates and weights, made when the
// statistics are computed; the pairs are formed from these.
struct EngineCopy {
    PerTreatment<std::vector<double>> X;  // X[k][r], r = 1..B_k
    std::vector<std::int32_t> w;          // one weight per replicate position
};

// Each treatment's effective replicate count, mean, variance and standard
// error, and the F ratio over all treatments.
void computeTreatmentStatistics(RunState& s, EngineCopy& copy);

}  // namespace lumera
