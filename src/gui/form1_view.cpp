#include "gui/form1_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTableWidget>
#include <QUrl>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "gui/chart_files.h"
#include "gui/chart_renderer.h"
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
        setPixmap(drawPicture(key, size(), devicePixelRatioF()));
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
    // The grid's whole area, not only its cells, covers the labels behind it.
    w->setAutoFillBackground(c.backColor.has_value() || c.kind == ControlKind::Grid);
}

// Text grows and shrinks with the layout, whatever dots per inch the desktop
// reports: points are taken at the density the twips were laid out for.
void applyFont(QWidget* w, const Control& c, double scale) {
    QFont f = QApplication::font(w);
    f.setPointSizeF(c.fontSize * scale * 96.0 / w->logicalDpiY());
    f.setBold(c.bold);
    w->setFont(f);
}

// The result grid, whose cells can stand anywhere in its area. The table
// resets its margins for its headers whenever it lays itself out: ours stay.
class ResultTable : public QTableWidget {
public:
    using QTableWidget::QTableWidget;
    void setCellMargins(const QMargins& margins) {
        margins_ = margins;
        setViewportMargins(margins);
    }

protected:
    void updateGeometries() override {
        QTableWidget::updateGeometries();
        if (viewportMargins() != margins_) setViewportMargins(margins_);
    }

private:
    QMargins margins_;
};

void syncGrid(QTableWidget* table, const GridControl& grid, double scale) {
    table->setRowCount(grid.rows());
    table->setColumnCount(grid.cols());
    // A column is never narrower than its widest cell: names must stay readable.
    QFontMetrics metrics(table->font());
    const int padding = static_cast<int>(std::lround(16 * scale));
    for (int c = 0; c < grid.cols(); ++c) {
        int width = scaledTwips(grid.colWidth(c), scale);
        for (int r = 0; r < grid.rows(); ++r)
            width = std::max(width, metrics.horizontalAdvance(q(grid.textAt(r, c))) + padding);
        table->setColumnWidth(c, width);
    }
    for (int r = 0; r < grid.rows(); ++r) table->setRowHeight(r, metrics.height() + padding);
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
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setAlignment(Qt::AlignCenter);
    canvas_ = new QWidget;
    scroll_->setWidget(canvas_);
    // Small enough for any screen; scroll bars reach what it cuts off.
    setMinimumSize(800, 600);
    build();
    program_.form1().setRefreshSink(this);
    connect(&timer_, &QTimer::timeout, this, &Form1View::tick);
    // Esc leaves a pair's chart for the grid, as a click on the chart does.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] {
        if (program_.form1().MSChart2.visible) clickControl("MSChart2");
    });
    // Ctrl+S and Ctrl+C save and copy the chart in view, as its menu does.
    auto shownChart = [this]() -> const ChartControl* {
        const Form1& form = program_.form1();
        for (const ChartControl* chart : {&form.MSChart2, &form.MSChart1})
            if (chart->visible && chartHasContent(*chart)) return chart;
        return nullptr;
    };
    const ChartMenuTarget shown = chartMenuTarget(shownChart);
    auto* save = new QShortcut(QKeySequence::Save, this);
    connect(save, &QShortcut::activated, this, [shown] {
        if (const ChartControl* chart = shown.chart())
            saveChartAs(shown.dialogs(), *chart, ChartFormat::Png, shown.folder());
        shown.after();
    });
    auto* copy = new QShortcut(QKeySequence::Copy, this);
    connect(copy, &QShortcut::activated, this, [shown] {
        if (const ChartControl* chart = shown.chart()) copyChartToClipboard(*chart);
    });
    fitToScreen();
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

ChartMenuTarget Form1View::chartMenuTarget(std::function<const ChartControl*()> chart) {
    return {std::move(chart), [this]() -> Dialogs& { return program_.dialogs(); },
            [this] { return program_.workingFolder(); }, [this] { syncAll(); }};
}

void Form1View::build() {
    Form1& form = program_.form1();
    std::map<std::string, QWidget*> containers;
    for (const auto& owned : form.controls()) {
        const Control& c = *owned;
        QWidget* parent = c.parent.empty() ? canvas_ : containers.at(c.parent);
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
                edit->installEventFilter(this);
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
                auto* table = new ResultTable(parent);
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
                const ChartControl* model = &static_cast<const ChartControl&>(c);
                attachChartMenu(view, chartMenuTarget([model] { return model; }));
                w = view;
                break;
            }
            case ControlKind::Window:
                continue;
        }
        w->setObjectName(q(c.name));
        widgets_[&c] = w;
    }
    // The key line goes where the grid's cells go, and hides with the grid.
    widgets_.at(&form.lblGridKey)->setParent(widgets_.at(&form.MSFlexGrid1));
}

namespace {
constexpr double kSmallestTextPixels = 9;
}  // namespace

QSize Form1View::drawnSize(double scale) const {
    const Form1& form = program_.form1();
    return QSize(static_cast<int>(form.Width / 15.0 * scale), static_cast<int>(form.Height / 15.0 * scale));
}

