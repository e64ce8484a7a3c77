#include "gui/run_progress.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/qt_dialogs.h"
#include "shell/dialog_texts.h"
#include "shell/program.h"

namespace lumera::gui {

namespace {

// Events are let in between chunks often enough for Cancel to answer at
// once, yet seldom enough to cost the writing nothing.
constexpr qint64 kEventsEveryMs = 30;
// A sort that is done sooner needs no box: the busy message says enough.
constexpr qint64 kSortBoxAfterMs = 1000;

// Swallows the timer events of the object it watches.
class TickHold : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Timer; }
};

}  // namespace

void repaintWhole(QWidget& window) {
    if (!window.isVisible()) return;
    for (QWidget* w : window.findChildren<QWidget*>())
        if (!w->isWindow() && w->isVisible()) w->update();
    window.repaint();
}

ProgressBox::ProgressBox(QWidget* parent, const char* title) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(title));
    setWindowModality(Qt::ApplicationModal);
    label_ = new QLabel(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    cancel_ = new QPushButton(tr("Cancel"), this);
    connect(cancel_, &QPushButton::clicked, this, &ProgressBox::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    setMinimumWidth(std::max(360, titleBarWidth(windowTitle(), this)));
}

void ProgressBox::showProgress(const std::string& line, int percent) {
    if (!cancelled_) label_->setText(QString::fromStdString(line));
    bar_->setValue(percent);
    if (!isVisible()) QDialog::show();
}

QString ProgressBox::line() const { return label_->text(); }

void ProgressBox::reject() {
    if (cancelled_) return;
    cancelled_ = true;
    cancel_->setEnabled(false);
    label_->setText(label_->text() + "\n" + QString::fromUtf8(dialog_texts::kCancellingText));
}

RunProgress::RunProgress(Program& program, QWidget& window, QObject& clock)
    : program_(program), model_(program.form1()), window_(&window), clock_(clock) {}

RunProgress::~RunProgress() { closeBox(); }

void RunProgress::runStarted(const std::string& busy) {
    closeBox();
    pairsDone_ = 0;
    model_.runStarted(busy);
    step();
}

void RunProgress::runBegan(const std::string& began) {
    model_.runBegan(began);
    step();
}

void RunProgress::pairStarted(int i, int j) {
    model_.pairStarted(i, j);
    if (program_.state().DetailedDifferences == Flag::Yes) showBox(i, j, 0);
    writing_ = box_ != nullptr;
    step();
}

void RunProgress::detailFiles(int i, int j, int percent) {
    model_.detailFiles(i, j, percent);
    if (box_) showBox(i, j, percent);
    step();
}

void RunProgress::sorting(int i, int j) {
    model_.sorting(i, j);
    writing_ = false;
    step();
}

void RunProgress::pairDone(int i, int j, const DateTime& now) {
    model_.pairDone(i, j, now);
    ++pairsDone_;
    writing_ = false;
    step();
}

void RunProgress::sortWork(const std::string& stage, int percent) {
    model_.sortWork(stage, percent);
    if (!sortWorking_.isValid()) sortWorking_.start();
    if (!box_ && sortWorking_.elapsed() >= kSortBoxAfterMs) openBox(dialog_texts::kSortProgressTitle);
    if (box_) {
        box_->showProgress(progress_texts::sortStage(stage, percent), percent);
        writing_ = true;
    }
    step();
}

bool RunProgress::cancelRequested() {
    if (!box_ || !writing_) return box_ && box_->cancelled();
    if (sinceEvents_.elapsed() >= kEventsEveryMs) letEventsIn();
    return box_ && box_->cancelled();
}

void RunProgress::closeBox() {
    writing_ = false;
    // After a question the sort's second counts anew.
    sortWorking_.invalidate();
    if (!box_) return;
    box_.reset();
    heldTicks_.reset();
    if (window_) repaintWhole(*window_);
}

void RunProgress::openBox(const char* title) {
    box_ = std::make_unique<ProgressBox>(window_, title);
    heldTicks_ = std::make_unique<TickHold>();
    clock_.installEventFilter(heldTicks_.get());
}

void RunProgress::showBox(int i, int j, int percent) {
    if (!box_) openBox(dialog_texts::kRunProgressTitle);
    const int n = program_.state().TreatmentCount;
    const int pairs = n > 1 ? n * (n - 1) / 2 : 1;
    box_->showProgress(progress_texts::comparing(i, j) + "\n" + progress_texts::detailFiles(percent),
                       (100 * pairsDone_ + percent) / pairs);
}

void RunProgress::step() {
    // The whole window: where a closed box stood, it would show its remains.
    if (window_) repaintWhole(*window_);
    // Cancel is taken only while a pair's files are written (so that it
    // always stops the pair the box names) or a long sort works.
    if (writing_) letEventsIn();
}

void RunProgress::letEventsIn() {
    sinceEvents_.restart();
    QApplication::processEvents();
}

}  // namespace lumera::gui
