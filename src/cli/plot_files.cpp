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
constexpr const char* kPlotTitle = kPairChartsTitle;

}  // namespace

void checkPlotFolder(const std::string& dir, const char* title) {
    std::error_code ec;
    const fs::file_status status = fs::status(dir, ec);
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw UserError(title, "Cannot reach the folder " + dir + ": " + ec.message());
    if (!fs::exists(status)) throw UserError(title, "The folder " + dir + " does not exist.");
    if (!fs::is_directory(status)) throw UserError(title, dir + " is not a folder.");
    chartModule();
}

namespace {

// Writes each file in turn; when one fails, those already written go too.
class PlotWriter {
public:
    explicit PlotWriter(const std::string& dir) : dir_(dir) {}
    ~PlotWriter() {
        if (done_) return;
        std::error_code ec;
        for (const fs::path& path : written_) fs::remove(path, ec);
    }
    PlotWriter(const PlotWriter&) = delete;
    PlotWriter& operator=(const PlotWriter&) = delete;

    void text(const std::string& name, const std::string& content, const char* title) {
        const fs::path path = fs::path(dir_) / name;
        TextFile file(path.string(), title);
        file.write(content);
        file.close();
        written_.push_back(path);
    }
    void pictures(const std::string& name, const ChartControl& chart, const char* title) {
        const ChartModule& charts = chartModule();
        for (const char* extension : {".png", ".svg"}) {
            const fs::path path = fs::path(dir_) / (name + extension);
            const char* error =
                (std::string(extension) == ".png" ? charts.savePng : charts.saveSvg)(chart, path.string().c_str());
            if (error != nullptr) throw UserError(title, "Cannot write " + path.string() + ": " + error);
            written_.push_back(path);
        }
    }
    void keep() { done_ = true; }

private:
    std::string dir_;
    std::vector<fs::path> written_;
    bool done_ = false;
};

}  // namespace

void writeValuePlots(const std::string& dir, const std::string& stem, const analysis::FrequencyChart& frequency,
                     ChartControl& chart) {
    constexpr const char* kTitle = kFrequencyChartsTitle;
    checkPlotFolder(dir, kTitle);
    PlotWriter writer(dir);
    writer.text(stem + "-classes.csv", analysis::frequencyChartCsv(frequency), kTitle);
    const bool shown = chart.probabilityShown;
    chart.probabilityShown = false;
    writer.pictures(stem + "-frequency", chart, kTitle);
    ChartControl none("probability", ControlKind::Chart);
    if (chart.probabilityPoints.empty()) {
        // Not the frequency chart again under the other name.
        none.title = "No normal probability plot: the values do not vary";
        none.note = chart.note;
    }
    chart.probabilityShown = true;
    writer.pictures(stem + "-probability", chart.probabilityPoints.empty() ? none : chart, kTitle);
    chart.probabilityShown = shown;
    writer.keep();
}

void writePairPlots(const std::string& dir, const std::vector<PlotPair>& pairs) {
    checkPlotFolder(dir);
    PlotWriter writer(dir);
    for (const PlotPair& p : pairs) {
        const std::string stem = "pair-" + std::to_string(p.i) + "-" + std::to_string(p.j);
        writer.text(stem + ".csv", analysis::pairChartCsv(p.chart), kPlotTitle);
        ChartControl chart("pair", ControlKind::Chart);
        fillPairChart(chart, p.chart);
        writer.pictures(stem, chart, kPlotTitle);
    }
    writer.keep();
}

}  // namespace lumera::cli
