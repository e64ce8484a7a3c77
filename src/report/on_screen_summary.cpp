#include "report/on_screen_summary.h"

#include "shell/program.h"
#include "textio/number_forms.h"
#include "textio/rounding.h"

namespace lumera {

namespace {

constexpr int kColumnTwips = 500;

double roundTo(double v, double scale) { return roundHalfEven(v * scale) / scale; }

std::string withoutTrailingSpace(double v) {
    std::string text = printForm(v);
    text.pop_back();
    return text;
}

}  // namespace

std::string differenceGridText(double v) {
    // A difference of exactly 1 takes the two-decimal rule.
    if (v < 1) return withoutTrailingSpace(roundTo(v, 1000));
    if (v <= 100) return withoutTrailingSpace(roundTo(v, 100));
    return withoutTrailingSpace(roundHalfEven(v));
}

std::string pValueGridText(double p, bool tIntervalAboveZero) {
    return withoutTrailingSpace(roundTo(p, 10000)) + (tIntervalAboveZero ? "*" : "");
}

void ShowMultiCIofDifference(Program& program) {
    RunState& s = program.state();
    GridControl& grid = program.form1().MSFlexGrid1;
    const int n = s.TreatmentCount;
    if (s.FlowRecord == Flag::Yes) program.writeFlowLine("Sub ShowMultiCIofDifference");

    grid.setRows(n + 1);
    grid.setCols(n + 1);
    for (int c = 0; c <= n; ++c) grid.setColWidth(c, kColumnTwips);
    auto put = [&grid](int r, int c, std::string text) {
        grid.row = r;
        grid.col = c;
        grid.setText(std::move(text));
    };
    for (int r = 1; r <= n; ++r) put(r, 0, s.TreatName[r]);
    for (int c = 1; c <= n; ++c) put(0, c, s.TreatName[c]);
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            if (i == j)
                put(i, j, " ----");
            else if (i < j)
                put(i, j, differenceGridText(s.AbsMeanDiff[i][j]));
            else
                put(i, j, pValueGridText(s.PValueTable[j][i], s.TLower[j][i] > 0));
        }
    for (int r = 0; r <= n; ++r)
        for (int c = 0; c <= n; ++c) {
            grid.row = r;
            grid.col = c;
            grid.setCellAlignment(Align::Center);
        }
    s.GridChartsReady = true;
    grid.Refresh();
}

}  // namespace lumera
