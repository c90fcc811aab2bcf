// The connect and execute buttons and the enable states that follow the link.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "resources/main_dialog.h"
#include "window/cp932.h"
#include "window/item_fields.h"
#include "window/log_view.h"
#include "window/modem_test_app.h"
#include "window/modem_test_dlg.h"
#include "window/panel_bridge.h"

using namespace karvex;
using namespace karvex::res;

namespace {

std::string FieldBytes(const QWidget* field) {
    // CP932 bytes of the text exactly as the field holds it: no trimming.
    return ToCp932(static_cast<const QLineEdit*>(field)->text()).toStdString();
}

}  // namespace

bool CModemTestDlg::LinkOpen() const {
    return session_->LinkOpen();
}

OperatorPanel& CModemTestDlg::Panel() {
    return *panel_;
}

void CModemTestDlg::EnableInputs(bool enable) {
    for (int id : InputControls()) {
        Control(id)->setEnabled(enable);
    }
}

void CModemTestDlg::EnableInputsFromWorker(bool enable) {
    // A run that a disconnect ended reports in late; the closed link's state must stand.
    if (!session_->LinkOpen()) {
        return;
    }
    EnableInputs(enable);
}

void CModemTestDlg::OnConnect() {
    auto* connectButton = static_cast<QPushButton*>(Control(kIdConnect));
    auto* com = static_cast<QComboBox*>(Control(kIdComPort));
    if (!session_->LinkOpen()) {
        // "\\.\" and the selected entry's text; with no entry selected, the bare prefix.
        const QString name = com->currentIndex() >= 0 ? com->currentText() : QString();
        const std::string path = "\\\\.\\" + name.toStdString();
        panel_->NewGeneration();
        if (!session_->Connect(path)) {
            OpenMessageBox(*this, QStringLiteral("COM error."));
            return;
        }
        connectButton->setText(QStringLiteral("切断"));
        EnableInputs(true);
        com->setEnabled(false);
        logView_->Refresh();  // the connect cleared the log
        return;
    }
    // Every thread of the link is stopped and joined here; that takes a few milliseconds.
    session_->Disconnect();
    panel_->NewGeneration();
    connectButton->setText(QStringLiteral("接続"));
    EnableInputs(false);
    com->setEnabled(true);
    Control(kIdTolva1)->setEnabled(true);
    Control(kIdTolva2)->setEnabled(true);
}

void CModemTestDlg::OnExecute() {
    // Everything the worker needs is read here, on the UI thread.
    TestInputs inputs;
    inputs.item = static_cast<QComboBox*>(Control(kIdTestItem))->currentIndex();
    inputs.tolva2 = static_cast<QRadioButton*>(Control(kIdTolva2))->isChecked();
    inputs.apn = FieldBytes(Control(kIdApn));
    inputs.user = FieldBytes(Control(kIdUser));
    inputs.password = FieldBytes(Control(kIdPassword));
    inputs.phone = FieldBytes(Control(kIdPhone));
    inputs.smsNumber = FieldBytes(Control(kIdSmsNumber));
    // Refused (and nothing done) while a sequence still runs or the link is closed; the enable
    // states keep the button from being pressed then.
    if (session_->Execute(inputs)) {
        logView_->Refresh();  // the execute cleared the log
    }
}
