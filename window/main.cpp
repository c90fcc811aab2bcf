#include <QApplication>
#include <cstdio>

#include "link/cp932.h"
#include "window/modem_test_app.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Ties the window to the menu entry (its icon and name in the task bar and the dock).
    QGuiApplication::setDesktopFileName(QStringLiteral("internal.karvex.Karvex"));
    // Commands and the settings file are CP932: without the codec every non-ASCII field would
    // go out as question marks, silently.
    if (!karvex::Cp932Available()) {
        std::fputs(
            "karvex: the C library has no CP932 (Shift-JIS) converter; install its gconv "
            "modules.\n",
            stderr);
        return 1;
    }
    CModemTestApp theApp;
    theApp.InitInstance();
    return 0;
}
