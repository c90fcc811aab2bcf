// How the window ends: Enter and Esc end it at once, a close request saves the settings first.
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QPushButton>

#include "link/install_layout.h"
#include "window/modem_test_dlg.h"
#include "window/settings_file.h"

using namespace karvex;

void CModemTestDlg::OnClose() {
    if (!settingsPath_.isEmpty()) {
        if (createSettingsDir_) {
            MakePrivateDirs(QFile::encodeName(QFileInfo(settingsPath_).path()).toStdString());
        }
        // A file that cannot be written is not reported: the window closes as usual.
        SaveSettings(settingsPath_, CollectSettings());
    }
    done(IDCANCEL);
}

void CModemTestDlg::closeEvent(QCloseEvent* event) {
    // The title bar's close button, the window menu's Close and Alt+F4.
    OnClose();
    event->accept();
}

bool CModemTestDlg::HandleDialogKey(QObject* target, QKeyEvent* key) {
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
        return false;
    }
    switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(target)) {
                if (button->isEnabled()) {
                    button->click();
                }
                return true;
            }
            done(IDOK);
            return true;
        case Qt::Key_Escape:
            done(IDCANCEL);
            return true;
        default:
            return false;
    }
}

bool CModemTestDlg::eventFilter(QObject* watched, QEvent* event) {
    // The controls see Enter and Esc first; the dialog takes them before a control can swallow
    // them (an open drop-down list is a window of its own and still closes on Esc).
    if (event->type() == QEvent::KeyPress &&
        HandleDialogKey(watched, static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CModemTestDlg::keyPressEvent(QKeyEvent* event) {
    if (HandleDialogKey(focusWidget(), event)) {
        return;
    }
    QDialog::keyPressEvent(event);
}
