// How the window ends: Enter and Esc end it at once, a close request saves the settings first,
// a signal from outside closes the link and then ends it as Esc does.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

#include "window/modem_test_dlg.h"

using namespace karvex;

void CModemTestDlg::closeEvent(QCloseEvent* event) {
    // The title bar's close button, the window menu's Close and Alt+F4.
    OnClose();
    event->accept();
}

void CModemTestDlg::OnStopSignal() {
    // The port and its lock file are released first, whatever runs now; then every dialog of
    // ours ends (a message box, the log's file dialog with its own event loop), and the window
    // ends without saving the settings, as with Esc.
    session_->Disconnect();
    for (QDialog* dialog : findChildren<QDialog*>()) {
        if (dialog->isVisible()) dialog->reject();
    }
    controller_->OnCancel();
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
            controller_->OnOk();
            return true;
        case Qt::Key_Escape:
            controller_->OnCancel();
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
