#include "gui/chart_renderer.h"

#include <QApplication>
#include <QBrush>
#include <QBuffer>
#include <QFont>
#include <QFontMetricsF>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPen>
#include <QSvgGenerator>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <set>

#include "textio/text_file.h"
#include "textio/user_error.h"

namespace lumera::gui {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

const QColor kBarFill(120, 170, 220);
const QColor kBarEdge(40, 80, 140);
const QColor kCurve(200, 40, 40);
const QColor kShade(150, 150, 150, 45);
const QColor kTLimit(190, 100, 0);
const QColor kPercentileLimit(30, 30, 30);

// The smallest of 1, 2, 5 times a power of ten at least `wanted`.
double roundStep(double wanted) {
    const double decade = std::pow(10.0, std::floor(std::log10(wanted)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * decade >= wanted) return m * decade;
    return 10 * decade;
}

// Counts read best on round ticks (0, 20, 40, ...); the axis ends at the
// first such tick above the tallest bar, not a whole step further.
double setCountRange(QValueAxis* axis, double top) {
    if (!(top > 0) || !std::isfinite(top)) {
        axis->setRange(0, 1);
        return 1;
    }
    const double step = roundStep(top / 6);
    // A sliver above the tallest bar, so that its top stays visible.
    const double intervals = std::ceil(top * 1.02 / step);
    axis->setRange(0, intervals * step);
    axis->setTickCount(static_cast<int>(intervals) + 1);
    return intervals * step;
}

// Labels at round values, whatever the range's ends.
void setRoundTicks(QValueAxis* axis, double from, double to) {
    axis->setRange(from, to > from ? to : from + 1);
    axis->setLabelFormat("%g");
    axis->setTickType(QValueAxis::TicksDynamic);
    if (to > from) {
        const double step = roundStep((to - from) / 8);
        axis->setTickAnchor(std::ceil(from / step) * step);
        axis->setTickInterval(step);
    }
}

QLineSeries* lineSeries(const std::vector<std::pair<double, double>>& points, const QString& name, const QPen& pen) {
    auto* series = new QLineSeries;
    series->setName(name);
    for (auto [x, y] : points) series->append(x, y);
    series->setPen(pen);
    return series;
}

void attachAll(QChart* chart, QValueAxis* x, QValueAxis* y) {
    if (x != nullptr) chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        if (x != nullptr) series->attachAxis(x);
        series->attachAxis(y);
    }
}

// A legend entry per name: the second limit line of a kind is not listed again.
void oneLegendEntryPerName(QChart* chart) {
    std::set<QString> seen;
    for (QLegendMarker* marker : chart->legend()->markers())
        if (!seen.insert(marker->label()).second || marker->label().isEmpty()) marker->setVisible(false);
}

constexpr double kPad = 6, kGap = 10, kSwatchWidth = 28, kSwatchGap = 6;
// A label wider than this many average characters breaks at its spaces,
// so that the plot keeps its room.
constexpr double kLegendTextChars = 16;

// The swatch of a series, drawn with that series' own pen and brush.
QGraphicsItem* swatchFor(QAbstractSeries* series, QGraphicsItem* parent, double lineHeight) {
    const double mid = lineHeight / 2;
    QGraphicsItem* swatch = nullptr;
    if (auto* area = qobject_cast<QAreaSeries*>(series)) {
        auto* rect = new QGraphicsRectItem(0, mid - 6, kSwatchWidth, 12, parent);
        rect->setBrush(area->brush());
        // A region drawn without a border still shows its extent in the key.
        QPen pen = area->pen();
        if (pen.color().alpha() == 0 || pen.style() == Qt::NoPen) pen = QPen(QColor(150, 150, 150), 1);
        rect->setPen(pen);
        swatch = rect;
    } else if (auto* scatter = qobject_cast<QScatterSeries*>(series)) {
        const double size = scatter->markerSize();
        auto* dot = new QGraphicsEllipseItem(kSwatchWidth / 2 - size / 2, mid - size / 2, size, size, parent);
        dot->setBrush(scatter->brush());
        dot->setPen(scatter->pen());
        swatch = dot;
    } else if (auto* line = qobject_cast<QLineSeries*>(series)) {
        auto* stroke = new QGraphicsLineItem(0, mid, kSwatchWidth, mid, parent);
        stroke->setPen(line->pen());
        swatch = stroke;
    }
    if (swatch != nullptr) swatch->setData(kLegendRole, series->name());
    return swatch;
}

// `text` broken at spaces into lines no wider than `width` (a word wider
// than that stands alone on its line, whole).
QStringList wrapped(const QString& text, const QFontMetricsF& metrics, double width) {
    QStringList lines;
    QString line;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = longer;
        }
    }
    if (!line.isEmpty()) lines.push_back(line);
    return lines;
}

