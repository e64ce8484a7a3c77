#pragma once

namespace lumera {

class Program;
class ChartControl;
struct RunState;

// The "N. Sort, norm." button: sort and count one file, then offer the
// frequency distribution of its classes on the first chart.
void cmdGeneralNormalTest_Click(Program& program);

// Puts the classes ClassValue/ClassFrequency[1..ClassCount] into the chart
// as bars, with the normal density of the same mean and SD over them.
void fillFrequencyChart(const RunState& state, ChartControl& chart);

}  // namespace lumera
