// What the window tests share: a dialog with its own port and settings path, the simulated board
// behind a COM number of the test's own, and the enable states of Part-free names.
#pragma once

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "link/modem_port.h"
#include "resources/main_dialog.h"
#include "sim/board.h"
#include "tests/support/com_lease.h"
#include "window/log_widget.h"
#include "window/modem_test_dlg.h"

namespace karvex::wt {

using namespace res;

// The controls whose enable state follows the link.
inline constexpr int kStateControls[] = {kIdComPort,  kIdTolva1,    kIdTolva2, kIdConnect,
                                         kIdExecute,  kIdTestItem,  kIdApn,    kIdUser,
                                         kIdPassword, kIdSmsNumber, kIdPhone};

enum class LinkView { Closed, Open, Running };

inline std::map<int, bool> ExpectedEnables(LinkView view) {
    std::map<int, bool> out;
    for (int id : kStateControls) {
        const bool radio = id == kIdTolva1 || id == kIdTolva2;
        switch (view) {
            case LinkView::Closed:
                out[id] = id == kIdComPort || radio || id == kIdConnect;
                break;
            case LinkView::Open:
                out[id] = id != kIdComPort;
                break;
            case LinkView::Running:
                out[id] = id == kIdConnect;
                break;
        }
    }
    return out;
}

inline std::map<int, bool> Enables(const CModemTestDlg& dlg) {
    std::map<int, bool> out;
    for (int id : kStateControls) {
        out[id] = dlg.Control(id)->isEnabled();
    }
    return out;
}

template <class W>
W* As(const CModemTestDlg& dlg, int id) {
    return qobject_cast<W*>(dlg.Control(id));
}

inline QString Caption(const CModemTestDlg& dlg) {
    return As<QPushButton>(dlg, kIdConnect)->text();
}

// Message boxes the dialog has opened and not yet closed.
inline QList<QMessageBox*> OpenBoxes(const CModemTestDlg& dlg) {
    QList<QMessageBox*> open;
    for (QMessageBox* box : dlg.findChildren<QMessageBox*>()) {
        if (box->isVisible()) {
            open.append(box);
        }
    }
    return open;
}

inline void CloseBoxes(const CModemTestDlg& dlg) {
    for (QMessageBox* box : OpenBoxes(dlg)) {
        box->accept();
    }
    QCoreApplication::processEvents();
}

// The log control, and its text.
LogWidget& LogView(const CModemTestDlg& dlg);
QString LogText(const CModemTestDlg& dlg);

// A shown dialog with a port of its own; settings are read from and written to `settingsPath`,
// sequences loaded from `sequenceDirs` (none by default: nothing of the build folder leaks in).
struct DialogRig {
    explicit DialogRig(QString settingsPath = QString(),
                       std::vector<std::string> sequenceDirs = {});
    ~DialogRig();

    // Selects COM`n` and presses the connect button.
    void ConnectTo(int n);
    void Press(int id) { QTest::mouseClick(As<QPushButton>(*dlg, id), Qt::LeftButton); }

    ModemPort port;  // a local device, or a board on another machine, as the COM link names it
    std::unique_ptr<CModemTestDlg> dlg;
};

// The simulated board published as COM`n` beside the test executable.
struct BoardAt {
    explicit BoardAt(int n);
    testing::ComLease lease;  // first: the number is ours before the board is linked under it
    sim::Board board;
};

}  // namespace karvex::wt