// Beside the plot, at its top: the figures box, then the key of the series
// with a swatch each. Both sit in a column of their own, so that they never
// hide a bar and no label is cut short however small the chart; they stay
// there as the plot area moves.
void addSidePanel(QChart* chart, const std::string& note, bool withKey) {
    std::vector<QAbstractSeries*> keyed;
    std::set<QString> seen;
    if (withKey)
        for (QAbstractSeries* series : chart->series())
            if (!series->name().isEmpty() && seen.insert(series->name()).second) keyed.push_back(series);
    if (note.empty() && keyed.empty()) return;
    const QFont font = chart->font();
    const QFontMetricsF metrics(font);

    QGraphicsRectItem* noteBox = nullptr;
    double width = 0;
    if (!note.empty()) {
        noteBox = new QGraphicsRectItem(chart);
        noteBox->setBrush(QColor(250, 250, 250));
        noteBox->setPen(QPen(QColor(150, 150, 150)));
        auto* text = new QGraphicsSimpleTextItem(q(note), noteBox);
        text->setFont(font);
        text->setPos(kPad, kPad);
        const QRectF textRect = text->boundingRect();
        noteBox->setRect(0, 0, textRect.width() + 2 * kPad, textRect.height() + 2 * kPad);
        width = noteBox->rect().width();
    }

    QGraphicsRectItem* key = nullptr;
    if (!keyed.empty()) {
        key = new QGraphicsRectItem(chart);
        key->setData(kLegendRole, QStringLiteral("legend"));
        key->setBrush(Qt::white);
        key->setPen(QPen(QColor(150, 150, 150)));
        double widest = 0;
        for (QAbstractSeries* series : keyed)
            for (const QString& word : series->name().split(QLatin1Char(' ')))
                widest = std::max(widest, metrics.horizontalAdvance(word));
        const double textWidth = std::max(widest, std::min(kLegendTextChars * metrics.averageCharWidth(), [&] {
                                              double w = 0;
                                              for (QAbstractSeries* s : keyed)
                                                  w = std::max(w, metrics.horizontalAdvance(s->name()));
                                              return w;
                                          }()));
        double y = kPad, keyWidth = 0;
        for (QAbstractSeries* series : keyed) {
            const QStringList lines = wrapped(series->name(), metrics, textWidth);
            QGraphicsItem* swatch = swatchFor(series, key, metrics.height());
            if (swatch != nullptr) swatch->moveBy(kPad, y);
            auto* label = new QGraphicsSimpleTextItem(lines.join(QLatin1Char('\n')), key);
            label->setFont(font);
            label->setData(kLegendRole, series->name());
            label->setPos(kPad + kSwatchWidth + kSwatchGap, y);
            keyWidth = std::max(keyWidth, label->boundingRect().width());
            y += label->boundingRect().height() + kPad / 2;
        }
        key->setRect(0, 0, 2 * kPad + kSwatchWidth + kSwatchGap + keyWidth, y + kPad / 2);
        width = std::max(width, key->rect().width());
    }
    // One column: the two boxes take its width.
    if (noteBox != nullptr) noteBox->setRect(0, 0, width, noteBox->rect().height());
    if (key != nullptr) key->setRect(0, 0, width, key->rect().height());

    QMargins margins = chart->margins();
    margins.setRight(margins.right() + static_cast<int>(std::ceil(width + kGap)));
    chart->setMargins(margins);
    auto place = [noteBox, key](const QRectF& plot) {
        double top = plot.top();
        if (noteBox != nullptr) {
            noteBox->setPos(plot.right() + kGap, top);
            top += noteBox->rect().height() + kGap;
        }
        if (key != nullptr) key->setPos(plot.right() + kGap, top);
    };
    QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
    place(chart->plotArea());
}

