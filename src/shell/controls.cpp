#include "shell/controls.h"

#include <algorithm>
#include <stdexcept>

namespace lumera {

std::size_t GridControl::index(int r, int c) const {
    if (r < 0 || r >= rows_ || c < 0 || c >= cols_) throw std::out_of_range("grid cell outside the grid");
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(cols_) + static_cast<std::size_t>(c);
}

void GridControl::setRows(int rows) { resize(rows, cols_); }
void GridControl::setCols(int cols) { resize(rows_, cols); }

// Cells that stay inside the new size keep their text, as a grid control does.
void GridControl::resize(int rows, int cols) {
    if (rows < 1 || cols < 1) throw std::out_of_range("a grid needs at least one row and column");
    std::vector<Cell> cells(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    for (int r = 0; r < std::min(rows, rows_); ++r)
        for (int c = 0; c < std::min(cols, cols_); ++c)
            cells[static_cast<std::size_t>(r) * cols + c] = std::move(cells_[index(r, c)]);
    cells_ = std::move(cells);
    colWidths_.resize(static_cast<std::size_t>(cols), colWidths_.empty() ? 960 : colWidths_.back());
    rows_ = rows;
    cols_ = cols;
    if (row >= rows_) row = rows_ - 1;
    if (col >= cols_) col = cols_ - 1;
}

void ChartControl::clearData() {
    title.clear();
    xTitle.clear();
    yTitle.clear();
    bars.clear();
    curve.clear();
    xTickAnchor = 0;
    xTickInterval = 0;
    marks.clear();
    shaded.clear();
    shadedLabel.clear();
    note.clear();
    lines.clear();
    rightYTitle.clear();
    probabilityPoints.clear();
    probabilityLine.clear();
    probabilityShown = false;
    points.clear();
    saveName.clear();
    probabilitySaveName.clear();
}

}  // namespace lumera
