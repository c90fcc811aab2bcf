#include <QApplication>

#include "window/modem_test_app.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Ties the window to the menu entry (its icon and name in the task bar and the dock).
    QGuiApplication::setDesktopFileName(QStringLiteral("internal.karvex.Karvex"));
    CModemTestApp theApp;
    theApp.InitInstance();
    return 0;
}