void buildHistogram(QChart* chart, const ChartControl& model) {
    double yMax = 0, xMin = 0, xMax = 0;
    bool first = true;
    auto widen = [&](double x) {
        xMin = first ? x : std::min(xMin, x);
        xMax = first ? x : std::max(xMax, x);
        first = false;
    };
    // Each bar a filled outline over exactly its own [lower, upper].
    auto* outline = new QLineSeries;
    for (const ChartBar& b : model.bars) {
        outline->append(b.lower, 0);
        outline->append(b.lower, b.count);
        outline->append(b.upper, b.count);
        outline->append(b.upper, 0);
        yMax = std::max(yMax, b.count);
        widen(b.lower);
        widen(b.upper);
    }
    for (auto [x, y] : model.curve) {
        yMax = std::max(yMax, y);
        widen(x);
    }
    // Every limit in view, a little inside the frame, even one beyond every
    // bar (a skewed pair's t limit).
    const double barsMin = xMin, barsMax = xMax;
    bool markBelow = false, markAbove = false;
    for (const ChartMark& mark : model.marks) {
        if (!std::isfinite(mark.x)) continue;
        markBelow = markBelow || first || mark.x < xMin;
        markAbove = markAbove || first || mark.x > xMax;
        widen(mark.x);
    }
    const double pad = (xMax - xMin) * 0.02;
    if (markBelow) xMin -= pad;
    if (markAbove) xMax += pad;
    auto* yAxis = new QValueAxis;
    yAxis->setTitleText(q(model.yTitle));
    yAxis->setLabelFormat("%g");
    const double yTop = setCountRange(yAxis, yMax);

    // Shading first, so that the bars and lines stand in front of it.
    bool shadeNamed = false;
    for (const ChartSpan& span : model.shaded) {
        // A region clipped to the bars goes on to the axis's end.
        auto* upper = new QLineSeries;
        upper->append(span.from <= barsMin ? std::min(span.from, xMin) : span.from, yTop);
        upper->append(span.to >= barsMax ? std::max(span.to, xMax) : span.to, yTop);
        auto* area = new QAreaSeries(upper);
        upper->setParent(area);
        area->setName(shadeNamed ? QString() : q(model.shadedLabel));
        shadeNamed = true;
        // Brush and pen set whole, so that the key's swatch can take them as drawn.
        area->setBrush(QBrush(kShade));
        area->setPen(Qt::NoPen);
        chart->addSeries(area);
    }
    if (!model.bars.empty()) {
        auto* bars = new QAreaSeries(outline);
        outline->setParent(bars);  // an area series does not own its outline
        bars->setName(QStringLiteral("Count"));
        bars->setBrush(QBrush(kBarFill));
        bars->setPen(QPen(kBarEdge, 1));
        chart->addSeries(bars);
    } else {
        delete outline;
    }
    if (!model.curve.empty())
        chart->addSeries(lineSeries(model.curve, QStringLiteral("Normal density"), QPen(kCurve, 2)));
    for (const ChartMark& mark : model.marks) {
        const bool dashed = mark.style == LineStyle::Dashed;
        QPen pen(dashed ? kTLimit : kPercentileLimit, 2, dashed ? Qt::DashLine : Qt::SolidLine);
        chart->addSeries(lineSeries({{mark.x, 0}, {mark.x, yTop}}, q(mark.label), pen));
    }

    auto* xAxis = new QValueAxis;
    xAxis->setTitleText(q(model.xTitle));
    if (model.xTickInterval > 0) {
        // A bar per value: ticks under the bars' centres.
        xAxis->setRange(xMin, xMax > xMin ? xMax : xMin + 1);
        xAxis->setLabelFormat("%g");
        xAxis->setTickType(QValueAxis::TicksDynamic);
        xAxis->setTickAnchor(model.xTickAnchor);
        xAxis->setTickInterval(model.xTickInterval);
    } else {
        setRoundTicks(xAxis, xMin, xMax);
    }
    attachAll(chart, xAxis, yAxis);
}

