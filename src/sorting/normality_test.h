#pragma once
#include <string>
#include <vector>

#include "analysis/histogram.h"

namespace lumera {

class Program;
class ChartControl;
struct RunState;

// The "N. Sort, norm." button: sort and count one file, then offer the
// frequency distribution of its classes on the first chart.
void cmdGeneralNormalTest_Click(Program& program);

// The frequency chart of the classes ClassValue/ClassFrequency[1..ClassCount]:
// a bar per value or histogram bins, the normal curve of the same mean and SD
// with the bars' area, titled with the variable, N, mean and SD.
// Returns what it drew (no bars when there are no classes).
analysis::FrequencyChart fillFrequencyChart(const RunState& state, ChartControl& chart);
// The same of any values, titled with `source`, offered for saving as
// saveStem + "-frequency" and "-probability".
analysis::FrequencyChart fillFrequencyChart(std::vector<double> values, const std::string& source,
                                            const std::string& saveStem, ChartControl& chart);

// A click on the frequency chart switches between it and the normal
// probability plot of the same values.
void MSChart1_Click(Program& program);

// Empties the chart, so that nothing of an earlier file stays on it.
void clearChart(ChartControl& chart);

}  // namespace lumera
