#pragma once
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace lumera::test {

// Plays the user at the program's real modal dialogs. While an action runs
// (a click whose handler opens them one after another), a timer looks at the
// modal dialog on top, checks that it is the one expected next and answers it
// with mouse and keyboard. A dialog that is unexpected, shows the wrong
// buttons, never comes or never closes fails the test naming it; from then on
// every dialog is dismissed so that the action can end. A dialog that cannot
// even be dismissed ends the process with its name rather than hang.
class ModalDriver {
public:
    using Check = std::function<void(QWidget*)>;

    ModalDriver& message(QString title, QString text, QMessageBox::StandardButtons buttons,
                         QMessageBox::StandardButton press) {
        Step s = step(Kind::Message, std::move(title));
        s.text = std::move(text);
        s.buttons = buttons;
        s.press = press;
        steps_.push_back(std::move(s));
        return *this;
    }
    // typed: the text typed over the default; none: the default is kept.
    ModalDriver& input(QString title, QString prompt, QString defaultText, std::optional<QString> typed = {}) {
        Step s = step(Kind::Input, std::move(title));
        s.text = std::move(prompt);
        s.defaultText = std::move(defaultText);
        s.typed = std::move(typed);
        steps_.push_back(std::move(s));
        return *this;
    }
    // folder: where the dialogue must open; typed: the name entered in it.
    // A save dialogue is answered the same way.
    ModalDriver& openFile(QString title, QString folder, QString typed) {
        Step s = step(Kind::File, std::move(title));
        s.folder = std::move(folder);
        s.typed = std::move(typed);
        steps_.push_back(std::move(s));
        return *this;
    }
    // A box that shows a run's progress while the run goes on: nothing is
    // pressed until `cancelWhen` holds for it, then its Cancel button is.
    // Without `cancelWhen` it is left to close by itself.
    ModalDriver& progress(QString title, std::function<bool(QWidget*)> cancelWhen = {}) {
        Step s = step(Kind::Progress, std::move(title));
        s.cancelWhen = std::move(cancelWhen);
        steps_.push_back(std::move(s));
        return *this;
    }
    // Enter, rather than a click, answers the message added last; `press`
    // is then the button that Enter must press (the box's default).
    ModalDriver& byEnter() {
        steps_.back().enter = true;
        return *this;
    }
    // More checks while the dialog added last is showing.
    ModalDriver& whileShown(Check check) {
        steps_.back().checks.push_back(std::move(check));
        return *this;
    }

    // Runs the action (it returns when its handler has ended) with the driver
    // answering; then every expected dialog must have been shown.
    void run(const std::function<void()>& action) {
        QTimer timer;
        timer.setInterval(kPollMs);
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        sinceProgress_.start();
        timer.start();
        action();
        timer.stop();
        // After a failure the rest follows from it.
        if (!failed_)
            for (const Step& s : steps_) ADD_FAILURE() << "dialog never shown: \"" << s.title.toStdString() << "\"";
        steps_.clear();
    }

    bool failed() const { return failed_; }

private:
    enum class Kind { Message, Input, File, Progress };
    struct Step {
        Kind kind = Kind::Message;
        QString title;
        QString text;  // message text or input prompt
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton press = QMessageBox::NoButton;
        QString defaultText;
        std::optional<QString> typed;
        QString folder;
        std::vector<Check> checks;
        std::function<bool(QWidget*)> cancelWhen;
        bool enter = false;
    };

    static Step step(Kind kind, QString title) {
        Step s;
        s.kind = kind;
        s.title = std::move(title);
        return s;
    }

    static constexpr int kPollMs = 20;
    static constexpr qint64 kCloseMs = 5000;    // an answered dialog closes at once
    static constexpr qint64 kAppearMs = 20000;  // the event loop runs, yet no dialog is up
    static constexpr qint64 kGiveUpMs = 5000;   // dismissing a dialog did not end it

    static std::string describe(QWidget* w) {
        std::string what = "dialog";
        std::string detail;
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            what = "message box";
            detail = box->text().left(160).toStdString();
        } else if (auto* in = qobject_cast<QInputDialog*>(w)) {
            what = "input box";
            detail = in->labelText().left(160).toStdString();
        } else if (qobject_cast<QFileDialog*>(w)) {
            what = "file dialogue";
        }
        std::string text = what + " \"" + w->windowTitle().toStdString() + "\"";
        if (!detail.empty()) text += " (" + detail + ")";
        return text;
    }

    static std::string buttonNames(QMessageBox::StandardButtons set) {
        static const std::pair<QMessageBox::StandardButton, const char*> names[] = {
            {QMessageBox::Ok, "OK"}, {QMessageBox::Cancel, "Cancel"}, {QMessageBox::Yes, "Yes"},
            {QMessageBox::No, "No"}, {QMessageBox::Close, "Close"},   {QMessageBox::Abort, "Abort"}};
        std::string text;
        for (auto [b, name] : names) {
            if (!set.testFlag(b)) continue;
            if (!text.empty()) text += '/';
            text += name;
        }
        return text.empty() ? "none" : text;
    }

    static QString canonical(const QString& folder) { return QFileInfo(folder).canonicalFilePath(); }

    void fail(const std::string& why) {
        ADD_FAILURE() << why;
        failed_ = true;
        sinceFailure_.start();
    }

    void poll() {
        QWidget* top = QApplication::activeModalWidget();
        if (failed_) {
            dismiss(top);
            return;
        }
        if (top != nullptr && top == waiting_) {
            sinceProgress_.restart();
            if (!waitingStep_.cancelWhen || !waitingStep_.cancelWhen(top)) return;
            pressCancel(top);
            return;
        }
        if (top == nullptr) {
            if (sinceProgress_.elapsed() > kAppearMs)
                fail("no dialog came up in " + std::to_string(kAppearMs / 1000) + " s; expected \"" +
                     (steps_.empty() ? std::string("none") : steps_.front().title.toStdString()) + "\"");
            return;
        }
        if (top == answered_) {
            if (sinceProgress_.elapsed() > kCloseMs) fail(describe(top) + " stayed open after " + lastAction_);
            return;
        }
        if (top == waited_) return;  // a progress box left to close by itself
        if (steps_.empty()) {
            fail("unexpected " + describe(top));
            return;
        }
        Step step = std::move(steps_.front());
        steps_.pop_front();
        if (top->windowTitle() != step.title) {
            fail("expected \"" + step.title.toStdString() + "\", but " + describe(top) + " is showing");
            return;
        }
        sinceProgress_.restart();
        if (step.kind == Kind::Progress) {
            waiting_ = top;
            waitingStep_ = std::move(step);
            poll();
            return;
        }
        answered_ = top;
        for (const Check& check : step.checks) check(top);
        switch (step.kind) {
            case Kind::Message:
                answerMessage(step, top);
                break;
            case Kind::Input:
                answerInput(step, top);
                break;
            case Kind::File:
                answerFile(step, top);
                break;
            case Kind::Progress:
                break;
        }
    }

    void pressCancel(QWidget* top) {
        for (const Check& check : waitingStep_.checks) check(top);
        waiting_ = nullptr;
        waited_ = top;
        QAbstractButton* cancel = nullptr;
        for (auto* b : top->findChildren<QAbstractButton*>())
            if (b->text().remove('&') == QStringLiteral("Cancel")) cancel = b;
        if (cancel == nullptr) return fail(describe(top) + " has no Cancel button");
        QTest::mouseClick(cancel, Qt::LeftButton);
    }

    void answerMessage(const Step& step, QWidget* top) {
        auto* box = qobject_cast<QMessageBox*>(top);
        if (box == nullptr) return fail("expected a message box, but " + describe(top) + " is showing");
        EXPECT_EQ(box->text().toStdString(), step.text.toStdString()) << "text of " << describe(top);
        if (box->standardButtons() != step.buttons)
            return fail(describe(top) + " shows the buttons " + buttonNames(box->standardButtons()) + ", not " +
                        buttonNames(step.buttons));
        if (step.enter) {
            auto* expected = qobject_cast<QPushButton*>(box->button(step.press));
            EXPECT_TRUE(expected != nullptr && expected->isDefault())
                << "the default button of " << describe(top) << " is not " << buttonNames(step.press);
            // Where the user's key goes: the button with the focus, if any.
            QWidget* focus = box->focusWidget();
            QTest::keyClick(focus != nullptr ? focus : box, Qt::Key_Return);
            lastAction_ = "pressing Enter";
            return;
        }
        QTest::mouseClick(box->button(step.press), Qt::LeftButton);
        lastAction_ = "pressing " + buttonNames(step.press);
    }

    void answerInput(const Step& step, QWidget* top) {
        auto* box = qobject_cast<QInputDialog*>(top);
        if (box == nullptr) return fail("expected an input box, but " + describe(top) + " is showing");
        EXPECT_EQ(box->labelText().toStdString(), step.text.toStdString()) << "prompt of " << describe(top);
        EXPECT_EQ(box->textValue().toStdString(), step.defaultText.toStdString()) << "default of " << describe(top);
        auto* edit = box->findChild<QLineEdit*>();
        auto* buttons = box->findChild<QDialogButtonBox*>();
        if (edit == nullptr || buttons == nullptr) return fail(describe(top) + " has no text field or no OK button");
        if (step.typed) {
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(edit, *step.typed);
            EXPECT_EQ(box->textValue().toStdString(), step.typed->toStdString()) << "typed into " << describe(top);
        }
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        lastAction_ = "pressing OK";
    }

    void answerFile(const Step& step, QWidget* top) {
        auto* dialog = qobject_cast<QFileDialog*>(top);
        if (dialog == nullptr) return fail("expected the file dialogue, but " + describe(top) + " is showing");
        EXPECT_EQ(canonical(dialog->directory().absolutePath()).toStdString(), canonical(step.folder).toStdString())
            << "folder of " << describe(top);
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        if (edit == nullptr || buttons == nullptr) return fail(describe(top) + " is not the widget dialogue");
        // Put in whole, not typed: typing brings up the completer's popup once
        // the folder has loaded in the background, and the popup then takes
        // the click on Open, or not, by timing.
        edit->setText(*step.typed);
        // Open, or Save in a save dialogue.
        QAbstractButton* open = buttons->button(QDialogButtonBox::Open);
        if (open == nullptr) open = buttons->button(QDialogButtonBox::Save);
        if (open == nullptr || !open->isEnabled()) return fail(describe(top) + ": Open cannot be pressed");
        QTest::mouseClick(open, Qt::LeftButton);
        lastAction_ = "choosing \"" + step.typed->toStdString() + "\"";
    }

    void dismiss(QWidget* top) {
        if (top == nullptr) return;
        if (sinceFailure_.elapsed() > kGiveUpMs) {
            std::fprintf(stderr, "giving up: %s cannot be closed\n", describe(top).c_str());
            std::fflush(stderr);
            std::fflush(stdout);
            std::_Exit(1);
        }
        if (auto* dialog = qobject_cast<QDialog*>(top)) dialog->reject();
    }

    std::deque<Step> steps_;
    QPointer<QWidget> answered_;
    QPointer<QWidget> waiting_;  // a progress box until its Cancel is due
    Step waitingStep_;
    QPointer<QWidget> waited_;  // a progress box whose part is played
    std::string lastAction_;
    QElapsedTimer sinceProgress_;
    QElapsedTimer sinceFailure_;
    bool failed_ = false;
};

}  // namespace lumera::test
