#pragma once
// The chart renderer is a module of its own (it needs Qt); lumera-cli opens
// it only for --plot, through this table of plain functions, so that no
// other command maps a Qt library.

namespace lumera {

class ChartControl;

inline constexpr int kChartModuleVersion = 4;  // 4: the names a saved copy is offered under
inline constexpr const char* kChartModuleEntry = "lumera_chart_module";
inline constexpr const char* kChartModuleFile = "lumera-charts.so";

struct ChartModule {
    // The table's layout; a module built for another layout is refused.
    int version;
    // The chart as a PNG of 2400 x 1600 pixels (300 dpi), an SVG of
    // 1200 x 800 or a PDF page of the same shape at `path`; the file appears
    // whole or not at all. nullptr on success, otherwise why not, valid
    // until the next call.
    const char* (*savePng)(const ChartControl& model, const char* path);
    const char* (*saveSvg)(const ChartControl& model, const char* path);
    const char* (*savePdf)(const ChartControl& model, const char* path);
};

using ChartModuleEntry = const ChartModule* (*)();

}  // namespace lumera