// Colours that stay apart in print and for the common colour blindness.
const QColor kLinePalette[] = {QColor(0, 114, 178),  QColor(230, 159, 0),   QColor(0, 158, 115), QColor(204, 121, 167),
                               QColor(86, 180, 233), QColor(120, 120, 120), QColor(213, 94, 0),  QColor(60, 60, 60)};

// 0 to a round top: a share (top 1 at most) runs 0 to 1 in steps of 0.2;
// with `intervals` given, in that many steps, so that a second axis's ticks
// fall on the first one's grid. Returns the number of steps.
int setLineRange(QValueAxis* axis, double top, int intervals = 0) {
    axis->setLabelFormat("%g");
    if (!(top > 0) || !std::isfinite(top)) top = 1;
    double step = 0;
    if (intervals == 0 && top > 0.5 && top <= 1) {
        intervals = 5;
        step = 0.2;
    } else if (intervals == 0) {
        step = roundStep(top / 6);
        intervals = static_cast<int>(std::ceil(top * 1.02 / step));
    } else {
        step = roundStep(top * 1.02 / intervals);
    }
    axis->setRange(0, intervals * step);
    axis->setTickCount(intervals + 1);
    return intervals;
}

void buildLineChart(QChart* chart, const ChartControl& model) {
    double xMin = 0, xMax = 0, leftTop = 0, rightTop = 0;
    bool first = true, right = false;
    for (const ChartLine& line : model.lines) {
        const std::size_t palette = std::size(kLinePalette);
        QPen pen(kLinePalette[static_cast<std::size_t>(std::max(line.colour, 0)) % palette], 2.5,
                 line.style == LineStyle::Dashed ? Qt::DashLine : Qt::SolidLine);
        QLineSeries* series = lineSeries(line.points, q(line.label), pen);
        chart->addSeries(series);
        right = right || line.rightAxis;
        for (auto [x, y] : line.points) {
            xMin = first ? x : std::min(xMin, x);
            xMax = first ? x : std::max(xMax, x);
            first = false;
            (line.rightAxis ? rightTop : leftTop) = std::max(line.rightAxis ? rightTop : leftTop, y);
        }
    }
    auto* xAxis = new QValueAxis;
    xAxis->setTitleText(q(model.xTitle));
    setRoundTicks(xAxis, std::min(xMin, 0.0), xMax);
    auto* yAxis = new QValueAxis;
    yAxis->setTitleText(q(model.yTitle));
    const int intervals = setLineRange(yAxis, leftTop);
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    QValueAxis* rightAxis = nullptr;
    if (right) {
        rightAxis = new QValueAxis;
        rightAxis->setTitleText(q(model.rightYTitle));
        setLineRange(rightAxis, rightTop, intervals);
        rightAxis->setGridLineVisible(false);
        chart->addAxis(rightAxis, Qt::AlignRight);
    }
    const QList<QAbstractSeries*> series = chart->series();
    for (std::size_t i = 0; i < model.lines.size(); ++i) {
        series[static_cast<qsizetype>(i)]->attachAxis(xAxis);
        series[static_cast<qsizetype>(i)]->attachAxis(model.lines[i].rightAxis ? rightAxis : yAxis);
    }
}

