#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QStyleFactory>
#include <QTextStream>
#include <string>

#include "app/commands.h"
#include "gui/form1_view.h"
#include "gui/qt_dialogs.h"
#include "shell/program.h"
#include "textio/temporary_files.h"

int main(int argc, char** argv) {
    // Started from a terminal, Ctrl-C leaves no unfinished file behind.
    lumera::installInterruptCleanup("lumera");
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setApplicationName(QStringLiteral("Lumera"));
    // The installed desktop entry, lumera.desktop: the desktop matches the
    // window to its menu entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("lumera"));

    // The working folder is the folder the program is started in. A desktop
    // entry cannot name the user's home folder (no ~ or $HOME in it), and a
    // menu may start programs in "/", so the entry asks for it with --home.
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Lumera: the Cartesian paired test, in a window."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption homeOption(
        QStringLiteral("home"),
        QStringLiteral("Work in your home folder, not the current one (as the menu entry does)."));
    parser.addOption(homeOption);
    if (!parser.parse(QApplication::arguments())) {
        QTextStream(stderr) << parser.errorText() << "\n\n" << parser.helpText();
        return 2;
    }
    if (parser.isSet(helpOption)) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    if (parser.isSet(homeOption) && !QDir::setCurrent(QDir::homePath()))
        QTextStream(stderr) << "lumera: cannot enter the home folder " << QDir::homePath() << "; staying in "
                            << QDir::currentPath() << '\n';

    lumera::gui::QtDialogs dialogs;
    lumera::SystemClock clock;
    lumera::SystemRandom random;
    const std::string folder = lumera::startingFolder(QDir::homePath().toStdString());
    if (folder.empty())
        QTextStream(stderr) << "lumera: neither the current folder nor the home folder can be entered\n";
    lumera::Program program(dialogs, clock, random, folder);
    lumera::installCommands(program);
    program.form1().Form_Load();

    lumera::gui::Form1View window(program, &dialogs);
    window.syncAll();
    window.show();
    int code = QApplication::exec();
    program.endProgram();  // whatever way the loop ended, no line of an open file is lost
    return code;
}
