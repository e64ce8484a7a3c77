#include "gui/form1_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app/commands.h"
#include "gui/pictures.h"
#include "gui/vater_view.h"
#include "shell/program.h"
#include "support/fake_services.h"
#include "support/qt_app.h"
#include "support/scripted_dialogs.h"

namespace lumera::gui {
namespace {

class Form1ViewTest : public ::testing::Test {
protected:
    Form1ViewTest() : program(dialogs, clock, random, std::filesystem::temp_directory_path().string()) {
        test::qtApp();
        installCommands(program);
        program.form1().Form_Load();
        view = std::make_unique<Form1View>(program);
    }

    template <typename W>
    W* widget(const char* name) {
        auto* w = qobject_cast<W*>(view->widgetFor(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    test::ScriptedDialogs dialogs;
    test::FakeClock clock;
    test::FakeRandom random;
    Program program;
    std::unique_ptr<Form1View> view;
};

TEST_F(Form1ViewTest, WidgetsFollowTheModelThroughUnlockAndQuit) {
    view->show();
    EXPECT_EQ(widget<QLabel>("Label12")->text(),
              "Lumera\nCartesian Paired Test Only\n(B =3000, CPT =9000000, 3 treatments)");
    EXPECT_TRUE(widget<QPushButton>("cmdCartesianDifference")->isEnabled());
    EXPECT_FALSE(widget<QPushButton>("cmdGeneralNormalTest")->isEnabled());
    EXPECT_FALSE(widget<QPushButton>("Command1")->isEnabled());
    EXPECT_EQ(widget<QPushButton>("cmdGeneralNormalTest")->text(), "N. Sort, norm.  ");
    EXPECT_TRUE(view->widgetFor("Image1")->isVisible());
    EXPECT_FALSE(view->widgetFor("Label14")->isVisible());

    view->clickControl("Image1");
    EXPECT_FALSE(view->widgetFor("Image1")->isVisible());
    EXPECT_TRUE(view->widgetFor("Label14")->isVisible());

    view->clickControl("Label6");
    EXPECT_TRUE(widget<QPushButton>("cmdGeneralNormalTest")->isEnabled());
    QPushButton* quit = widget<QPushButton>("Command1");
    ASSERT_TRUE(quit->isEnabled());

    random.queue(0.9);
    quit->click();
    EXPECT_FALSE(view->isVisible());
    ASSERT_NE(view->vaterView(), nullptr);
    EXPECT_TRUE(view->vaterView()->isVisible());
    EXPECT_EQ(view->vaterView()->windowTitle(), "Dedication");
    EXPECT_EQ(view->vaterView()->quotation().toStdString(), program.vater().Command1.caption);
    view->vaterView()->button()->click();
    EXPECT_TRUE(program.ended());
}

TEST_F(Form1ViewTest, RefreshRepaintsWhileAProcedureRuns) {
    view->show();
    Control& busy = program.form1().Label2;
    busy.caption = "I am running Cartesian paired test.";
    busy.visible = true;
    busy.Refresh();  // no return to the event loop in between
    auto* label = widget<QLabel>("Label2");
    EXPECT_EQ(label->text(), "I am running Cartesian paired test.");
    EXPECT_TRUE(label->isVisible());
}

TEST_F(Form1ViewTest, ChartShowsTheModelsBarsAndCurve) {
    view->show();
    ChartControl& chart = program.form1().MSChart1;
    chart.visible = true;
    chart.title = "Frequency distribution";
    chart.xTitle = "Value";
    chart.yTitle = "Count";
    for (int x = 10; x <= 20; ++x) chart.bars.push_back({x - 0.5, x + 0.5, 50 * std::exp(-(x - 15) * (x - 15) / 8.0)});
    for (int i = 0; i <= 100; ++i) {
        double x = 9.5 + i * 0.11;
        chart.curve.emplace_back(x, 50 * std::exp(-(x - 15) * (x - 15) / 8.0));
    }
    view->syncAll();
    auto* chartView = qobject_cast<QChartView*>(view->widgetFor("MSChart1"));
    ASSERT_NE(chartView, nullptr);
    EXPECT_TRUE(chartView->isVisible());
    EXPECT_EQ(chartView->chart()->title(), "Frequency distribution");
    EXPECT_EQ(chartView->chart()->series().size(), 2);
    QChart* built = chartView->chart();
    view->syncAll();  // same data: the chart is kept, not rebuilt
    EXPECT_EQ(chartView->chart(), built);
    // New data: the old chart goes with every series it drew.
    auto* area = qobject_cast<QAreaSeries*>(built->series().front());
    ASSERT_NE(area, nullptr);
    QPointer<QLineSeries> outline = area->upperSeries();
    chart.bars.back().count += 1;
    view->syncAll();
    EXPECT_NE(chartView->chart(), built);
    EXPECT_TRUE(outline.isNull());
    if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR")) view->grab().save(QString(dir) + "/chart.png");
}

TEST_F(Form1ViewTest, ChartDrawsEachBarOverItsOwnEdgesAndCountsToARoundTickJustAbove) {
    view->show();
    ChartControl& chart = program.form1().MSChart1;
    chart.visible = true;
    chart.title = "x: N = 10";
    // Uneven widths and a gap: nothing may be guessed from the spacing.
    chart.bars = {{10, 10.5, 2}, {10.5, 12, 101}, {14, 15, 7}};
    chart.curve = {{10, 1}, {12, 90}, {15, 2}};
    view->syncAll();
    auto* chartView = qobject_cast<QChartView*>(view->widgetFor("MSChart1"));
    ASSERT_NE(chartView, nullptr);
    auto* area = qobject_cast<QAreaSeries*>(chartView->chart()->series().front());
    ASSERT_NE(area, nullptr);
    const QList<QPointF> outline = area->upperSeries()->points();
    ASSERT_EQ(outline.size(), 12);
    for (qsizetype i = 0; i < 3; ++i) {
        const ChartBar& b = chart.bars[static_cast<std::size_t>(i)];
        EXPECT_EQ(outline[4 * i], QPointF(b.lower, 0)) << i;
        EXPECT_EQ(outline[4 * i + 1], QPointF(b.lower, b.count)) << i;
        EXPECT_EQ(outline[4 * i + 2], QPointF(b.upper, b.count)) << i;
        EXPECT_EQ(outline[4 * i + 3], QPointF(b.upper, 0)) << i;
    }
    auto* x = qobject_cast<QValueAxis*>(chartView->chart()->axes(Qt::Horizontal).value(0));
    auto* y = qobject_cast<QValueAxis*>(chartView->chart()->axes(Qt::Vertical).value(0));
    ASSERT_NE(x, nullptr);
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(x->min(), 10);
    EXPECT_EQ(x->max(), 15);
    // No ticks from the model: round ones, 1 apart over 10..15.
    EXPECT_EQ(x->tickType(), QValueAxis::TicksDynamic);
    EXPECT_EQ(x->tickAnchor(), 10);
    EXPECT_EQ(x->tickInterval(), 1);
    // 101 at most: steps of 20 up to 120, not a further step beyond.
    EXPECT_EQ(y->min(), 0);
    EXPECT_EQ(y->max(), 120);
    EXPECT_EQ(y->tickCount(), 7);

    // A bar per value: ticks anchored on the bars' centres.
    chart.bars = {{0.5, 1.5, 3}, {1.5, 2.5, 5}, {2.5, 3.5, 4}};
    chart.curve.clear();
    chart.xTickAnchor = 1;
    chart.xTickInterval = 1;
    view->syncAll();
    x = qobject_cast<QValueAxis*>(chartView->chart()->axes(Qt::Horizontal).value(0));
    y = qobject_cast<QValueAxis*>(chartView->chart()->axes(Qt::Vertical).value(0));
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->tickType(), QValueAxis::TicksDynamic);
    EXPECT_EQ(x->tickAnchor(), 1);
    EXPECT_EQ(x->tickInterval(), 1);
    EXPECT_EQ(y->max(), 6);
}

// Text size on the device, the pixels a user's eyes get.
double devicePixels(const QWidget* w) {
    const QFont f = w->font();
    const double logical = f.pixelSize() > 0 ? f.pixelSize() : f.pointSizeF() * w->logicalDpiY() / 72.0;
    return logical * w->devicePixelRatioF();
}

QRect rectIn(const QWidget* w, const QWidget* ancestor) { return QRect(w->mapTo(ancestor, QPoint(0, 0)), w->size()); }

TEST_F(Form1ViewTest, ScaledLayoutKeepsEveryControlReachableAndReadable) {
    view->show();
    const Form1& form = program.form1();
    ASSERT_LE(view->minimumSize().width(), 1024);
    ASSERT_LE(view->minimumSize().height(), 700);
    // The smallest text, 9 points, at 9 device pixels: three quarters of the design.
    EXPECT_NEAR(view->minimumScale(), 0.75 / view->devicePixelRatioF(), 1e-9);
    for (QSize size : {view->minimumSize(), QSize(1024, 700), QSize(1280, 688), QSize(1366, 736), QSize(1400, 912)}) {
        view->resize(size);
        QApplication::processEvents();
        SCOPED_TRACE(testing::Message() << size.width() << " x " << size.height());
        ASSERT_EQ(view->size(), size);
        QScrollArea* scroll = view->scrollArea();
        QWidget* canvas = view->canvas();
        EXPECT_GE(view->scale(), view->minimumScale());
        // Where the design fits at readable text, it fits whole: no scrolling.
        const bool fits = view->scale() > view->minimumScale();
        if (fits) {
            EXPECT_LE(canvas->width(), scroll->viewport()->width());
            EXPECT_LE(canvas->height(), scroll->viewport()->height());
        }
        EXPECT_GE(scroll->horizontalScrollBar()->maximum() + scroll->viewport()->width(), canvas->width());
        EXPECT_GE(scroll->verticalScrollBar()->maximum() + scroll->viewport()->height(), canvas->height());

        for (const auto& owned : form.controls()) {
            const Control& c = *owned;
            if (c.kind == ControlKind::Window) continue;
            QWidget* w = view->widgetFor(c.name);
            ASSERT_NE(w, nullptr) << c.name;
            EXPECT_GE(devicePixels(w), 9 - 1e-9) << c.name;
            EXPECT_NEAR(w->font().pointSizeF() * w->logicalDpiY() / 96, c.fontSize * view->scale(), 1e-6) << c.name;
            if (!w->isVisible()) continue;
            // Inside its frame and the drawn window, and scrolled into view on demand.
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry())) << c.name;
            EXPECT_TRUE(canvas->rect().contains(rectIn(w, canvas))) << c.name;
            const QRect at = rectIn(w, canvas);
            scroll->horizontalScrollBar()->setValue(at.left());
            scroll->verticalScrollBar()->setValue(at.top());
            EXPECT_TRUE(scroll->viewport()->rect().contains(rectIn(w, scroll->viewport()))) << c.name;
        }
        // Controls apart in the model stay apart on the screen, at every scale.
        for (const auto& a : form.controls())
            for (const auto& b : form.controls()) {
                if (a == b || a->kind == ControlKind::Window || b->kind == ControlKind::Window) continue;
                QWidget* wa = view->widgetFor(a->name);
                QWidget* wb = view->widgetFor(b->name);
                const QRect ma(a->left, a->top, a->width, a->height), mb(b->left, b->top, b->width, b->height);
                if (a->parent != b->parent || wa->parentWidget() != wb->parentWidget() || ma.intersects(mb)) continue;
                EXPECT_FALSE(wa->geometry().intersects(wb->geometry())) << a->name << " and " << b->name;
            }
    }
    // The design size draws the design.
    EXPECT_DOUBLE_EQ(view->scale(), 1.0);
    EXPECT_EQ(view->widgetFor("Frame3")->geometry(), QRect(288, 128, 812, 628));
    if (const char* dir = std::getenv("LUMERA_SCREENSHOT_DIR")) {
        view->resize(view->minimumSize());
        view->grab().save(QString(dir) + "/minimum.png");
    }
}

TEST_F(Form1ViewTest, PicturesAreDrawnAtTheScreensPixelDensity) {
    const QPixmap sharp = drawPicture("cover", QSize(120, 80), 2);
    EXPECT_EQ(sharp.size(), QSize(240, 160));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(120, 80));
    const QPixmap plain = drawPicture("cover", QSize(120, 80));
    EXPECT_EQ(plain.size(), QSize(120, 80));
    // The drawing fills the picture at either density: its corners are painted.
    EXPECT_NE(sharp.toImage().pixelColor(239, 159).alpha(), 0);
    EXPECT_NE(plain.toImage().pixelColor(119, 79).alpha(), 0);
}

}  // namespace
}  // namespace lumera::gui
