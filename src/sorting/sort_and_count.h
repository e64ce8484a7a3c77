#pragma once
#include <span>
#include <string>
#include <vector>

#include "shell/run_state.h"
#include "textio/sha256.h"

namespace lumera {

class Program;

// Sorts and counts the values of one chosen data file (general data,
// bootstrap results, or PBT/CPT results) and writes the sorted, percentile
// and counts files next to it. Leaves DataKind and ClassCount in the run
// state. A cancelled file dialogue ends it silently and normally.
void SortForBootstrapResults(Program& program);

// One data file read as the sort reads it, with its messages, and nothing
// asked: the values in file order, and their mean before any rounding.
struct SortInputData {
    std::string projectName;  // general data only
    std::string dataSetName;
    std::vector<double> values;
    double mean = 0;
    InputDigest input;  // the whole file as read
};
SortInputData readSortInput(const std::string& path, SortDataKind kind, bool serials);

// The sort's rounding to D decimals (-1: none), halves upward.
void roundSortValues(std::span<double> values, double decimals);

// The start of the three output paths of a data file: its path without an
// extension of a dot and three characters, else the whole path.
std::string sortFileStem(const std::string& path);

// The three output paths of the last run, from FileStem, DecimalLimit and
// DataSetName.
struct SortOutputNames {
    std::string sorted;
    std::string percentile;
    std::string counts;
};
SortOutputNames sortOutputNames(const RunState& state);

}  // namespace lumera
