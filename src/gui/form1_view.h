#pragma once
#include <QLabel>
#include <QPointer>
#include <QScrollArea>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "gui/chart_files.h"
#include "shell/controls.h"

namespace lumera {
class Program;
}

namespace lumera::gui {

class QtDialogs;
class RunProgress;
class VaterView;

// A label that reports clicks and double-clicks.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// Draws the main window's model and hands the user's clicks back to it.
// Everything it shows comes from the model; it keeps no state of its own
// but the scale at which it draws the model's twips and fonts: the one that
// fits the window, never so small that text falls under 9 device pixels
// (scroll bars then reach the rest).
class Form1View : public QWidget, public RefreshSink {
    Q_OBJECT
public:
    // questions: the program's Qt dialogs, which then stand over this window
    // and find it up to date.
    explicit Form1View(Program& program, QtDialogs* questions = nullptr);
    ~Form1View() override;

    // Brings every widget in line with the model.
    void syncAll();
    void refresh(const Control& control) override;
    QWidget* widgetFor(const std::string& controlName) const;
    VaterView* vaterView() const { return vaterView_.get(); }
    RunProgress& runProgress() const { return *progress_; }

    // The model's window drawn at the current scale, inside the scrolled area.
    QWidget* canvas() const { return canvas_; }
    QScrollArea* scrollArea() const { return scroll_; }
    double scale() const { return scale_; }
    // The smallest scale at which the smallest text keeps 9 device pixels.
    double minimumScale() const;
    // Sizes and places the window to fit the screen's available area.
    void fitToScreen();

    // What a click on the named control does, then the window follows the model.
    void clickControl(const std::string& name);
    void doubleClickControl(const std::string& name);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void sync(const Control& control);
    void afterHandler();
    void tick();
    void applyScale(double scale);
    double fittingScale(QSize area) const;
    QSize drawnSize(double scale) const;
    void layoutResultGrid();
    void openRequestedFolder();
    ChartMenuTarget chartMenuTarget(std::function<const ChartControl*()> chart);

    Program& program_;
    QtDialogs* questions_;
    QScrollArea* scroll_ = nullptr;
    QWidget* canvas_ = nullptr;
    double scale_ = 1;
    std::map<const Control*, QWidget*> widgets_;
    QTimer timer_;
    std::unique_ptr<VaterView> vaterView_;
    std::unique_ptr<RunProgress> progress_;
};

}  // namespace lumera::gui
