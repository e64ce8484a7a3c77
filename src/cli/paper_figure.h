#pragma once
#include <string>
#include <vector>

#include "analysis/comparison.h"

namespace lumera {
class ChartControl;
}

namespace lumera::cli {

enum class FigureBars { Se, Ci };

// One treatment of the figure, in the order of the tables.
struct FigurePoint {
    std::string name;
    double estimate = 0;
    double lower = 0;
    double upper = 0;
    std::string letters;
};

// 1-based positions among B sorted replicates of the percentile points at
// `level`: round-half-even(B q + 0.5) and round-half-even(B (1 - q) + 0.5),
// q = (1 - level) / 2.
std::pair<std::size_t, std::size_t> percentilePositions(std::size_t b, const analysis::IntervalLevel& level);

// The estimate of each treatment with +/- its SE, or its own percentile
// points at the comparison's level.
std::vector<FigurePoint> figurePoints(const analysis::Comparison& c, FigureBars bars);

// treatment,estimate,lower,upper,letters; numbers in their shortest form.
std::string figureCsv(const std::vector<FigurePoint>& points);

void fillFigureChart(ChartControl& chart, const std::vector<FigurePoint>& points, const std::string& label);

// The CSV beside a figure: its name with .csv for the ending.
std::string figureCsvPath(const std::string& figure);

// Refuses, before any work, a figure in a folder that is not there and a
// build or an installation without the chart module; throws UserError.
void checkFigure(const std::string& path);

// The figure and its CSV; both appear whole or neither does, and a
// UserError names the file that failed.
void writeFigure(const std::string& path, const std::vector<FigurePoint>& points, const std::string& label);

}  // namespace lumera::cli
