#pragma once
#include <string>

#include "shell/run_state.h"

namespace lumera {

class Program;

// Sorts and counts the values of one chosen data file (general data,
// bootstrap results, or PBT/CPT results) and writes the sorted, percentile
// and counts files next to it. Leaves DataKind and ClassCount in the run
// state. A cancelled file dialogue ends it silently and normally.
void SortForBootstrapResults(Program& program);

// The three output paths of the last run, from FileStem, DecimalLimit and
// DataSetName.
struct SortOutputNames {
    std::string sorted;
    std::string percentile;
    std::string counts;
};
SortOutputNames sortOutputNames(const RunState& state);

}  // namespace lumera
