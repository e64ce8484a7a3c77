#pragma once
#include <QPointer>
#include <QWidget>

#include "shell/dialogs.h"

namespace lumera::gui {

// The program's questions as modal Qt boxes over the main window.
class QtDialogs : public Dialogs {
public:
    void setParent(QWidget* parent) { parent_ = parent; }

    Answer message(const std::string& title, const std::string& text, Buttons buttons) override;
    std::string input(const std::string& title, const std::string& prompt, const std::string& defaultText) override;
    std::string openFile(const std::string& title, const std::string& folder) override;
    void beep() override;

private:
    QPointer<QWidget> parent_;
};

}  // namespace lumera::gui
