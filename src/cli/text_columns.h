#pragma once
#include <string>
#include <vector>

namespace lumera::cli {

// Rows as columns padded to their widest cell, two spaces apart, each line
// after `indent` and without trailing spaces; with numbersRight every column
// but the first is aligned to the right.
std::string textColumns(const std::vector<std::vector<std::string>>& rows, const std::string& indent,
                        bool numbersRight);

}  // namespace lumera::cli
