#include "window/modem_test_app.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>

#include "link/program_path.h"
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
    const std::string exe = ExecutablePath();
    if (!exe.empty()) {
        return QFile::decodeName(BaseNameOf(exe).c_str());
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
