// The application object that Qt's fonts, printers and windows need, made once per test
// program and kept to its end.
#pragma once

#include <QApplication>

namespace invarro::testing {

inline QApplication& QtApp() {
    static int argc = 1;
    static char name[] = "invarro-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace invarro::testing
