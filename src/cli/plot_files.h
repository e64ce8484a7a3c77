#pragma once
#include <string>
#include <vector>

#include "analysis/histogram.h"

namespace lumera {
class ChartControl;
}

namespace lumera::cli {

// One pair's chart and its 1-based positions, i < j, in the run's order.
struct PlotPair {
    int i = 0;
    int j = 0;
    analysis::PairChart chart;
};

// Refuses, before any work, a folder that is not there and a build or an
// installation without its chart module; throws UserError.
inline constexpr const char* kPairChartsTitle = "Pair charts";
inline constexpr const char* kFrequencyChartsTitle = "Frequency charts";
void checkPlotFolder(const std::string& dir, const char* title = kPairChartsTitle);

// pair-I-J.png, .svg and .csv for every pair into `dir`. Each file appears
// whole or not at all; when one fails, the ones this call already wrote go
// too, and a UserError names the file.
void writePairPlots(const std::string& dir, const std::vector<PlotPair>& pairs);

// The frequency chart of one file's values into `dir`: stem-frequency.png
// and .svg, stem-probability.png and .svg (the normal probability plot of
// the same chart) and stem-classes.csv, its bars. All or nothing, as above.
void writeValuePlots(const std::string& dir, const std::string& stem, const analysis::FrequencyChart& frequency,
                     ChartControl& chart);

}  // namespace lumera::cli
