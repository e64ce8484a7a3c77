#include "cli/chart_loader.h"

#include <dlfcn.h>

#include <filesystem>

#include "textio/user_error.h"

#ifndef LUMERA_CHART_MODULE_DIR
#define LUMERA_CHART_MODULE_DIR "."
#endif

namespace lumera::cli {

namespace {

constexpr const char* kPlotTitle = "Pair charts";

}  // namespace

std::string chartModulePath(const std::string& exe) {
    namespace fs = std::filesystem;
    return (fs::path(exe).parent_path() / LUMERA_CHART_MODULE_DIR / kChartModuleFile).lexically_normal().string();
}

const ChartModule& chartModule() {
#if !LUMERA_HAVE_CHART_MODULE
    throw UserError(kPlotTitle,
                    "This build of lumera-cli has no chart module (it was built without the window), so "
                    "it cannot write --plot or --figure files.");
#else
    static const ChartModule* module = nullptr;
    if (module != nullptr) return *module;
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) throw UserError(kPlotTitle, "Cannot find the chart module: where is the program? " + ec.message());
    const std::string path = chartModulePath(exe.string());
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw UserError(kPlotTitle, std::string("Cannot load the chart module: ") + dlerror());
    auto entry = reinterpret_cast<ChartModuleEntry>(dlsym(handle, kChartModuleEntry));
    const ChartModule* found = entry != nullptr ? entry() : nullptr;
    if (found == nullptr || found->version != kChartModuleVersion) {
        dlclose(handle);
        throw UserError(kPlotTitle, "The chart module " + path + " does not belong to this lumera-cli.");
    }
    module = found;
    return *module;
#endif
}

}  // namespace lumera::cli
