#include "shell/controls.h"

#include <gtest/gtest.h>

namespace lumera {
namespace {

TEST(GridControl, ResizeKeepsCellsInsideAndTheCurrentCellInRange) {
    GridControl grid("MSFlexGrid1", ControlKind::Grid);
    grid.setRows(4);
    grid.setCols(4);
    grid.row = 3;
    grid.col = 2;
    grid.setText(" .25");
    grid.setCellAlignment(Align::Center);
    grid.row = 1;
    grid.col = 1;
    grid.setText(" ----");
    grid.setColWidth(3, 500);

    grid.setRows(3);  // row 3 goes, row 1 stays
    grid.setCols(5);
    EXPECT_EQ(grid.rows(), 3);
    EXPECT_EQ(grid.cols(), 5);
    EXPECT_EQ(grid.textAt(1, 1), " ----");
    EXPECT_EQ(grid.textAt(2, 2), "");
    EXPECT_EQ(grid.colWidth(3), 500);

    grid.row = 2;
    grid.col = 4;
    grid.setText("x");
    grid.setRows(2);
    EXPECT_EQ(grid.row, 1);
    EXPECT_THROW(grid.textAt(2, 0), std::out_of_range);
    EXPECT_THROW(grid.setRows(0), std::out_of_range);
}

}  // namespace
}  // namespace lumera
