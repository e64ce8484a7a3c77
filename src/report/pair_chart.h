#pragma once
#include "analysis/histogram.h"

namespace lumera {

class ChartControl;
class Program;
struct RunState;

// The chart model of one pair's distribution of differences: bars, the
// normal curve, the t and percentile limits, the regions counted in P.
void fillPairChart(ChartControl& chart, const analysis::PairChart& pair);

// Pair (i, j), i < j, of the window's last Cartesian test, with the numbers
// its report and grid show.
analysis::PairChart windowPairChart(const RunState& s, int i, int j);

// A click on a pair's cell of the result grid shows that pair's chart in
// its place; a click on the chart (or Esc) brings the grid back.
void MSFlexGrid1_Click(Program& program);
void MSChart2_Click(Program& program);

}  // namespace lumera