void buildProbabilityPlot(QChart* chart, const ChartControl& model) {
    auto* points = new QScatterSeries;
    points->setName(QStringLiteral("Ordered values"));
    points->setMarkerSize(7);
    points->setBrush(QBrush(kBarFill));
    points->setPen(QPen(kBarEdge, 1));
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    bool first = true;
    auto widen = [&](double x, double y) {
        xMin = first ? x : std::min(xMin, x), xMax = first ? x : std::max(xMax, x);
        yMin = first ? y : std::min(yMin, y), yMax = first ? y : std::max(yMax, y);
        first = false;
    };
    for (auto [x, y] : model.probabilityPoints) {
        points->append(x, y);
        widen(x, y);
    }
    chart->addSeries(points);
    if (!model.probabilityLine.empty())
        chart->addSeries(lineSeries(model.probabilityLine, QStringLiteral("Fitted normal"), QPen(kCurve, 2)));
    for (auto [x, y] : model.probabilityLine) widen(x, y);
    auto* xAxis = new QValueAxis;
    auto* yAxis = new QValueAxis;
    xAxis->setTitleText(QStringLiteral("Normal quantile"));
    yAxis->setTitleText(QStringLiteral("Value"));
    // A margin, so that the outermost points show whole.
    const double xPad = (xMax - xMin) * 0.03, yPad = (yMax - yMin) * 0.03;
    setRoundTicks(xAxis, xMin - xPad, xMax + xPad);
    setRoundTicks(yAxis, yMin - yPad, yMax + yPad);
    attachAll(chart, xAxis, yAxis);
}

// One mark a treatment at its value, a capped bar over [lower, upper] and
// its text just above the cap, kept there as the plot area moves.
void buildPointsChart(QChart* chart, const ChartControl& model) {
    auto* xAxis = new QCategoryAxis;
    xAxis->setTitleText(q(model.xTitle));
    xAxis->setStartValue(0.5);
    xAxis->setGridLineVisible(false);
    xAxis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionCenter);
    const auto n = static_cast<double>(model.points.size());
    xAxis->setRange(0.5, n + 0.5);
    auto* yAxis = new QValueAxis;
    yAxis->setTitleText(q(model.yTitle));
    double low = 0, high = 0;
    auto* marks = new QScatterSeries;
    marks->setMarkerSize(11);
    marks->setColor(kBarEdge);
    marks->setBorderColor(kBarEdge);
    constexpr double kCap = 0.08;
    for (std::size_t i = 0; i < model.points.size(); ++i) {
        const ChartPoint& p = model.points[i];
        const double x = static_cast<double>(i) + 1;
        xAxis->append(q(p.label), x + 0.5);
        marks->append(x, p.y);
        chart->addSeries(lineSeries({{x - kCap, p.upper},
                                     {x + kCap, p.upper},
                                     {x, p.upper},
                                     {x, p.lower},
                                     {x - kCap, p.lower},
                                     {x + kCap, p.lower}},
                                    QString(), QPen(kBarEdge, 2)));
        low = i == 0 ? p.lower : std::min(low, p.lower);
        high = i == 0 ? p.upper : std::max(high, p.upper);
        low = std::min(low, p.y), high = std::max(high, p.y);
    }
    chart->addSeries(marks);
    // Room above the highest cap for its letters.
    const double span = high > low ? high - low : std::max(std::abs(high), 1.0);
    setRoundTicks(yAxis, low - span * 0.08, high + span * 0.16);
    attachAll(chart, nullptr, yAxis);
    chart->addAxis(xAxis, Qt::AlignBottom);
    for (QAbstractSeries* series : chart->series()) series->attachAxis(xAxis);

    QFont font = chart->font();
    if (font.pixelSize() > 0)
        font.setPixelSize(static_cast<int>(std::lround(font.pixelSize() * 1.3)));
    else
        font.setPointSizeF(font.pointSizeF() * 1.3);
    font.setBold(true);
    std::vector<QGraphicsSimpleTextItem*> texts;
    for (const ChartPoint& p : model.points) {
        auto* text = new QGraphicsSimpleTextItem(q(p.text), chart);
        text->setFont(font);
        texts.push_back(text);
    }
    auto place = [chart, marks, texts, points = model.points](const QRectF&) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const QPointF at = chart->mapToPosition(QPointF(static_cast<double>(i) + 1, points[i].upper), marks);
            const QRectF box = texts[i]->boundingRect();
            texts[i]->setPos(at.x() - box.width() / 2, at.y() - box.height() - 4);
        }
    };
    QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
    place(chart->plotArea());
}

