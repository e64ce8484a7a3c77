#include "gui/form1_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "gui/pictures.h"
#include "gui/qt_dialogs.h"
#include "gui/run_progress.h"
#include "gui/twips.h"
#include "gui/vater_view.h"
#include "shell/program.h"

namespace lumera::gui {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

Qt::Alignment qtAlign(Align a) {
    switch (a) {
        case Align::Center:
            return Qt::AlignHCenter;
        case Align::Right:
            return Qt::AlignRight;
        default:
            return Qt::AlignLeft;
    }
}

// A picture control: its drawing scaled to its size; clicks reported.
class PictureWidget : public ClickableLabel {
public:
    using ClickableLabel::ClickableLabel;
    void setPicture(const std::string& key) {
        if (key == key_ && size() == drawnSize_) return;
        key_ = key;
        drawnSize_ = size();
        setPixmap(drawPicture(key, size()));
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        ClickableLabel::resizeEvent(event);
        std::string key = key_;
        key_.clear();
        setPicture(key);
    }

private:
    std::string key_;
    QSize drawnSize_;
};

void applyColors(QWidget* w, const Control& c) {
    QPalette pal = QApplication::palette(w);
    if (c.backColor) {
        QColor back(c.backColor->r, c.backColor->g, c.backColor->b);
        pal.setColor(QPalette::Window, back);
        pal.setColor(QPalette::Button, back);
        pal.setColor(QPalette::Base, back);
    } else if (c.kind == ControlKind::Grid) {
        // The grid covers the whole graph frame, as the labels behind it must
        // stay hidden, but only its cells should look like a table.
        pal.setColor(QPalette::Base, pal.color(QPalette::Window));
    }
    if (c.foreColor) {
        QColor fore(c.foreColor->r, c.foreColor->g, c.foreColor->b);
        pal.setColor(QPalette::WindowText, fore);
        pal.setColor(QPalette::ButtonText, fore);
        pal.setColor(QPalette::Text, fore);
    }
    w->setPalette(pal);
    w->setAutoFillBackground(c.backColor.has_value());
}

void applyFont(QWidget* w, const Control& c) {
    QFont f = QApplication::font(w);
    f.setPointSizeF(c.fontSize);
    f.setBold(c.bold);
    w->setFont(f);
}

void syncGrid(QTableWidget* table, const GridControl& grid) {
    table->setRowCount(grid.rows());
    table->setColumnCount(grid.cols());
    // A column is never narrower than its widest cell: names must stay readable.
    QFontMetrics metrics(table->font());
    for (int c = 0; c < grid.cols(); ++c) {
        int width = twipsToPixels(grid.colWidth(c));
        for (int r = 0; r < grid.rows(); ++r)
            width = std::max(width, metrics.horizontalAdvance(q(grid.textAt(r, c))) + 16);
        table->setColumnWidth(c, width);
    }
    for (int r = 0; r < grid.rows(); ++r) {
        for (int c = 0; c < grid.cols(); ++c) {
            QTableWidgetItem* item = table->item(r, c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                item->setFlags(Qt::ItemIsEnabled);
                table->setItem(r, c, item);
            }
            item->setText(q(grid.textAt(r, c)));
            item->setTextAlignment(qtAlign(grid.alignmentAt(r, c)) | Qt::AlignVCenter);
            // The first row and column are the heads.
            item->setBackground(r == 0 || c == 0 ? QColor(224, 224, 224) : QColor(Qt::white));
        }
    }
}

// Counts read best on round ticks (0, 20, 40, ...); the axis ends at the
// first such tick above the tallest bar, not a whole step further.
// The smallest of 1, 2, 5 times a power of ten at least `wanted`.
double roundStep(double wanted) {
    const double decade = std::pow(10.0, std::floor(std::log10(wanted)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * decade >= wanted) return m * decade;
    return 10 * decade;
}

void setCountRange(QValueAxis* axis, double top) {
    if (!(top > 0) || !std::isfinite(top)) {
        axis->setRange(0, 1);
        return;
    }
    const double step = roundStep(top / 6);
    // A sliver above the tallest bar, so that its top stays visible.
    const double intervals = std::ceil(top * 1.02 / step);
    axis->setRange(0, intervals * step);
    axis->setTickCount(static_cast<int>(intervals) + 1);
}

// Bars of value against count, each drawn as a filled outline over exactly
// its own [lower, upper], with the curve over them. Rebuilt only when the
// data change.
void syncChart(QChartView* view, const ChartControl& model) {
    std::size_t signature = std::hash<std::string>{}(model.title + "|" + model.xTitle + "|" + model.yTitle);
    auto mix = [&signature](double v) { signature = signature * 1000003u ^ std::hash<double>{}(v); };
    for (const ChartBar& b : model.bars) mix(b.lower), mix(b.upper), mix(b.count);
    for (auto [x, y] : model.curve) mix(x), mix(y);
    mix(model.xTickAnchor), mix(model.xTickInterval);
    if (view->property("signature").toULongLong() == signature && view->chart()->property("built").toBool()) return;
    view->setProperty("signature", QVariant::fromValue<qulonglong>(signature));

    auto* chart = new QChart;
    chart->setProperty("built", true);
    chart->setTitle(q(model.title));
    chart->legend()->setVisible(!model.bars.empty() && !model.curve.empty());
    if (!model.bars.empty() || !model.curve.empty()) {
        auto* outline = new QLineSeries;
        double yMax = 0, xMin = 0, xMax = 0;
        bool first = true;
        for (const ChartBar& b : model.bars) {
            outline->append(b.lower, 0);
            outline->append(b.lower, b.count);
            outline->append(b.upper, b.count);
            outline->append(b.upper, 0);
            yMax = std::max(yMax, b.count);
            xMin = first ? b.lower : std::min(xMin, b.lower);
            xMax = first ? b.upper : std::max(xMax, b.upper);
            first = false;
        }
        auto* bars = new QAreaSeries(outline);
        outline->setParent(bars);  // an area series does not own its outline
        bars->setName(QStringLiteral("Count"));
        bars->setColor(QColor(120, 170, 220));
        bars->setBorderColor(QColor(40, 80, 140));
        chart->addSeries(bars);
        auto* curve = new QLineSeries;
        curve->setName(QStringLiteral("Normal density"));
        for (auto [x, y] : model.curve) {
            curve->append(x, y);
            yMax = std::max(yMax, y);
            xMin = first ? x : std::min(xMin, x);
            xMax = first ? x : std::max(xMax, x);
            first = false;
        }
        curve->setPen(QPen(QColor(200, 40, 40), 2));
        chart->addSeries(curve);
        auto* xAxis = new QValueAxis;
        auto* yAxis = new QValueAxis;
        xAxis->setTitleText(q(model.xTitle));
        yAxis->setTitleText(q(model.yTitle));
        xAxis->setRange(xMin, xMax > xMin ? xMax : xMin + 1);
        xAxis->setLabelFormat("%g");
        xAxis->setTickType(QValueAxis::TicksDynamic);
        if (model.xTickInterval > 0) {
            // A bar per value: ticks under the bars' centres.
            xAxis->setTickAnchor(model.xTickAnchor);
            xAxis->setTickInterval(model.xTickInterval);
        } else if (xMax > xMin) {
            // Bins start anywhere; their labels read best at round values.
            const double step = roundStep((xMax - xMin) / 8);
            xAxis->setTickAnchor(std::ceil(xMin / step) * step);
            xAxis->setTickInterval(step);
        }
        setCountRange(yAxis, yMax);
        yAxis->setLabelFormat("%g");
        chart->addAxis(xAxis, Qt::AlignBottom);
        chart->addAxis(yAxis, Qt::AlignLeft);
        for (QAbstractSeries* series : chart->series()) {
            series->attachAxis(xAxis);
            series->attachAxis(yAxis);
        }
    }
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

}  // namespace

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit clicked();
    QLabel::mousePressEvent(event);
}

void ClickableLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit doubleClicked();
    QLabel::mouseDoubleClickEvent(event);
}

