#include "cli/paper_figure.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "analysis/interval_rules.h"
#include "cli/chart_loader.h"
#include "cli/paper_tables.h"
#include "shell/controls.h"
#include "textio/number_forms.h"
#include "textio/rounding.h"
#include "textio/text_file.h"
#include "textio/user_error.h"

namespace lumera::cli {

namespace {

namespace fs = std::filesystem;
constexpr const char* kFigureTitle = "Figure";

}  // namespace

std::pair<std::size_t, std::size_t> percentilePositions(std::size_t b, const analysis::IntervalLevel& level) {
    const analysis::PercentileRanks r = analysis::percentileRanks(static_cast<double>(b), level);
    return {static_cast<std::size_t>(r.lower), static_cast<std::size_t>(r.upper)};
}

std::vector<FigurePoint> figurePoints(const analysis::Comparison& c, FigureBars bars) {
    std::vector<FigurePoint> points;
    for (std::size_t t = 0; t < c.treatments.size(); ++t) {
        const analysis::TreatmentSample& s = c.treatments[t];
        FigurePoint p{s.name, treatmentEstimate(s), 0, 0, c.letters[t]};
        if (bars == FigureBars::Se) {
            p.lower = p.estimate - s.se;
            p.upper = p.estimate + s.se;
        } else {
            const auto [lower, upper] = percentilePositions(s.sorted.size(), c.interval);
            p.lower = s.sorted[lower - 1];
            p.upper = s.sorted[upper - 1];
        }
        points.push_back(std::move(p));
    }
    return points;
}

std::string figureCsv(const std::vector<FigurePoint>& points) {
    std::string out = "treatment,estimate,lower,upper,letters\n";
    for (const FigurePoint& p : points)
        out += csvField(p.name) + "," + shortestForm(p.estimate) + "," + shortestForm(p.lower) + "," +
               shortestForm(p.upper) + "," + csvField(p.letters) + "\n";
    return out;
}

void fillFigureChart(ChartControl& chart, const std::vector<FigurePoint>& points, const std::string& label) {
    chart.yTitle = label;
    chart.points.clear();
    for (const FigurePoint& p : points) chart.points.push_back({p.name, p.estimate, p.lower, p.upper, p.letters});
}

std::string figureCsvPath(const std::string& figure) { return fs::path(figure).replace_extension(".csv").string(); }

void checkFigure(const std::string& path) {
    const fs::path folder = fs::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec))
        throw UserError(kFigureTitle, "The folder " + folder.string() + " of the figure does not exist.");
    chartModule();
}

void writeFigure(const std::string& path, const std::vector<FigurePoint>& points, const std::string& label) {
    const ChartModule& charts = chartModule();
    const std::string csvPath = figureCsvPath(path);
    TextFile csv(csvPath, kFigureTitle);
    csv.write(figureCsv(points));
    ChartControl chart("figure", ControlKind::Chart);
    fillFigureChart(chart, points, label);
    const std::string extension = fs::path(path).extension().string();
    const auto save = extension == ".png" ? charts.savePng : extension == ".svg" ? charts.saveSvg : charts.savePdf;
    // The picture first: the CSV, still under its temporary name, goes
    // with it when it fails.
    if (const char* error = save(chart, path.c_str()))
        throw UserError(kFigureTitle, "Cannot write " + path + ": " + error);
    try {
        csv.close();
    } catch (...) {
        std::error_code ec;
        fs::remove(path, ec);
        throw;
    }
}

}  // namespace lumera::cli
