// The entry point of lumera-charts.so: the one symbol the module exports.
#include "shell/chart_module.h"

#include <QString>
#include <optional>
#include <string>

#include "gui/chart_renderer.h"

namespace lumera::gui {
namespace {

std::string lastError;

template <auto save>
const char* saveFile(const ChartControl& model, const char* path) {
    ensureChartApplication();
    const std::optional<std::string> error = save(model, QString::fromUtf8(path), kChartFileSize);
    if (!error) return nullptr;
    lastError = *error;
    return lastError.c_str();
}

const char* savePng(const ChartControl& model, const char* path) { return saveFile<saveChartPng>(model, path); }
const char* saveSvg(const ChartControl& model, const char* path) { return saveFile<saveChartSvg>(model, path); }
const char* savePdf(const ChartControl& model, const char* path) { return saveFile<saveChartPdf>(model, path); }

constexpr ChartModule kModule{kChartModuleVersion, savePng, saveSvg, savePdf};

}  // namespace
}  // namespace lumera::gui

extern "C" __attribute__((visibility("default"))) const lumera::ChartModule* lumera_chart_module() {
    return &lumera::gui::kModule;
}