Form1View::Form1View(Program& program, QtDialogs* questions) : program_(program), questions_(questions) {
    build();
    program_.form1().setRefreshSink(this);
    connect(&timer_, &QTimer::timeout, this, &Form1View::tick);
    progress_ = std::make_unique<RunProgress>(program_, *this, timer_);
    program_.setProgress(progress_.get());
    syncAll();
    if (questions_ != nullptr) {
        questions_->setParent(this);
        questions_->setBeforeQuestion([this] {
            progress_->closeBox();
            syncAll();
        });
        questions_->setAfterQuestion([this] { repaintWhole(*this); });
    }
}

Form1View::~Form1View() {
    if (questions_ != nullptr) {
        questions_->setBeforeQuestion({});
        questions_->setAfterQuestion({});
        questions_->setParent(nullptr);
    }
    program_.setProgress(nullptr);
    program_.form1().setRefreshSink(nullptr);
}

void Form1View::build() {
    Form1& form = program_.form1();
    std::map<std::string, QWidget*> containers;
    for (const auto& owned : form.controls()) {
        const Control& c = *owned;
        QWidget* parent = c.parent.empty() ? this : containers.at(c.parent);
        QWidget* w = nullptr;
        std::string name = c.name;
        switch (c.kind) {
            case ControlKind::Frame: {
                auto* box = new QGroupBox(parent);
                containers[c.name] = box;
                w = box;
                break;
            }
            case ControlKind::Button: {
                auto* button = new QPushButton(parent);
                connect(button, &QPushButton::clicked, this, [this, name] { clickControl(name); });
                w = button;
                break;
            }
            case ControlKind::Label: {
                auto* label = new ClickableLabel(parent);
                label->setWordWrap(true);
                label->setMargin(2);
                connect(label, &ClickableLabel::clicked, this, [this, name] { clickControl(name); });
                connect(label, &ClickableLabel::doubleClicked, this, [this, name] { doubleClickControl(name); });
                w = label;
                break;
            }
            case ControlKind::TextBox: {
                auto* edit = new QLineEdit(parent);
                Control& model = form.control(c.name);
                connect(edit, &QLineEdit::textEdited, this,
                        [&model](const QString& t) { model.caption = t.toStdString(); });
                w = edit;
                break;
            }
            case ControlKind::Picture: {
                auto* picture = new PictureWidget(parent);
                connect(picture, &ClickableLabel::clicked, this, [this, name] { clickControl(name); });
                w = picture;
                break;
            }
            case ControlKind::Grid: {
                auto* table = new QTableWidget(parent);
                table->horizontalHeader()->hide();
                table->verticalHeader()->hide();
                table->setEditTriggers(QAbstractItemView::NoEditTriggers);
                table->setFrameShape(QFrame::NoFrame);
                w = table;
                break;
            }
            case ControlKind::Chart: {
                auto* view = new QChartView(new QChart, parent);
                view->setRenderHint(QPainter::Antialiasing);
                w = view;
                break;
            }
            case ControlKind::Window:
                continue;
        }
        w->setObjectName(q(c.name));
        widgets_[&c] = w;
    }
}

