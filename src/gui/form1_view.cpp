#include "gui/form1_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "gui/chart_renderer.h"
#include "gui/pictures.h"
#include "gui/qt_dialogs.h"
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

// Rebuilt only when the data change.
void syncChart(QChartView* view, const ChartControl& model) {
    const std::size_t signature = chartSignature(model);
    if (view->property("signature").toULongLong() == signature && view->chart()->property("built").toBool()) return;
    view->setProperty("signature", QVariant::fromValue<qulonglong>(signature));
    QChart* chart = buildChart(model);
    chart->setProperty("built", true);
    QChart* old = view->chart();
    view->setChart(chart);
    delete old;
}

// A chart that reports clicks.
class ChartView : public QChartView {
public:
    ChartView(QWidget* parent, std::function<void()> clicked)
        : QChartView(new QChart, parent), clicked_(std::move(clicked)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) clicked_();
        QChartView::mousePressEvent(event);
    }

private:
    std::function<void()> clicked_;
};

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
    // Esc leaves a pair's chart for the grid, as a click on the chart does.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (program_.form1().MSChart2.visible) clickControl("MSChart2");
    });
    syncAll();
    if (questions_ != nullptr) {
        questions_->setParent(this);
        questions_->setBeforeQuestion([this] { syncAll(); });
    }
}

Form1View::~Form1View() {
    if (questions_ != nullptr) {
        questions_->setBeforeQuestion({});
        questions_->setParent(nullptr);
    }
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
                GridControl& model = form.MSFlexGrid1;
                connect(table, &QTableWidget::cellClicked, this, [this, name, &model](int row, int col) {
                    model.row = row;
                    model.col = col;
                    clickControl(name);
                });
                w = table;
                break;
            }
            case ControlKind::Chart: {
                auto* view = new ChartView(parent, [this, name] { clickControl(name); });
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
