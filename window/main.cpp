#include <QApplication>

#include "window/modem_test_app.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    CModemTestApp theApp;
    theApp.InitInstance();
    return 0;
}
