// What the figures' charts show and how they leave the window: every limit
// on the axis, a key whose labels are whole and inside its box at every
// window size, swatches drawn as their series are, the same text size in
// every file, and saving through the program's dialogs.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGraphicsItem>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QShortcut>
#include <QSvgRenderer>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "analysis/histogram.h"
#include "analysis/pair_test.h"
#include "app/commands.h"
#include "gui/chart_files.h"
#include "gui/chart_renderer.h"
#include "gui/form1_view.h"
#include "report/pair_chart.h"
#include "shell/program.h"
#include "sorting/normality_test.h"
#include "support/fake_services.h"
#include "support/qt_app.h"
#include "support/scripted_dialogs.h"
#include "support/treatment_files.h"

namespace lumera::gui {
namespace {

namespace fs = std::filesystem;

// Differences in two far clusters: the t interval, mean +/- 1.96 SE,
// reaches past the largest difference.
analysis::PairChart skewedPair() {
    using analysis::makeSample;
    const std::vector<analysis::TreatmentSample> ordered = {makeSample("Two groups", "a", {0.2, 0.3, 0.5, 0.6, 5, 5.1}),
                                                            makeSample("Narrow", "b", {0, 0.2})};
    const analysis::PairResult r = analysis::testPair(ordered, 0, 1);
    return analysis::pairChart(ordered[r.first], ordered[r.second], r,
                               analysis::twiceMeanDifference(ordered[r.first], ordered[r.second]));
}

void fillSkewedPairChart(ChartControl& model) { fillPairChart(model, skewedPair()); }

// A frequency chart (and its probability plot) of 40 values.
void fillValuesChart(ChartControl& model, bool probability) {
    std::vector<double> values;
    for (int i = 0; i < 40; ++i) values.push_back(10 + (i * 37) % 11 + (i % 3) * 0.25);
    fillFrequencyChart(values, "Test data", "values", model);
    model.probabilityShown = probability;
}

std::vector<QGraphicsItem*> allItems(QGraphicsItem* root) {
    std::vector<QGraphicsItem*> items;
    for (QGraphicsItem* child : root->childItems()) {
        items.push_back(child);
        const std::vector<QGraphicsItem*> below = allItems(child);
        items.insert(items.end(), below.begin(), below.end());
    }
    return items;
}

QGraphicsRectItem* keyBox(QChart* chart) {
    for (QGraphicsItem* item : allItems(chart))
        if (item->data(kLegendRole).toString() == "legend") return qgraphicsitem_cast<QGraphicsRectItem*>(item);
    return nullptr;
}

// The key's label and swatch of one series.
struct KeyEntry {
    QGraphicsSimpleTextItem* label = nullptr;
    QGraphicsItem* swatch = nullptr;
};

KeyEntry keyEntry(QChart* chart, const QString& name) {
    KeyEntry entry;
    for (QGraphicsItem* item : allItems(chart)) {
        if (item->data(kLegendRole).toString() != name) continue;
        if (auto* text = qgraphicsitem_cast<QGraphicsSimpleTextItem*>(item))
            entry.label = text;
        else
            entry.swatch = item;
    }
    return entry;
}

std::vector<QString> keyedNames(QChart* chart) {
    std::vector<QString> names;
    for (QAbstractSeries* series : chart->series())
        if (!series->name().isEmpty() && std::find(names.begin(), names.end(), series->name()) == names.end())
            names.push_back(series->name());
    return names;
}

// Every label whole (its lines are the series' name) and inside the key's
// box, the box inside the chart.
void expectKeyFits(QChart* chart, const std::string& where) {
    QGraphicsRectItem* box = keyBox(chart);
    ASSERT_NE(box, nullptr) << where;
    const QRectF boxRect = box->sceneBoundingRect();
    const QRectF chartRect = chart->sceneBoundingRect();
    EXPECT_TRUE(chartRect.contains(boxRect))
        << where << ": the key's box " << boxRect.x() << "," << boxRect.y() << " " << boxRect.width() << "x"
        << boxRect.height() << " leaves the chart " << chartRect.width() << "x" << chartRect.height();
    const std::vector<QString> names = keyedNames(chart);
    ASSERT_GE(names.size(), 2u) << where;
    for (const QString& name : names) {
        const KeyEntry entry = keyEntry(chart, name);
        ASSERT_NE(entry.label, nullptr) << where << ": no label for " << name.toStdString();
        EXPECT_EQ(entry.label->text().split('\n').join(' '), name) << where;
        const QRectF label = entry.label->sceneBoundingRect();
        EXPECT_TRUE(boxRect.contains(label)) << where << ": " << name.toStdString() << " at " << label.right()
                                             << " past the box's right " << boxRect.right();
        EXPECT_FALSE(chart->plotArea().intersects(label)) << where << ": " << name.toStdString() << " over the plot";
    }
}

TEST(ChartLook, TheAxisReachesBothTAndBothPercentileLimitsOfASkewedPair) {
    test::qtApp();
    const analysis::PairChart pair = skewedPair();
    // The case is the one that matters: a t limit beyond every difference.
    ASSERT_GT(pair.tUpper, pair.edges.back());
    ChartControl model("pair", ControlKind::Chart);
    fillPairChart(model, pair);
    for (ChartMedium medium : {ChartMedium::Screen, ChartMedium::File}) {
        std::unique_ptr<QChart> chart(buildChart(model, medium));
        auto* x = qobject_cast<QValueAxis*>(chart->axes(Qt::Horizontal).value(0));
        ASSERT_NE(x, nullptr);
        for (double limit : {pair.tLower, pair.tUpper, pair.percentileLower, pair.percentileUpper}) {
            EXPECT_LT(x->min(), limit);
            EXPECT_GT(x->max(), limit);
        }
        // The regions d <= 0 and d >= 2D go on past the outer bars to the axis's ends.
        double shadedMin = x->max(), shadedMax = x->min();
        for (QAbstractSeries* series : chart->series())
            if (auto* area = qobject_cast<QAreaSeries*>(series); area && area->name() != "Count")
                for (const QPointF& p : area->upperSeries()->points()) {
                    shadedMin = std::min(shadedMin, p.x());
                    shadedMax = std::max(shadedMax, p.x());
                }
        EXPECT_LE(shadedMin, x->min());
        EXPECT_GE(shadedMax, x->max());
    }
}

TEST(ChartLook, EverySwatchIsDrawnWithItsSeriesPenAndBrush) {
    test::qtApp();
    struct Case {
        const char* name;
        void (*fill)(ChartControl&);
    };
    const Case cases[] = {
        {"pair chart", fillSkewedPairChart},
        {"frequency chart", [](ChartControl& m) { fillValuesChart(m, false); }},
        {"probability plot", [](ChartControl& m) { fillValuesChart(m, true); }},
    };
    for (const Case& c : cases) {
        ChartControl model("chart", ControlKind::Chart);
        c.fill(model);
        std::unique_ptr<QChart> chart(buildChart(model));
        EXPECT_FALSE(chart->legend()->isVisible()) << c.name << ": one key only";
        for (QAbstractSeries* series : chart->series()) {
            if (series->name().isEmpty()) continue;
            const KeyEntry entry = keyEntry(chart.get(), series->name());
            ASSERT_NE(entry.swatch, nullptr) << c.name << ": " << series->name().toStdString();
            const std::string what = std::string(c.name) + ": " + series->name().toStdString();
            if (auto* area = qobject_cast<QAreaSeries*>(series)) {
                auto* rect = qgraphicsitem_cast<QGraphicsRectItem*>(entry.swatch);
                ASSERT_NE(rect, nullptr) << what;
                EXPECT_NE(area->brush().style(), Qt::NoBrush) << what << ": the region is filled";
                EXPECT_EQ(rect->brush(), area->brush()) << what;
            } else if (auto* scatter = qobject_cast<QScatterSeries*>(series)) {
                auto* dot = qgraphicsitem_cast<QGraphicsEllipseItem*>(entry.swatch);
                ASSERT_NE(dot, nullptr) << what;
                EXPECT_EQ(dot->brush(), scatter->brush()) << what;
                EXPECT_EQ(dot->pen(), scatter->pen()) << what;
            } else if (auto* line = qobject_cast<QLineSeries*>(series)) {
                auto* stroke = qgraphicsitem_cast<QGraphicsLineItem*>(entry.swatch);
                ASSERT_NE(stroke, nullptr) << what;
                EXPECT_EQ(stroke->pen(), line->pen()) << what;
            } else {
                ADD_FAILURE() << what << ": a series of an unexpected kind";
            }
        }
    }
}

// The window at its smallest, at the two screens of a classroom and an
// office, and the file's page: every figures chart's key is whole everywhere.
TEST(ChartLook, EveryKeyFitsAtEveryWindowSize) {
    test::qtApp();
    test::ScriptedDialogs dialogs;
    test::FakeClock clock;
    test::FakeRandom random;
    Program program(dialogs, clock, random, fs::temp_directory_path().string());
    installCommands(program);
    program.form1().Form_Load();
    Form1View view(program);
    view.show();
    struct Case {
        const char* name;
        const char* control;
        void (*fill)(ChartControl&);
    };
    const Case cases[] = {
        {"pair chart", "MSChart2", fillSkewedPairChart},
        {"frequency chart", "MSChart1", [](ChartControl& m) { fillValuesChart(m, false); }},
        {"probability plot", "MSChart1", [](ChartControl& m) { fillValuesChart(m, true); }},
    };
    for (const Case& c : cases) {
        ChartControl& model = static_cast<ChartControl&>(program.form1().control(c.control));
        c.fill(model);
        program.form1().MSChart1.visible = model.name == "MSChart1";
        program.form1().MSChart2.visible = model.name == "MSChart2";
        auto* chartView = qobject_cast<QChartView*>(view.widgetFor(c.control));
        ASSERT_NE(chartView, nullptr);
        for (QSize size : {view.minimumSize(), QSize(1366, 768 - 32), QSize(1920, 1080 - 32)}) {
            view.resize(size);
            view.syncAll();
            QGuiApplication::processEvents();
            const std::string where = std::string(c.name) + " at " + std::to_string(size.width()) + "x" +
                                      std::to_string(size.height()) + " (chart " + std::to_string(chartView->width()) +
                                      "x" + std::to_string(chartView->height()) + ")";
            expectKeyFits(chartView->chart(), where);
        }
        std::unique_ptr<QChart> page(buildChart(model, ChartMedium::File));
        page->setGeometry(0, 0, kChartFileSize.width(), kChartFileSize.height());
        QGuiApplication::processEvents();
        expectKeyFits(page.get(), std::string(c.name) + " in a file");
    }
}

// The box around the dark pixels of `region`.
QRect inkBox(const QImage& image, const QRect& region) {
    QRect box;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            if (qGray(image.pixel(x, y)) < 128) box = box.united(QRect(x, y, 1, 1));
    return box;
}

TEST(ChartLook, TheSvgsTextHasThePngsSizeAgainstTheDrawing) {
    test::qtApp();
    ChartControl model("pair", ControlKind::Chart);
    fillSkewedPairChart(model);
    const QSize size = kChartFileSize;
    const QImage png = chartImage(model, size).convertToFormat(QImage::Format_RGB32);
    QSvgRenderer svg(chartSvg(model, size));
    ASSERT_TRUE(svg.isValid());
    QImage drawn(png.size(), QImage::Format_RGB32);
    drawn.fill(Qt::white);
    {
        QPainter painter(&drawn);
        svg.render(&painter, QRectF(QPointF(0, 0), QSizeF(png.size())));
    }
    // The title's two lines stand alone over the plot; the figures' box's
    // text at the top right.
    const int w = png.width(), h = png.height();
    for (const QRect& region : {QRect(0, 0, w, h / 14), QRect(w * 3 / 4, h / 12, w / 4 - 4, h / 3)}) {
        const QRect a = inkBox(png, region), b = inkBox(drawn, region);
        ASSERT_FALSE(a.isEmpty());
        ASSERT_FALSE(b.isEmpty());
        EXPECT_NEAR(static_cast<double>(b.width()) / a.width(), 1.0, 0.04)
            << "ink " << a.width() << " px wide in the PNG, " << b.width() << " in the SVG";
        EXPECT_NEAR(static_cast<double>(b.height()) / a.height(), 1.0, 0.06)
            << "ink " << a.height() << " px high in the PNG, " << b.height() << " in the SVG";
    }
}

std::string head(const std::string& path, std::size_t n) { return test::readFile(path).substr(0, n); }

TEST(ChartLook, SavingAsksThroughTheDialogsAndTheEndingPicksTheFormat) {
    test::qtApp();
    test::TempFolder folder("chart_save");
    ChartControl model("MSChart1", ControlKind::Chart);
    fillValuesChart(model, false);
    model.saveName = folder.file("data-frequency");
    model.probabilitySaveName = folder.file("data-probability");
    test::ScriptedDialogs dialogs;

    // The name offered is the chart's, in its folder, the format's filter first.
    dialogs.expectSaveFile(kSaveChartTitle, folder.path().string() + "/data-frequency.svg", folder.file("a.svg"));
    EXPECT_EQ(saveChartAs(dialogs, model, ChartFormat::Svg, "/elsewhere"), folder.file("a.svg"));
    EXPECT_EQ(dialogs.lastKinds().front(), "SVG drawing (*.svg)");
    EXPECT_EQ(dialogs.lastKinds().size(), 3u);
    EXPECT_NE(test::readFile(folder.file("a.svg")).find("</svg>"), std::string::npos);

    // Another known ending wins over the format asked for; none gets the format's.
    dialogs.expectSaveFile(kSaveChartTitle, std::nullopt, folder.file("b.pdf"));
    saveChartAs(dialogs, model, ChartFormat::Png, {});
    EXPECT_EQ(head(folder.file("b.pdf"), 5), "%PDF-");
    dialogs.expectSaveFile(kSaveChartTitle, std::nullopt, folder.file("c"));
    EXPECT_EQ(saveChartAs(dialogs, model, ChartFormat::Png, {}), folder.file("c.png"));
    EXPECT_EQ(head(folder.file("c.png"), 4), "\x89PNG");

    // The probability plot is offered under its own name.
    model.probabilityShown = true;
    dialogs.expectSaveFile(kSaveChartTitle, folder.path().string() + "/data-probability.pdf", "");
    EXPECT_EQ(saveChartAs(dialogs, model, ChartFormat::Pdf, {}), "") << "cancelled: nothing written";

    // A name that cannot be written is a message, and no file.
    fs::create_directory(folder.file("taken.png"));
    dialogs.expectSaveFile(kSaveChartTitle, std::nullopt, folder.file("taken.png"));
    dialogs.expectMessage(kSaveChartTitle, std::nullopt, Answer::Ok, Buttons::Ok);
    EXPECT_EQ(saveChartAs(dialogs, model, ChartFormat::Png, {}), "");
    EXPECT_EQ(dialogs.lastText().rfind("Cannot write " + folder.file("taken.png") + ": ", 0), 0u) << dialogs.lastText();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator()), 4);

