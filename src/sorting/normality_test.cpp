#include "sorting/normality_test.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "shell/dialog_texts.h"
#include "shell/program.h"
#include "sorting/sort_and_count.h"

namespace lumera {

namespace {
constexpr std::int32_t kMaxChartClasses = 30'000;
constexpr int kCurvePoints = 100;
}  // namespace

void fillFrequencyChart(const RunState& s, ChartControl& chart) {
    chart.bars.clear();
    chart.curve.clear();
    const std::int32_t k = s.ClassCount;
    if (k <= 0) {
        chart.title = "No data";
        chart.xTitle.clear();
        chart.yTitle.clear();
        return;
    }
    chart.title = "Frequency distribution";
    chart.xTitle = "Value";
    chart.yTitle = "Count";
    double n = 0, sum = 0;
    double width = std::numeric_limits<double>::infinity();
    for (std::int32_t c = 1; c <= k; ++c) {
        chart.bars.emplace_back(s.ClassValue[c], s.ClassFrequency[c]);
        n += s.ClassFrequency[c];
        sum += s.ClassValue[c] * s.ClassFrequency[c];
        if (c > 1) width = std::min(width, s.ClassValue[c] - s.ClassValue[c - 1]);
    }
    if (k == 1) width = 1;
    const double mean = sum / n;
    double squares = 0;
    for (std::int32_t c = 1; c <= k; ++c) {
        const double d = s.ClassValue[c] - mean;
        squares += d * d * s.ClassFrequency[c];
    }
    // One value or all values equal: no spread, no density to draw.
    if (n < 2 || !(squares > 0) || !std::isfinite(squares)) return;
    const double sd = std::sqrt(squares / (n - 1));
    const double lo = s.ClassValue[1] - width / 2;
    const double hi = s.ClassValue[k] + width / 2;
    const double scale = n * width / (sd * std::sqrt(2 * std::numbers::pi));
    for (int j = 0; j < kCurvePoints; ++j) {
        const double x = lo + (hi - lo) * j / (kCurvePoints - 1);
        const double z = (x - mean) / sd;
        chart.curve.emplace_back(x, scale * std::exp(-0.5 * z * z));
    }
}

void cmdGeneralNormalTest_Click(Program& program) {
    SortForBootstrapResults(program);
    RunState& s = program.state();
    if (s.DataKind == SortDataKind::PairTestResults) return;
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
