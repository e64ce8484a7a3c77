#include "report/pair_chart.h"

#include <algorithm>
#include <cmath>

#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "textio/number_forms.h"

namespace lumera {

void fillPairChart(ChartControl& chart, const analysis::PairChart& pair) {
    chart.title = pair.title;
    chart.xTitle = "Difference";
    chart.yTitle = "Count";
    chart.bars.clear();
    for (std::size_t b = 0; b < pair.counts.size(); ++b)
        chart.bars.push_back({pair.edges[b], pair.edges[b + 1], static_cast<double>(pair.counts[b])});
    chart.curve.clear();
    for (const analysis::ChartPoint& p : pair.curve) chart.curve.emplace_back(p.x, p.y);
    chart.xTickAnchor = 0;
    chart.xTickInterval = 0;
    chart.marks = {{pair.tLower, "t limits (95%)", LineStyle::Dashed},
                   {pair.tUpper, "t limits (95%)", LineStyle::Dashed},
                   {pair.percentileLower, "Percentile limits (95%)", LineStyle::Solid},
                   {pair.percentileUpper, "Percentile limits (95%)", LineStyle::Solid}};
    chart.shaded.clear();
    for (const analysis::XRange& r : pair.insignificant) chart.shaded.push_back({r.from, r.to});
    chart.shadedLabel = "d \u2264 0 or d \u2265 2D";
    std::int64_t c = 0;
    for (std::int64_t n : pair.counts) c += n;
    chart.note = "Differences\n  " + std::to_string(c) + "\nBin width\n  " + chartForm(pair.edges[1] - pair.edges[0]);
    chart.probabilityPoints.clear();
    chart.probabilityLine.clear();
    chart.probabilityShown = false;
}

analysis::PairChart windowPairChart(const RunState& s, int i, int j) {
    auto sample = [&s](int k) {
        const std::vector<double>& data = s.BootData[k];
        const auto b = static_cast<std::size_t>(s.BootCount[k]);
        return analysis::makeSample(s.TreatName[k], s.TreatFileName[k],
                                    std::vector<double>(data.begin() + 1, data.begin() + 1 + b));
    };
    // The test's direction: the larger mean minus the other.
    const bool iFirst = s.BootMean[i] > s.BootMean[j];
    const analysis::TreatmentSample minuend = sample(iFirst ? i : j), subtrahend = sample(iFirst ? j : i);
    analysis::PairResult r;
    r.differences = static_cast<std::int64_t>(s.BootCount[i]) * s.BootCount[j];
    r.meanDifference = s.MeanDiff[i][j];
    r.se = s.DiffSE[i][j];
    r.tLower = s.TLower[i][j];
    r.tUpper = s.TUpper[i][j];
    r.percentileLower = s.PctLower[i][j];
    r.percentileUpper = s.PctUpper[i][j];
    r.pValue = s.PValue[i][j];
    const double twiceD = 2 * std::fabs(s.BootMean[i] - s.BootMean[j]);
    return analysis::pairChart(minuend, subtrahend, r, twiceD);
}

void MSFlexGrid1_Click(Program& program) {
    Form1& form = program.form1();
    const RunState& s = program.state();
    const GridControl& grid = form.MSFlexGrid1;
    const int n = s.TreatmentCount;
    if (!grid.visible || grid.row < 1 || grid.col < 1 || grid.row == grid.col || grid.row > n || grid.col > n) return;
    if (!s.GridChartsReady) {
        program.dialogs().message(dialog_texts::kPairChartTitle, dialog_texts::kPairChartGoneText, Buttons::Ok);
        return;
    }
    const int i = std::min(grid.row, grid.col), j = std::max(grid.row, grid.col);
    fillPairChart(form.MSChart2, windowPairChart(s, i, j));
    // Named as --plot names it, beside the report.
    form.MSChart2.saveName = program.resolve("pair-" + std::to_string(i) + "-" + std::to_string(j));
    form.setResultGridVisible(false);
    form.MSChart2.visible = true;
}

void MSChart2_Click(Program& program) {
    Form1& form = program.form1();
    if (!form.MSChart2.visible) return;
    form.MSChart2.visible = false;
    form.setResultGridVisible(true);
}

}  // namespace lumera
