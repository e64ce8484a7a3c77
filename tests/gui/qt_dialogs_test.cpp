// The program's Qt boxes themselves: their titles in full.
#include "gui/qt_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QScreen>

#include "shell/dialog_texts.h"
#include "support/modal_driver.h"
#include "support/qt_app.h"

namespace lumera::gui {
namespace {

using Box = QMessageBox;
using test::ModalDriver;

// What a title bar needs at least: the title in bold, and room for an icon
// and three buttons no narrower than a line of text is high.
int titleNeeds(const QString& title) {
    QFont font = QApplication::font();
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(title) + 4 * metrics.height();
}

TEST(QtDialogsTest, EveryBoxIsWideEnoughForItsTitle) {
    test::qtApp();
    QtDialogs dialogs;
    struct Case {
        const char* title;
        bool input;
        Buttons buttons;
    };
    using namespace dialog_texts;
    const Case cases[] = {{kTreatmentCountTitle, true, Buttons::Ok},     {kCodeTitle, true, Buttons::Ok},
                          {kSortKindTitle, false, Buttons::YesNoCancel}, {kDetailInfoTitle, false, Buttons::YesNo},
                          {kRunCancelledTitle, false, Buttons::Ok},      {kDecimalsTitle, false, Buttons::OkCancel}};
    const int screen = QApplication::primaryScreen()->availableGeometry().width();
    for (const Case& c : cases) {
        const QString title = QString::fromUtf8(c.title);
        ASSERT_LT(titleNeeds(title), screen) << c.title;
        int width = 0;
        ModalDriver driver;
        auto seen = [&](QWidget* box) { width = box->width(); };
        if (c.input) {
            driver.input(title, "Short", "1").whileShown(seen);
            driver.run([&] { dialogs.input(c.title, "Short", "1"); });
        } else {
            const QMessageBox::StandardButtons buttons = c.buttons == Buttons::Ok         ? Box::Ok
                                                         : c.buttons == Buttons::OkCancel ? Box::Ok | Box::Cancel
                                                         : c.buttons == Buttons::YesNo
                                                             ? Box::Yes | Box::No
                                                             : Box::Yes | Box::No | Box::Cancel;
            driver
                .message(title, "Short.", buttons,
                         c.buttons == Buttons::Ok || c.buttons == Buttons::OkCancel ? Box::Ok : Box::Yes)
                .whileShown(seen);
            driver.run([&] { dialogs.message(c.title, "Short.", c.buttons); });
        }
        ASSERT_FALSE(driver.failed()) << c.title;
        EXPECT_GE(width, titleNeeds(title)) << c.title;
    }
}

// The save dialogue: the chosen kind's ending goes on a name without one of
// the kinds' endings, and only there.
TEST(QtDialogsTest, TheSaveDialogueGivesTheNameTheChosenKindsEnding) {
    test::qtApp();
    QtDialogs dialogs;
    const QString folder = QDir::tempPath();
    const std::vector<std::string> kinds = {"PNG picture (*.png)", "SVG drawing (*.svg)"};
    struct Case {
        const char* typed;
        const char* returned;
    };
    for (const Case& c : {Case{"chart", "chart.png"}, Case{"first.png", "first.png"}, Case{"chart.SVG", "chart.SVG"},
                          Case{"a.b", "a.b.png"}}) {
        ModalDriver driver;
        driver.openFile("Save the chart", folder, c.typed);
        std::string path;
        driver.run([&] { path = dialogs.saveFile("Save the chart", folder.toStdString(), "offered.png", kinds); });
        ASSERT_FALSE(driver.failed()) << c.typed;
        EXPECT_EQ(QFileInfo(QString::fromStdString(path)).fileName().toStdString(), c.returned);
    }
}

}  // namespace
}  // namespace lumera::gui
