#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

#include "shell/controls.h"
#include "shell/dialogs.h"

// Saving and copying the chart a user sees: a right-click menu on the chart,
// Ctrl+S and Ctrl+C, in the look of the --plot files.

namespace lumera::gui {

enum class ChartFormat { Png, Svg, Pdf };

inline constexpr const char* kSaveChartTitle = "Save the chart";

// The name offered for the chart as it is shown (frequency chart or
// probability plot), with the format's ending; "chart" when it has none.
std::string proposedChartName(const ChartControl& model, ChartFormat format);

// Asks through the program's dialogs where the chart goes (the format's
// filter first; the chosen name's ending decides), writes it there, and
// tells of a failure in a message. Returns the path written, empty when
// cancelled or failed. A name without a folder is offered in `folder`.
std::string saveChartAs(Dialogs& dialogs, const ChartControl& model, ChartFormat format, const std::string& folder);

// The chart as a picture (and as SVG) on the clipboard.
void copyChartToClipboard(const ChartControl& model);

// The right-click menu of a chart widget: Save as PNG, SVG, PDF, Copy. The
// chart is looked up when the menu opens, so that it is the one shown then;
// nullptr or an empty chart: no menu.
struct ChartMenuTarget {
    std::function<const ChartControl*()> chart;
    std::function<Dialogs&()> dialogs;
    std::function<std::string()> folder;
    // After a dialogue: the window is brought back in line.
    std::function<void()> after;
};
void attachChartMenu(QWidget* chartWidget, ChartMenuTarget target);

// True when the chart shows anything worth a file.
bool chartHasContent(const ChartControl& model);

}  // namespace lumera::gui
