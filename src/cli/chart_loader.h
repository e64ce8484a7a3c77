#pragma once
#include <string>

#include "shell/chart_module.h"

namespace lumera::cli {

// Where the chart module is looked for beside the program at `exe`: the
// same folder layout in the build tree, `cmake --install` and the package.
std::string chartModulePath(const std::string& exe);

// The chart module, opened on first use; throws UserError when this build
// has none or it cannot be opened.
const ChartModule& chartModule();

}  // namespace lumera::cli
