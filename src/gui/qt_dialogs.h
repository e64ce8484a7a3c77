#pragma once
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <utility>

#include "shell/dialogs.h"

namespace lumera::gui {

// The width a window needs to show its whole title in its title bar: the
// text in the title font plus the bar's icon, buttons and frame, at most the
// screen's available width.
int titleBarWidth(const QString& title, const QWidget* window);

// The program's questions as modal Qt boxes over the main window.
class QtDialogs : public Dialogs {
public:
    void setParent(QWidget* parent) { parent_ = parent; }
    // Runs before every question: the handler asking holds the thread, so
    // the window behind the box is brought in line with its model here.
    void setBeforeQuestion(std::function<void()> action) { beforeQuestion_ = std::move(action); }
    // Runs when a box has gone, before the handler goes on: the window
    // behind must be drawn again where the box stood.
    void setAfterQuestion(std::function<void()> action) { afterQuestion_ = std::move(action); }

    using Dialogs::message;
    Answer message(const std::string& title, const std::string& text, Buttons buttons,
                   std::optional<Answer> defaultButton) override;
    std::string input(const std::string& title, const std::string& prompt, const std::string& defaultText) override;
    std::string openFile(const std::string& title, const std::string& folder) override;
    std::string saveFile(const std::string& title, const std::string& folder, const std::string& name,
                         const std::vector<std::string>& kinds) override;
    void beep() override;

private:
    // Made before the box and gone after it, so the box is closed when the
    // window behind is drawn.
    class Asking {
    public:
        explicit Asking(const QtDialogs& dialogs) : dialogs_(dialogs) {
            if (dialogs_.beforeQuestion_) dialogs_.beforeQuestion_();
        }
        ~Asking() {
            if (dialogs_.afterQuestion_) dialogs_.afterQuestion_();
        }
        Asking(const Asking&) = delete;
        Asking& operator=(const Asking&) = delete;

    private:
        const QtDialogs& dialogs_;
    };

    QPointer<QWidget> parent_;
    std::function<void()> beforeQuestion_;
    std::function<void()> afterQuestion_;
};

}  // namespace lumera::gui
