// The real window with a port of its own and no settings file, and the simulated board published
// as a COM port beside the test executable (dosdevices/comN).
#pragma once

#include <QComboBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include "link/serial_port.h"
#include "resources/main_dialog.h"
#include "sim/board.h"
#include "tests/support/com_lease.h"
#include "window/modem_test_dlg.h"

namespace karvex::soak {

class WindowRig {
  public:
    explicit WindowRig(int com) : lease(ExecutableDir(), com), com_(com) {
        EXPECT_TRUE(lease.Held()) << "COM" << com << " stayed in use by another test";
        EXPECT_TRUE(board.LinkCom(ExecutableDir(), com));
        CModemTestDlg::Options options;
        options.settingsPath = QString();  // nothing read, nothing written
        options.port = &port;
        dlg = std::make_unique<CModemTestDlg>(options);
        dlg->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
    }
    ~WindowRig() { dlg.reset(); }

    template <class W>
    W* Get(int id) const {
        return qobject_cast<W*>(dlg->Control(id));
    }
    void Press(int id) { QTest::mouseClick(Get<QPushButton>(id), Qt::LeftButton); }
    // Selects the rig's COM port and presses the connect button.
    void Connect() {
        Get<QComboBox>(res::kIdComPort)->setCurrentIndex(com_ - 1);
        Press(res::kIdConnect);
    }
    void Execute(int item) {
        Get<QComboBox>(res::kIdTestItem)->setCurrentIndex(item);
        Press(res::kIdExecute);
    }
    QString Caption() const { return Get<QPushButton>(res::kIdConnect)->text(); }
    QString ViewText() const { return Get<QPlainTextEdit>(res::kIdTrafficLog)->toPlainText(); }
    bool ExecuteEnabled() const { return dlg->Control(res::kIdExecute)->isEnabled(); }

    // Message boxes that are open now; their texts.
    QStringList OpenMessages() const {
        QStringList texts;
        for (QMessageBox* box : dlg->findChildren<QMessageBox*>()) {
            if (box->isVisible()) texts << box->text();
        }
        return texts;
    }
    void CloseMessages() {
        for (QMessageBox* box : dlg->findChildren<QMessageBox*>()) {
            if (box->isVisible()) box->accept();
        }
        QCoreApplication::processEvents();
    }

    testing::ComLease lease;  // first: held before the board links COM`com_`, released after
    sim::Board board;
    SerialPort port;
    std::unique_ptr<CModemTestDlg> dlg;

  private:
    int com_;
};

}  // namespace karvex::soak
