#pragma once
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <memory>
#include <string>

#include "shell/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace lumera {
class Program;
}

namespace lumera::gui {

// Paints the whole window now and puts it on the screen, while the thread
// is held: controls that fill their own background are painted too, as
// painting the window alone would leave them (and whatever a closed box
// left on the screen over them) as they were.
void repaintWhole(QWidget& window);

// A small modal box with the progress of a run that writes detail files, or
// of a long sort, and Cancel: the one control that takes input while the run
// goes on.
class ProgressBox : public QDialog {
    Q_OBJECT
public:
    ProgressBox(QWidget* parent, const char* title);
    void showProgress(const std::string& line, int percent);
    bool cancelled() const { return cancelled_; }
    QPushButton* cancelButton() const { return cancel_; }
    QString line() const;

    void reject() override;  // Escape and the close box ask to cancel too

private:
    QLabel* label_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    bool cancelled_ = false;
};

// The main window's side of a run's progress. The run holds the thread, so
// nothing would draw the window: every step draws the whole of it at once.
// A run with detail files, and a sort whose work goes on for more than about
// a second, also show the progress box, and let events in while it is up;
// the box being modal, the main window takes no input, and its clock's
// ticks are held back until the box has gone.
class RunProgress : public Progress {
public:
    RunProgress(Program& program, QWidget& window, QObject& clock);
    ~RunProgress() override;
    RunProgress(const RunProgress&) = delete;
    RunProgress& operator=(const RunProgress&) = delete;

    void runStarted(const std::string& busy) override;
    void runBegan(const std::string& began) override;
    void pairStarted(int i, int j) override;
    void detailFiles(int i, int j, int percent) override;
    void sorting(int i, int j) override;
    void pairDone(int i, int j, const DateTime& now) override;
    void sortWork(const std::string& stage, int percent) override;
    bool cancelRequested() override;

    // The box goes: before a question, and when the command has ended.
    void closeBox();
    ProgressBox* box() const { return box_.get(); }

private:
    void step();
    void showBox(int i, int j, int percent);
    void openBox(const char* title);
    void letEventsIn();

    Program& program_;
    Progress& model_;
    QPointer<QWidget> window_;
    QObject& clock_;
    std::unique_ptr<ProgressBox> box_;
    std::unique_ptr<QObject> heldTicks_;  // filters the clock's ticks while the box is up
    QElapsedTimer sinceEvents_;
    QElapsedTimer sortWorking_;  // since the sort's work went on without a question
    int pairsDone_ = 0;
    bool writing_ = false;  // a pair's detail files, or a long sort, are under way with the box up
};

}  // namespace lumera::gui
