#pragma once
#include <QApplication>

namespace lumera::test {

// One application object for every Qt test of the binary. It is never
// destroyed: destroying it among the exit handlers, after Qt's own statics,
// crashes with the input device that simulated clicks register.
inline QApplication& qtApp() {
    static int argc = 1;
    static char name[] = "lumera_gui_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* instance = new QApplication(argc, argv);
    return *instance;
}

}  // namespace lumera::test
