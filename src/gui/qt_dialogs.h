#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <utility>

#include "shell/dialogs.h"

namespace lumera::gui {

// The program's questions as modal Qt boxes over the main window.
class QtDialogs : public Dialogs {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    // Runs before every question: the handler asking holds the thread, so
    // the window behind the box is brought in line with its model here.
    void setBeforeQuestion(std::function<void()> action) { beforeQuestion_ = std::move(action); }

    Answer message(const std::string& title, const std::string& text, Buttons buttons) override;
    std::string input(const std::string& title, const std::string& prompt, const std::string& defaultText) override;
    std::string openFile(const std::string& title, const std::string& folder) override;
    void beep() override;

private:
    void prepare() const {
        if (beforeQuestion_) beforeQuestion_();
    }

    QPointer<QWidget> parent_;
    std::function<void()> beforeQuestion_;
};

}  // namespace lumera::gui
