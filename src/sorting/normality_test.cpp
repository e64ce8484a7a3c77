#include "sorting/normality_test.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/histogram.h"
#include "analysis/normality.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "sorting/sort_and_count.h"
#include "textio/number_forms.h"

namespace lumera {

namespace {
constexpr std::int32_t kMaxChartClasses = 30'000;
// Enough points to show any departure from the line, few enough to draw at once.
constexpr std::size_t kMaxProbabilityPoints = 2000;
// More labels than this crowd a chart 788 pixels wide.
constexpr double kMaxValueTicks = 15;

// A round number of lattice steps between ticks, so that every tick sits on
// a bar's centre.
double tickStride(double steps) {
    for (double decade = 1;; decade *= 10)
        for (double m : {1.0, 2.0, 5.0})
            if (steps / (m * decade) <= kMaxValueTicks) return m * decade;
}
}  // namespace

void clearChart(ChartControl& chart) { chart.clearData(); }

namespace {

// The normality figures of the chart's values, for the box on it.
std::string normalityNote(const analysis::NormalityResult& r) {
    std::string note = "N = " + std::to_string(r.n) + "\nMean = " + chartForm(r.mean) + "\nSD = " + chartForm(r.sd);
    if (std::isfinite(r.skewness))
        note += "\nSkewness = " + chartForm(r.skewness) + "\nExcess kurtosis = " + chartForm(r.excessKurtosis);
    note += "\n\nShapiro-Wilk";
    note += r.shapiroWilk ? "\n  W = " + chartForm(r.shapiroWilk->W) + "\n  P = " + chartForm(r.shapiroWilk->p)
                          : std::string(r.n > 5000 ? "\n  not for N > 5000" : "\n  not computed");
    note += "\n\nAnderson-Darling";
    note += r.andersonDarling
                ? "\n  A\u00b2 = " + chartForm(r.andersonDarling->A2) + "\n  P = " + chartForm(r.andersonDarling->p)
                : std::string(r.n < 8 ? "\n  not for N < 8" : "\n  not computed");
    return note;
}

void fillProbabilityPlot(std::span<const double> sortedValues, double mean, double sd, ChartControl& chart) {
    const std::size_t n = sortedValues.size();
    if (n < 2 || !(sd > 0)) return;
    // Blom's plotting positions; a large sample is drawn at evenly spaced
    // ranks, which keeps the plot's shape and its ends.
    const std::size_t shown = std::min<std::size_t>(n, kMaxProbabilityPoints);
    for (std::size_t k = 0; k < shown; ++k) {
        const std::size_t i = shown == n ? k : k * (n - 1) / (shown - 1);
        const double z =
            analysis::normalQuantile((static_cast<double>(i) + 1 - 0.375) / (static_cast<double>(n) + 0.25));
        chart.probabilityPoints.emplace_back(z, sortedValues[i]);
    }
    const double zLow = chart.probabilityPoints.front().first, zHigh = chart.probabilityPoints.back().first;
    chart.probabilityLine = {{zLow, mean + sd * zLow}, {zHigh, mean + sd * zHigh}};
}

}  // namespace

analysis::FrequencyChart fillFrequencyChart(std::vector<double> values, const std::string& source,
                                            const std::string& saveStem, ChartControl& chart) {
    clearChart(chart);
    if (values.empty()) {
        chart.title = "No data";
        return {};
    }
    analysis::FrequencyChart f = analysis::frequencyChart(values);
    chart.title = (source.empty() ? std::string() : source + ": ") + "N = " + std::to_string(values.size()) +
                  ", mean = " + chartForm(f.mean) + ", SD = " + chartForm(f.sd);
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
    if (!std::is_sorted(values.begin(), values.end())) std::sort(values.begin(), values.end());
    chart.note = normalityNote(analysis::testNormality(values));
    chart.saveName = saveStem + "-frequency";
    chart.probabilitySaveName = saveStem + "-probability";
    fillProbabilityPlot(values, f.mean, f.sd, chart);
    return f;
}

analysis::FrequencyChart fillFrequencyChart(const RunState& s, ChartControl& chart) {
    std::vector<double> values;
    for (std::int32_t c = 1; c <= s.ClassCount; ++c)
        values.insert(values.end(), static_cast<std::size_t>(std::max(0.0, std::round(s.ClassFrequency[c]))),
                      s.ClassValue[c]);
    // The variable and the file it came from, so that no chart passes for another file's.
    std::string source = s.DataSetName;
    if (!s.SortFileName.empty()) source += (source.empty() ? "" : " in ") + s.SortFileName;
    return fillFrequencyChart(std::move(values), source, s.FileStem, chart);
}

void MSChart1_Click(Program& program) {
    ChartControl& chart = program.form1().MSChart1;
    if (!chart.visible || chart.probabilityPoints.empty()) return;
    chart.probabilityShown = !chart.probabilityShown;
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
