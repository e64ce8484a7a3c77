#include "cli/text_columns.h"

#include <algorithm>

namespace lumera::cli {

std::string textColumns(const std::vector<std::vector<std::string>>& rows, const std::string& indent,
                        bool numbersRight) {
    std::vector<std::size_t> width;
    for (const auto& row : rows)
        for (std::size_t col = 0; col < row.size(); ++col) {
            if (width.size() <= col) width.push_back(0);
            width[col] = std::max(width[col], row[col].size());
        }
    std::string out;
    for (const auto& row : rows) {
        std::string line = indent;
        for (std::size_t col = 0; col < row.size(); ++col) {
            const std::string pad(width[col] - row[col].size(), ' ');
            if (col > 0) line += "  ";
            line += numbersRight && col > 0 ? pad + row[col] : row[col] + pad;
        }
        out += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
    }
    return out;
}

}  // namespace lumera::cli
