#include "gui/chart_files.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMimeData>
#include <cctype>
#include <filesystem>
#include <optional>
#include <vector>

#include "gui/chart_renderer.h"

namespace lumera::gui {

namespace {

namespace fs = std::filesystem;

struct FormatInfo {
    ChartFormat format;
    const char* ending;
    const char* filter;
};

constexpr FormatInfo kFormats[] = {{ChartFormat::Png, ".png", "PNG picture (*.png)"},
                                   {ChartFormat::Svg, ".svg", "SVG drawing (*.svg)"},
                                   {ChartFormat::Pdf, ".pdf", "PDF document (*.pdf)"}};

const FormatInfo& infoOf(ChartFormat format) {
    for (const FormatInfo& f : kFormats)
        if (f.format == format) return f;
    return kFormats[0];
}

std::optional<ChartFormat> formatOfPath(const std::string& path) {
    std::string ending = fs::path(path).extension().string();
    for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const FormatInfo& f : kFormats)
        if (ending == f.ending) return f.format;
    return std::nullopt;
}

}  // namespace

bool chartHasContent(const ChartControl& model) {
    return !model.bars.empty() || !model.curve.empty() || !model.lines.empty() || !model.points.empty() ||
           (model.probabilityShown && !model.probabilityPoints.empty());
}

std::string proposedChartName(const ChartControl& model, ChartFormat format) {
    const std::string& stem = model.probabilityShown ? model.probabilitySaveName : model.saveName;
    return (stem.empty() ? std::string("chart") : stem) + infoOf(format).ending;
}

std::string saveChartAs(Dialogs& dialogs, const ChartControl& model, ChartFormat format, const std::string& folder) {
    const fs::path proposed(proposedChartName(model, format));
    const std::string start = proposed.has_parent_path() ? proposed.parent_path().string() : folder;
    std::vector<std::string> kinds = {infoOf(format).filter};
    for (const FormatInfo& f : kFormats)
        if (f.format != format) kinds.push_back(f.filter);
    std::string path = dialogs.saveFile(kSaveChartTitle, start, proposed.filename().string(), kinds);
    if (path.empty()) return {};
    // A name of no known kind gets the kind asked for.
    const std::optional<ChartFormat> chosen = formatOfPath(path);
    if (!chosen) path += infoOf(format).ending;
    const QString target = QString::fromStdString(path);
    std::optional<std::string> error;
    switch (chosen.value_or(format)) {
        case ChartFormat::Png:
            error = saveChartPng(model, target);
            break;
        case ChartFormat::Svg:
            error = saveChartSvg(model, target);
            break;
        case ChartFormat::Pdf:
            error = saveChartPdf(model, target);
            break;
    }
    if (error) {
        dialogs.message(kSaveChartTitle, "Cannot write " + path + ": " + *error, Buttons::Ok);
        return {};
    }
    return path;
}

void copyChartToClipboard(const ChartControl& model) {
    auto* data = new QMimeData;
    data->setImageData(chartImage(model));
    data->setData(QStringLiteral("image/svg+xml"), chartSvg(model));
    QGuiApplication::clipboard()->setMimeData(data);
}

void attachChartMenu(QWidget* chartWidget, ChartMenuTarget target) {
    chartWidget->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(
        chartWidget, &QWidget::customContextMenuRequested, chartWidget, [chartWidget, target](const QPoint& at) {
            const ChartControl* chart = target.chart();
            if (chart == nullptr || !chartHasContent(*chart)) return;
            auto* menu = new QMenu(chartWidget);
            menu->setObjectName(QStringLiteral("chartMenu"));
            menu->setAttribute(Qt::WA_DeleteOnClose);
            auto save = [target](ChartFormat format) {
                if (const ChartControl* shown = target.chart())
                    saveChartAs(target.dialogs(), *shown, format, target.folder());
                if (target.after) target.after();
            };
            QAction* png = menu->addAction(QStringLiteral("Save as PNG..."), menu, [save] { save(ChartFormat::Png); });
            png->setShortcut(QKeySequence::Save);
            menu->addAction(QStringLiteral("Save as SVG..."), menu, [save] { save(ChartFormat::Svg); });
            menu->addAction(QStringLiteral("Save as PDF..."), menu, [save] { save(ChartFormat::Pdf); });
            menu->addSeparator();
            QAction* copy = menu->addAction(QStringLiteral("Copy"), menu, [target] {
                if (const ChartControl* shown = target.chart()) copyChartToClipboard(*shown);
            });
            copy->setShortcut(QKeySequence::Copy);
            menu->popup(chartWidget->mapToGlobal(at));
        });
}

}  // namespace lumera::gui