void renderInto(const ChartControl& model, QPainter& painter, QSize size) {
    std::unique_ptr<QChart> chart(buildChart(model, ChartMedium::File));
    QGraphicsScene scene;
    scene.addItem(chart.get());
    chart->setGeometry(0, 0, size.width(), size.height());
    scene.setSceneRect(0, 0, size.width(), size.height());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    scene.render(&painter, QRectF(0, 0, size.width(), size.height()), scene.sceneRect());
    scene.removeItem(chart.get());
}

}  // namespace

// What the data are on one line, their figures on the next: one long line
// would be cut short beside the figures box.
static QString titleText(const std::string& title, const std::string& plotName) {
    const std::size_t colon = title.find(": ");
    if (colon == std::string::npos) return q(plotName.empty() ? title : title + " (" + plotName + ")");
    std::string first = title.substr(0, colon);
    if (!plotName.empty()) first += " (" + plotName + ")";
    return QStringLiteral("<div align=\"center\">%1<br>%2</div>")
        .arg(q(first).toHtmlEscaped(), q(title.substr(colon + 2)).toHtmlEscaped());
}

namespace {

// A font of a size in pixels of the drawing: its text then keeps its size
// against the drawing on any device, whatever dots per inch that reports
// (an SVG's 72, a PDF's 144, the screen's where the chart was laid out).
QFont pixelFont(QFont font) {
    if (font.pixelSize() > 0) return font;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pointSizeF() * 96.0 / 72.0))));
    return font;
}

void fixTextSizes(QChart* chart) {
    chart->setTitleFont(pixelFont(chart->titleFont()));
    chart->legend()->setFont(pixelFont(chart->legend()->font()));
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsFont(pixelFont(axis->labelsFont()));
        axis->setTitleFont(pixelFont(axis->titleFont()));
    }
}

}  // namespace

QChart* buildChart(const ChartControl& model, ChartMedium medium) {
    auto* chart = new QChart;
    chart->setTitle(titleText(model.title, {}));
    chart->setBackgroundBrush(Qt::white);
    chart->legend()->setAlignment(Qt::AlignBottom);
    if (medium == ChartMedium::File) {
        chart->setFont(pixelFont(chart->font()));
        // A page's title: the window's is sized for a frame a third as wide.
        QFont title = chart->titleFont();
        title.setPointSizeF(15);
        title.setBold(true);
        chart->setTitleFont(title);
    }
    if (!model.points.empty()) {
        buildPointsChart(chart, model);
        chart->legend()->setVisible(false);
        if (medium == ChartMedium::File) fixTextSizes(chart);
        return chart;
    }
    const bool probability = model.probabilityShown && !model.probabilityPoints.empty();
    const bool lineChart = !probability && !model.lines.empty();
    if (probability) {
        chart->setTitle(titleText(model.title, "normal probability plot"));
        buildProbabilityPlot(chart, model);
    } else if (lineChart) {
        buildLineChart(chart, model);
    } else if (!model.bars.empty() || !model.curve.empty()) {
        buildHistogram(chart, model);
    }
    // The figures' charts keep their key beside the plot, where no label
    // is ever cut; a line chart's many short names fit under it.
    if (lineChart) {
        oneLegendEntryPerName(chart);
        chart->legend()->setVisible(chart->series().size() > 1);
    } else {
        chart->legend()->setVisible(false);
    }
    addSidePanel(chart, model.note, !lineChart && chart->series().size() > 1);
    if (medium == ChartMedium::File) fixTextSizes(chart);
    return chart;
}

