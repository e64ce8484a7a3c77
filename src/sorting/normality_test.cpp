#include "sorting/normality_test.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/histogram.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "sorting/sort_and_count.h"

namespace lumera {

namespace {
constexpr std::int32_t kMaxChartClasses = 30'000;
// More labels than this crowd a chart 788 pixels wide.
constexpr double kMaxValueTicks = 15;

std::string fourDigits(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", v);
    return text;
}

// A round number of lattice steps between ticks, so that every tick sits on
// a bar's centre.
double tickStride(double steps) {
    for (double decade = 1;; decade *= 10)
        for (double m : {1.0, 2.0, 5.0})
            if (steps / (m * decade) <= kMaxValueTicks) return m * decade;
}
}  // namespace

void clearChart(ChartControl& chart) {
    chart.title.clear();
    chart.xTitle.clear();
    chart.yTitle.clear();
    chart.bars.clear();
    chart.curve.clear();
    chart.xTickAnchor = 0;
    chart.xTickInterval = 0;
}

void fillFrequencyChart(const RunState& s, ChartControl& chart) {
    clearChart(chart);
    std::vector<double> values;
    for (std::int32_t c = 1; c <= s.ClassCount; ++c)
        values.insert(values.end(), static_cast<std::size_t>(std::max(0.0, std::round(s.ClassFrequency[c]))),
                      s.ClassValue[c]);
    if (values.empty()) {
        chart.title = "No data";
        return;
    }
    const analysis::FrequencyChart f = analysis::frequencyChart(values);
    chart.title = (s.DataSetName.empty() ? std::string() : s.DataSetName + ": ") +
                  "N = " + std::to_string(values.size()) + ", mean = " + fourDigits(f.mean) +
                  ", SD = " + fourDigits(f.sd);
    chart.xTitle = "Value";
    chart.yTitle = "Count";
    for (const analysis::Bar& b : f.bars) chart.bars.push_back({b.lower, b.upper, static_cast<double>(b.count)});
    for (const analysis::ChartPoint& p : f.curve) chart.curve.emplace_back(p.x, p.y);
    if (f.barPerValue && f.width > 0) {
        const double first = (f.bars.front().lower + f.bars.front().upper) / 2;
        const double last = (f.bars.back().lower + f.bars.back().upper) / 2;
        chart.xTickAnchor = first;
        chart.xTickInterval = f.width * tickStride(std::round((last - first) / f.width));
    }
}

void cmdGeneralNormalTest_Click(Program& program) {
    SortForBootstrapResults(program);
    RunState& s = program.state();
    if (s.DataKind == SortDataKind::PairTestResults) return;
    // Before the question: after No the frame must not show an earlier file.
    clearChart(program.form1().MSChart1);
    if (s.ClassCount > kMaxChartClasses) return;
    Form1& form = program.form1();
    form.MSChart1.visible = true;
    form.MSChart2.visible = false;
    // The cover stands in front of everything; it goes as a click on it
    // would, or it would hide the chart until its fifteen seconds are up.
    form.Image1.visible = false;
    form.Label4.visible = true;
    form.Label14.visible = true;
    if (program.dialogs().message(dialog_texts::kFrequencyTitle, dialog_texts::kFrequencyText, Buttons::YesNo) !=
        Answer::Yes)
        return;
    fillFrequencyChart(s, form.MSChart1);
}

}  // namespace lumera