    copyChartToClipboard(model);
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(qvariant_cast<QImage>(copied->imageData()).size(), kChartFileSize * 2);
    EXPECT_TRUE(copied->data("image/svg+xml").contains("</svg>"));
}

// The window's menu and keys reach the chart in view, through the
// program's dialogs (scripted here, as in any headless run).
TEST(ChartLook, TheWindowsChartMenuAndKeysSaveTheChartInView) {
    test::qtApp();
    test::TempFolder folder("chart_menu");
    test::ScriptedDialogs dialogs;
    test::FakeClock clock;
    test::FakeRandom random;
    Program program(dialogs, clock, random, folder.path().string());
    installCommands(program);
    program.form1().Form_Load();
    Form1View view(program);
    view.show();
    ChartControl& frequency = program.form1().MSChart1;
    fillValuesChart(frequency, false);
    frequency.saveName = folder.file("values-frequency");
    frequency.visible = true;
    view.syncAll();

    QWidget* chartWidget = view.widgetFor("MSChart1");
    ASSERT_NE(chartWidget, nullptr);
    emit chartWidget->customContextMenuRequested(QPoint(20, 20));
    auto* menu = chartWidget->findChild<QMenu*>("chartMenu");
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* action : menu->actions())
        if (!action->isSeparator()) texts.push_back(action->text());
    EXPECT_EQ(texts, QStringList({"Save as PNG...", "Save as SVG...", "Save as PDF...", "Copy"}));
    dialogs.expectSaveFile(kSaveChartTitle, folder.path().string() + "/values-frequency.pdf", folder.file("m.pdf"));
    menu->actions()[2]->trigger();
    EXPECT_EQ(head(folder.file("m.pdf"), 5), "%PDF-");
    menu->close();

    // Ctrl+S: the pair chart in front of the frequency chart is the one saved.
    ChartControl& pair = program.form1().MSChart2;
    fillSkewedPairChart(pair);
    pair.saveName = program.resolve("pair-1-2");
    pair.visible = true;
    view.syncAll();
    QShortcut* save = nullptr;
    for (QShortcut* s : view.findChildren<QShortcut*>())
        if (s->key() == QKeySequence(QKeySequence::Save)) save = s;
    ASSERT_NE(save, nullptr);
    dialogs.expectSaveFile(kSaveChartTitle, folder.path().string() + "/pair-1-2.png", folder.file("pair-1-2.png"));
    emit save->activated();
    EXPECT_EQ(head(folder.file("pair-1-2.png"), 4), "\x89PNG");
    EXPECT_TRUE(dialogs.done());

    // No chart in view: no question.
    pair.visible = false;
    frequency.visible = false;
    view.syncAll();
    emit save->activated();
}

}  // namespace
}  // namespace lumera::gui