double Form1View::minimumScale() const {
    double smallest = 0;
    for (const auto& c : program_.form1().controls())
        if (c->fontSize > 0 && (smallest == 0 || c->fontSize < smallest)) smallest = c->fontSize;
    if (smallest == 0) return 0;
    return kSmallestTextPixels / (smallest * kPixelsPerPoint * devicePixelRatioF());
}

double Form1View::fittingScale(QSize area) const {
    const Form1& form = program_.form1();
    const double fit = std::min(area.width() / (form.Width / 15.0), area.height() / (form.Height / 15.0));
    return std::max(fit, minimumScale());
}

void Form1View::fitToScreen() {
    QScreen* screen = this->screen();
    if (screen == nullptr) return;
    const QRect available = screen->availableGeometry();
    // The title bar's height is known only once the window is shown.
    const int titleBar = isWindow() && isVisible() ? frameGeometry().height() - height() : 32;
    const int frameWidth = isWindow() && isVisible() ? frameGeometry().width() - width() : 0;
    const QSize room(available.width() - frameWidth, available.height() - titleBar);
    // Opened at its designed size where that fits; the user may enlarge it.
    const double scale = std::min(1.0, fittingScale(room));
    const QSize size = drawnSize(scale).boundedTo(room).expandedTo(minimumSize());
    resize(size);
    move(available.left() + std::max(0, (room.width() - size.width()) / 2),
         available.top() + std::max(0, (room.height() - size.height()) / 2));
    applyScale(fittingScale(size));
}

void Form1View::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    applyScale(fittingScale(size()));
}

void Form1View::applyScale(double scale) {
    const QSize canvas = drawnSize(scale);
    scroll_->setGeometry(rect());
    if (scale == scale_ && canvas_->size() == canvas) return;
    scale_ = scale;
    canvas_->resize(canvas);
    syncAll();
}

QWidget* Form1View::widgetFor(const std::string& controlName) const {
    for (const auto& [control, widget] : widgets_)
        if (control->name == controlName) return widget;
    return nullptr;
}

void Form1View::sync(const Control& c) {
    QWidget* w = widgets_.at(&c);
    const int left = scaledTwips(c.left, scale_), top = scaledTwips(c.top, scale_);
    w->setGeometry(left, top, scaledTwips(c.left + c.width, scale_) - left,
                   scaledTwips(c.top + c.height, scale_) - top);
    applyFont(w, c, scale_);
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
                const QSize icon = (QSizeF(40, 20) * scale_).toSize();
                if (button->iconSize() != icon || button->icon().isNull()) {
                    button->setIcon(QIcon(drawPicture(c.picture, icon, button->devicePixelRatioF())));
                    button->setIconSize(icon);
                }
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
            // A line longer than the box shows its start, where it says what it holds.
            if (edit->text() != q(c.caption)) {
                edit->setText(q(c.caption));
                edit->setCursorPosition(0);
            }
            break;
        }
        case ControlKind::Picture:
            static_cast<PictureWidget*>(w)->setPicture(c.picture);
            break;
        case ControlKind::Grid:
            syncGrid(static_cast<QTableWidget*>(w), static_cast<const GridControl&>(c), scale_);
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
    const Form1& form = program_.form1();
    if (&c == &form.MSFlexGrid1 || &c == &form.lblGridKey) layoutResultGrid();
}

// The cells centred in the grid's area, the key line right under them.
void Form1View::layoutResultGrid() {
    const Form1& form = program_.form1();
    auto* table = static_cast<ResultTable*>(widgets_.at(&form.MSFlexGrid1));
    auto* key = static_cast<QLabel*>(widgets_.at(&form.lblGridKey));
    int cellsWidth = 0, cellsHeight = 0;
    for (int c = 0; c < table->columnCount(); ++c) cellsWidth += table->columnWidth(c);
    for (int r = 0; r < table->rowCount(); ++r) cellsHeight += table->rowHeight(r);
    const int gap = static_cast<int>(std::lround(8 * scale_));
    const int keyHeight = std::max(scaledTwips(form.lblGridKey.height, scale_), key->heightForWidth(table->width()));
    const int blockHeight = cellsHeight + (form.lblGridKey.visible ? gap + keyHeight : 0);
    const int left = std::max(0, (table->width() - cellsWidth) / 2);
    const int top = std::max(0, (table->height() - blockHeight) / 2);
    const int right = std::max(0, table->width() - cellsWidth - left);
    const int bottom = std::max(0, table->height() - cellsHeight - top);
    table->setCellMargins(QMargins(left, top, right, bottom));
    key->setGeometry(0, std::min(top + cellsHeight + gap, table->height() - keyHeight), table->width(), keyHeight);
}

void Form1View::syncAll() {
    Form1& form = program_.form1();
    setWindowTitle(q(form.Caption));
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
    openRequestedFolder();
}

// Where the desktop has no file manager nothing happens: the name stays in
// the line and its tooltip.
void Form1View::openRequestedFolder() {
    const QString folder = q(std::exchange(program_.form1().FolderToOpen, {}));
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool Form1View::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        doubleClickControl(watched->objectName().toStdString());
    return QWidget::eventFilter(watched, event);
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