QWidget* Form1View::widgetFor(const std::string& controlName) const {
    for (const auto& [control, widget] : widgets_)
        if (control->name == controlName) return widget;
    return nullptr;
}

void Form1View::sync(const Control& c) {
    QWidget* w = widgets_.at(&c);
    w->setGeometry(twipsToPixels(c.left), twipsToPixels(c.top), twipsToPixels(c.width), twipsToPixels(c.height));
    applyFont(w, c);
    applyColors(w, c);
    w->setEnabled(c.enabled);
    w->setToolTip(q(c.toolTip));
    switch (c.kind) {
        case ControlKind::Frame:
            static_cast<QGroupBox*>(w)->setTitle(q(c.caption));
            break;
        case ControlKind::Button: {
            auto* button = static_cast<QPushButton*>(w);
            button->setText(q(c.caption));
            if (!c.picture.empty()) {
                button->setIcon(QIcon(drawPicture(c.picture, QSize(40, 20))));
                button->setIconSize(QSize(40, 20));
            }
            break;
        }
        case ControlKind::Label: {
            auto* label = static_cast<QLabel*>(w);
            label->setText(q(c.caption));
            label->setAlignment(qtAlign(c.alignment) | Qt::AlignTop);
            break;
        }
        case ControlKind::TextBox: {
            auto* edit = static_cast<QLineEdit*>(w);
            if (edit->text() != q(c.caption)) edit->setText(q(c.caption));
            break;
        }
        case ControlKind::Picture:
            static_cast<PictureWidget*>(w)->setPicture(c.picture);
            break;
        case ControlKind::Grid:
            syncGrid(static_cast<QTableWidget*>(w), static_cast<const GridControl&>(c));
            break;
        case ControlKind::Chart:
            syncChart(static_cast<QChartView*>(w), static_cast<const ChartControl&>(c));
            break;
        case ControlKind::Window:
            break;
    }
    // The result grid and the charts share the graph frame with the labels:
    // a result a command has just shown comes in front of an earlier one and
    // of the labels, never behind them.
    const bool resultAppearing =
        (c.kind == ControlKind::Grid || c.kind == ControlKind::Chart) && c.visible && w->isHidden();
    w->setVisible(c.visible);
    if (resultAppearing) w->raise();
}

