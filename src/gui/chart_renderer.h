#pragma once
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtCharts/QChart>
#include <cstddef>
#include <optional>
#include <string>

#include "shell/controls.h"

// One drawing of a chart model, for the window and for the files alike, so
// that what a user sees on screen is what goes into a paper.

namespace lumera::gui {

enum class ChartMedium { Screen, File };

// A new chart drawn from the model; the caller owns it. For a file its text
// is sized in the drawing's own units and its title for a page.
QChart* buildChart(const ChartControl& model, ChartMedium medium = ChartMedium::Screen);

// The items of the key beside the plot carry their series' name under this
// data key, and the key's box the text "legend".
inline constexpr int kLegendRole = 0x4c45;

// Changes whenever anything the chart shows changes.
std::size_t chartSignature(const ChartControl& model);

inline constexpr QSize kChartFileSize{1200, 800};

// The chart as a PNG (at twice `size` in pixels, marked 300 dpi, for
// print), an SVG of `size` or a one-page PDF of that shape. The file appears
// whole or not at all; on failure the returned text says why.
std::optional<std::string> saveChartPng(const ChartControl& model, const QString& path, QSize size = kChartFileSize);
std::optional<std::string> saveChartSvg(const ChartControl& model, const QString& path, QSize size = kChartFileSize);
std::optional<std::string> saveChartPdf(const ChartControl& model, const QString& path, QSize size = kChartFileSize);

// The PNG's picture (twice `size` in pixels, 300 dpi) and the SVG's bytes.
QImage chartImage(const ChartControl& model, QSize size = kChartFileSize);
QByteArray chartSvg(const ChartControl& model, QSize size = kChartFileSize);

// A widget-less program (the command line) draws offscreen; a no-op when an
// application exists.
void ensureChartApplication();

}  // namespace lumera::gui
