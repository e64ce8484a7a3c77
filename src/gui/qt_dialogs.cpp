#include "gui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLayout>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScreen>
#include <QShowEvent>
#include <QTreeView>
#include <algorithm>

namespace lumera::gui {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QMessageBox::StandardButton standardButton(Answer a) {
    switch (a) {
        case Answer::Ok:
            return QMessageBox::Ok;
        case Answer::Cancel:
            return QMessageBox::Cancel;
        case Answer::Yes:
            return QMessageBox::Yes;
        case Answer::No:
            return QMessageBox::No;
    }
    return QMessageBox::NoButton;
}

// A message box sizes itself when shown, allowing for its title only a
// narrow margin; it is widened afterwards to hold the whole title.
class TitledMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        widen();
    }
    bool event(QEvent* event) override {
        const bool done = QMessageBox::event(event);
        if (event->type() == QEvent::LayoutRequest) widen();
        return done;
    }

private:
    void widen() {
        const int needed = titleBarWidth(windowTitle(), this);
        if (width() >= needed || layout() == nullptr) return;
        const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(needed)
                                                         : layout()->totalMinimumSize().height();
        setFixedSize(needed, std::max(height, this->height()));
    }
};

}  // namespace

int titleBarWidth(const QString& title, const QWidget* window) {
    // Title bars commonly set their text in bold.
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    // The icon and the three buttons are about as wide as the bar is high.
    const int bar = metrics.height() * 3 / 2 + 6;
    const int decorations = 4 * bar + 16;
    int width = metrics.horizontalAdvance(title) + decorations;
    const QScreen* screen = window != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) width = std::min(width, screen->availableGeometry().width());
    return width;
}

Answer QtDialogs::message(const std::string& title, const std::string& text, Buttons buttons,
                          std::optional<Answer> defaultButton) {
    Asking asking(*this);
    TitledMessageBox box(QMessageBox::NoIcon, q(title), q(text), QMessageBox::NoButton, parent_);
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
    if (defaultButton) box.setDefaultButton(standardButton(*defaultButton));
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
    Asking asking(*this);
    QInputDialog dialog(parent_);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowTitle(q(title));
    dialog.setLabelText(q(prompt));
    dialog.setTextValue(q(defaultText));
    dialog.setMinimumWidth(titleBarWidth(dialog.windowTitle(), &dialog));
    dialog.resize(std::max(420, dialog.minimumWidth()), dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.textValue().toStdString();
}

std::string QtDialogs::openFile(const std::string& title, const std::string& folder) {
    Asking asking(*this);
    QFileDialog dialog(parent_, q(title), q(folder), QStringLiteral("Text files (*.txt);;All files (*)"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Wide enough for the long names the program writes; the name column
    // takes the width, the others fit their text (widget dialogue only).
    dialog.resize(std::max(900, titleBarWidth(dialog.windowTitle(), &dialog)), 520);
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        details->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
        details->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? std::string() : chosen.front().toStdString();
}

std::string QtDialogs::saveFile(const std::string& title, const std::string& folder, const std::string& name,
                                const std::vector<std::string>& kinds) {
    Asking asking(*this);
    QStringList filters;
    for (const std::string& kind : kinds) filters.push_back(q(kind));
    QFileDialog dialog(parent_, q(title), q(folder));
    dialog.setNameFilters(filters);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(q(name));
    dialog.resize(std::max(900, titleBarWidth(dialog.windowTitle(), &dialog)), 520);
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    QString path = chosen.front();
    // The ending of the kind chosen, unless the name has one of the kinds'.
    static const QRegularExpression ending(QStringLiteral("\\*(\\.[A-Za-z0-9]+)"));
    bool known = false;
    for (const QString& filter : filters)
        for (auto it = ending.globalMatch(filter); it.hasNext();) {
            const QString kindEnding = it.next().captured(1);
            if (path.endsWith(kindEnding, Qt::CaseInsensitive)) known = true;
        }
    const QRegularExpressionMatch selected = ending.match(dialog.selectedNameFilter());
    if (!known && selected.hasMatch()) path += selected.captured(1);
    return path.toStdString();
}

void QtDialogs::beep() { QApplication::beep(); }

}  // namespace lumera::gui
