// The line charts of the life-table figures as the renderer builds them:
// one series per line, a second axis on the grid of the first, one legend
// entry per name.
#include <gtest/gtest.h>

#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <memory>

#include "gui/chart_renderer.h"
#include "support/qt_app.h"

namespace lumera::gui {
namespace {

QValueAxis* axisAt(QChart* chart, Qt::Alignment side) {
    for (QAbstractAxis* axis : chart->axes(Qt::Vertical))
        if (axis->alignment() == side) return qobject_cast<QValueAxis*>(axis);
    return nullptr;
}

TEST(LineChart, SeriesAxesAndLegend) {
    test::qtApp();
    ChartControl model("lines", ControlKind::Chart);
    model.xTitle = "Age (days)";
    model.yTitle = "Share";
    model.rightYTitle = "Eggs";
    model.lines = {{"l_x", {{0, 1}, {1, 0.8}, {2, 0.5}}, 7},
                   {"stage", {{0, 0.2}, {1, 0.3}}, 1},
                   {"stage", {{3, 0.1}}, 1},  // the same curve after a gap
                   {"eggs", {{1, 3}, {2, 6.2}}, 6, LineStyle::Dashed, true}};
    std::unique_ptr<QChart> chart(buildChart(model));
    ASSERT_EQ(chart->series().size(), 4);
    QValueAxis* left = axisAt(chart.get(), Qt::AlignLeft);
    QValueAxis* right = axisAt(chart.get(), Qt::AlignRight);
    ASSERT_TRUE(left && right);
    // A share runs 0 to 1 in steps of 0.2; the eggs' axis takes as many steps.
    EXPECT_EQ(left->min(), 0);
    EXPECT_DOUBLE_EQ(left->max(), 1);
    EXPECT_EQ(left->tickCount(), 6);
    EXPECT_EQ(right->tickCount(), 6);
    EXPECT_DOUBLE_EQ(right->max(), 10);  // 6.2 in 5 steps of 2
    EXPECT_EQ(right->titleText(), "Eggs");
    EXPECT_TRUE(chart->series()[3]->attachedAxes().contains(right));
    EXPECT_TRUE(chart->series()[0]->attachedAxes().contains(left));
    auto* dashed = qobject_cast<QLineSeries*>(chart->series()[3]);
    ASSERT_TRUE(dashed);
    EXPECT_EQ(dashed->pen().style(), Qt::DashLine);
    // The two pieces share a name (so one legend entry) and a colour.
    auto* first = qobject_cast<QLineSeries*>(chart->series()[1]);
    auto* second = qobject_cast<QLineSeries*>(chart->series()[2]);
    EXPECT_EQ(first->pen().color(), second->pen().color());
    EXPECT_EQ(first->name(), "stage");
    EXPECT_EQ(second->name(), "stage");

    // The window redraws when any point moves.
    const std::size_t before = chartSignature(model);
    model.lines[2].points[0].second = 0.15;
    EXPECT_NE(chartSignature(model), before);
}

TEST(LineChart, WithoutRightLinesOneAxisAndARoundTop) {
    test::qtApp();
    ChartControl model("lines", ControlKind::Chart);
    model.lines = {{"e", {{0, 10}, {5, 33}}, 0}};
    std::unique_ptr<QChart> chart(buildChart(model));
    EXPECT_EQ(axisAt(chart.get(), Qt::AlignRight), nullptr);
    QValueAxis* left = axisAt(chart.get(), Qt::AlignLeft);
    ASSERT_TRUE(left);
    EXPECT_DOUBLE_EQ(left->max(), 40);  // steps of 10 (a sixth of 33, rounded up to 1, 2, 5 x 10^k)
}

}  // namespace
}  // namespace lumera::gui
