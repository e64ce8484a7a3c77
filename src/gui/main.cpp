#include <QApplication>
#include <QStyleFactory>
#include <filesystem>

#include "app/commands.h"
#include "gui/form1_view.h"
#include "gui/qt_dialogs.h"
#include "shell/program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(QStringLiteral("Lumera"));

    lumera::gui::QtDialogs dialogs;
    lumera::SystemClock clock;
    lumera::SystemRandom random;
    lumera::Program program(dialogs, clock, random, std::filesystem::current_path().string());
    lumera::installCommands(program);
    program.form1().Form_Load();

    lumera::gui::Form1View window(program, &dialogs);
    window.syncAll();
    window.show();
    int code = QApplication::exec();
    program.endProgram();  // whatever way the loop ended, no line of an open file is lost
    return code;
}