void Form1View::syncAll() {
    Form1& form = program_.form1();
    setWindowTitle(q(form.Caption));
    setFixedSize(twipsToPixels(form.Width), twipsToPixels(form.Height));
    std::vector<const Control*> order;
    for (const auto& c : form.controls()) {
        sync(*c);
        order.push_back(c.get());
    }
    // Later raises stand in front: raise in ascending z-order, so a higher
    // z-order stands in front of everything shown after it.
    std::stable_sort(order.begin(), order.end(),
                     [](const Control* a, const Control* b) { return a->zOrder < b->zOrder; });
    for (const Control* c : order)
        if (c->zOrder > 0) widgets_.at(c)->raise();
    if (form.TimerInterval > 0) {
        if (timer_.interval() != form.TimerInterval || !timer_.isActive()) timer_.start(form.TimerInterval);
    } else {
        timer_.stop();
    }
}

void Form1View::refresh(const Control& control) {
    sync(control);
    widgets_.at(&control)->repaint();
}

void Form1View::clickControl(const std::string& name) {
    program_.click(name);
    afterHandler();
}

void Form1View::doubleClickControl(const std::string& name) {
    program_.doubleClick(name);
    afterHandler();
}

void Form1View::tick() {
    program_.form1().Timer1_Timer();
    afterHandler();
}

void Form1View::afterHandler() {
    progress_->closeBox();
    if (program_.ended()) {
        timer_.stop();
        QApplication::quit();
        return;
    }
    syncAll();
    if (!program_.form1().Visible) hide();
    if (program_.vater().Visible && !vaterView_) {
        timer_.stop();
        vaterView_ = std::make_unique<VaterView>(program_);
        vaterView_->show();
    }
}

void Form1View::closeEvent(QCloseEvent* event) {
    if (!program_.form1().Visible) {  // hidden by Quit: the farewell window goes on
        event->accept();
        return;
    }
    program_.form1().Form_Unload();
    event->accept();
    afterHandler();
}

}  // namespace lumera::gui
