#include "gui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QTreeView>

namespace lumera::gui {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

Answer QtDialogs::message(const std::string& title, const std::string& text, Buttons buttons) {
    prepare();
    QMessageBox box(QMessageBox::NoIcon, q(title), q(text), QMessageBox::NoButton, parent_);
    switch (buttons) {
        case Buttons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case Buttons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case Buttons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case Buttons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.setEscapeButton(QMessageBox::Cancel);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        case QMessageBox::Ok:
            return Answer::Ok;
        default:
            return Answer::Cancel;
    }
}

std::string QtDialogs::input(const std::string& title, const std::string& prompt, const std::string& defaultText) {
    prepare();
    QInputDialog dialog(parent_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(q(title));
    dialog.setLabelText(q(prompt));
    dialog.setTextValue(q(defaultText));
    dialog.resize(420, dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.textValue().toStdString();
}

std::string QtDialogs::openFile(const std::string& title, const std::string& folder) {
    prepare();
    QFileDialog dialog(parent_, q(title), q(folder), QStringLiteral("Text files (*.txt);;All files (*)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Wide enough for the long names the program writes; the name column
    // takes the width, the others fit their text (widget dialogue only).
    dialog.resize(900, 520);
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        details->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        details->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? std::string() : chosen.front().toStdString();
}

void QtDialogs::beep() { QApplication::beep(); }

}  // namespace lumera::gui
