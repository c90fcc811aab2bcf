#include "window/modem_test_app.h"
#include "link/serial_port.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include "window/modem_test_dlg.h"
#include "window/settings_file.h"
#include "window/stop_signals.h"

bool CModemTestApp::InitInstance() {
    CModemTestDlg dlg;
    mainWindow_ = &dlg;
    const karvex::StopSignals stop([&dlg] { dlg.OnStopSignal(); });
    dlg.exec();
    mainWindow_ = nullptr;
    return false;
}

namespace karvex {

QString ApplicationTitle() {
    const QString exe = QFile::decodeName(ExecutablePath().c_str());
    if (!exe.isEmpty()) {
        return QFileInfo(exe).completeBaseName();
    }
    return QCoreApplication::applicationName();
}

void OpenMessageBox(QWidget& parent, const QString& text) {
    auto* box =
        new QMessageBox(QMessageBox::NoIcon, ApplicationTitle(), text, QMessageBox::Ok, &parent);
    box->setFont(parent.font());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

}  // namespace karvex