std::size_t chartSignature(const ChartControl& model) {
    std::size_t signature = std::hash<std::string>{}(model.title + "|" + model.xTitle + "|" + model.yTitle + "|" +
                                                     model.shadedLabel + "|" + model.note + "|" + model.rightYTitle);
    auto mix = [&signature](double v) { signature = signature * 1000003u ^ std::hash<double>{}(v); };
    for (const ChartBar& b : model.bars) mix(b.lower), mix(b.upper), mix(b.count);
    for (auto [x, y] : model.curve) mix(x), mix(y);
    for (const ChartMark& m : model.marks)
        mix(m.x), mix(static_cast<double>(m.style)), mix(std::hash<std::string>{}(m.label));
    for (const ChartSpan& s : model.shaded) mix(s.from), mix(s.to);
    for (auto [x, y] : model.probabilityPoints) mix(x), mix(y);
    for (auto [x, y] : model.probabilityLine) mix(x), mix(y);
    for (const ChartLine& line : model.lines) {
        mix(static_cast<double>(std::hash<std::string>{}(line.label))), mix(line.colour);
        mix(static_cast<double>(line.style)), mix(line.rightAxis ? 1 : 0);
        for (auto [x, y] : line.points) mix(x), mix(y);
    }
    for (const ChartPoint& p : model.points) {
        mix(static_cast<double>(std::hash<std::string>{}(p.label + "|" + p.text)));
        mix(p.y), mix(p.lower), mix(p.upper);
    }
    mix(model.xTickAnchor), mix(model.xTickInterval), mix(model.probabilityShown ? 1 : 0);
    return signature;
}

namespace {

// Through the program's one file writer, so that a picture follows the same
// rules as every other output (links, pipes, modes, interrupts).
std::optional<std::string> writeChartBytes(const QString& path, const QByteArray& bytes) {
    try {
        TextFile file(path.toStdString(), "Pair charts", 0);
        file.write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        file.close();
        return std::nullopt;
    } catch (const UserError& e) {
        // The reason alone: the caller names the file.
        const std::string& text = e.text();
        const std::size_t last = text.rfind('\n');
        const std::size_t first = text.find('\n');
        if (last != std::string::npos && last != first) return text.substr(last + 1);
        return text.substr(0, text.find(':'));
    }
}

}  // namespace

QImage chartImage(const ChartControl& model, QSize size) {
    QImage image(size * 2, QImage::Format_ARGB32);
    image.setDevicePixelRatio(2);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        renderInto(model, painter, size);
    }
    // 300 dpi, so that the picture takes its print size in a document.
    constexpr int kDotsPerMeter = 11811;
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    return image;
}

QByteArray chartSvg(const ChartControl& model, QSize size) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) return {};
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(q(model.title));
    {
        QPainter painter(&svg);
        renderInto(model, painter, size);
    }
    buffer.close();
    return bytes;
}

std::optional<std::string> saveChartPng(const ChartControl& model, const QString& path, QSize size) {
    const QImage image = chartImage(model, size);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return std::string("the picture cannot be made");
    return writeChartBytes(path, bytes);
}

std::optional<std::string> saveChartSvg(const ChartControl& model, const QString& path, QSize size) {
    const QByteArray bytes = chartSvg(model, size);
    if (bytes.isEmpty()) return std::string("the picture cannot be made");
    return writeChartBytes(path, bytes);
}

std::optional<std::string> saveChartPdf(const ChartControl& model, const QString& path, QSize size) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) return std::string("the picture cannot be made");
    {
        // A page of the picture's own shape at 144 units an inch: 1200 x 800
        // is 8.3 x 5.6 inches, the PNG's print size give or take.
        constexpr int kResolution = 144;
        QPdfWriter pdf(&buffer);
        pdf.setResolution(kResolution);
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setPageSize(
            QPageSize(QSizeF(size) * 72.0 / kResolution, QPageSize::Point, QString(), QPageSize::ExactMatch));
        pdf.setTitle(q(model.title));
        pdf.setCreator(QStringLiteral("lumera"));
        QPainter painter;
        if (!painter.begin(&pdf)) return std::string("the picture cannot be made");
        renderInto(model, painter, size);
        painter.end();
    }
    buffer.close();
    return writeChartBytes(path, bytes);
}

void ensureChartApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    // The toolkit's notes about the session (no runtime folder, no display)
    // mean nothing to a user of the command line.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", qPrintable(text));
    });
    // The command line never shows a window, with or without a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "lumera-cli";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

}  // namespace lumera::gui
