#include "cli/plot_files.h"

#include <filesystem>

#include "cli/chart_loader.h"
#include "report/pair_chart.h"
#include "shell/controls.h"
#include "textio/text_file.h"
#include "textio/user_error.h"

namespace lumera::cli {

namespace {

namespace fs = std::filesystem;
constexpr const char* kPlotTitle = "Pair charts";

}  // namespace

void checkPlotFolder(const std::string& dir) {
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw UserError(kPlotTitle, "Cannot reach the folder " + dir + ": " + ec.message());
    if (!fs::exists(status)) throw UserError(kPlotTitle, "The folder " + dir + " does not exist.");
    if (!fs::is_directory(status)) throw UserError(kPlotTitle, dir + " is not a folder.");
    chartModule();
}

void writePairPlots(const std::string& dir, const std::vector<PlotPair>& pairs) {
    checkPlotFolder(dir);
    const ChartModule& charts = chartModule();
    std::vector<fs::path> written;
    try {
        for (const PlotPair& p : pairs) {
            const fs::path stem = fs::path(dir) / ("pair-" + std::to_string(p.i) + "-" + std::to_string(p.j));
            fs::path csvPath = stem;
            csvPath += ".csv";
            TextFile csv(csvPath.string(), kPlotTitle);
            csv.write(analysis::pairChartCsv(p.chart));
            csv.close();
            written.push_back(csvPath);

            ChartControl chart("pair", ControlKind::Chart);
            fillPairChart(chart, p.chart);
            for (const char* extension : {".png", ".svg"}) {
                fs::path path = stem;
                path += extension;
                const char* error =
                    (std::string(extension) == ".png" ? charts.savePng : charts.saveSvg)(chart, path.string().c_str());
                if (error != nullptr) throw UserError(kPlotTitle, "Cannot write " + path.string() + ": " + error);
                written.push_back(path);
            }
        }
    } catch (...) {
        std::error_code ec;
        for (const fs::path& path : written) fs::remove(path, ec);
        throw;
    }
}

}  // namespace lumera::cli
