#pragma once
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>

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
// Everything it shows comes from the model; it keeps no state of its own.
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

    // What a click on the named control does, then the window follows the model.
    void clickControl(const std::string& name);
    void doubleClickControl(const std::string& name);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void build();
    void sync(const Control& control);
    void afterHandler();
    void tick();

    Program& program_;
    QtDialogs* questions_;
    std::map<const Control*, QWidget*> widgets_;
    QTimer timer_;
    std::unique_ptr<VaterView> vaterView_;
    std::unique_ptr<RunProgress> progress_;
};

}  // namespace lumera::gui
