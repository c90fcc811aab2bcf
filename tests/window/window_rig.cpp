#include "tests/window/window_rig.h"
#include "link/program_path.h"

#include "window/log_widget.h"

namespace karvex::wt {

LogWidget& LogView(const CModemTestDlg& dlg) {
    return dynamic_cast<LogWidget&>(*dlg.Control(kIdTrafficLog));
}

QString LogText(const CModemTestDlg& dlg) {
    return LogView(dlg).Text();
}

DialogRig::DialogRig(QString settingsPath, std::vector<std::string> sequenceDirs) {
    CModemTestDlg::Options options;
    options.settingsPath = std::move(settingsPath);
    options.sequenceDirs = std::move(sequenceDirs);
    options.port = &port;
    dlg = std::make_unique<CModemTestDlg>(options);
    dlg->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
}

DialogRig::~DialogRig() {
    dlg.reset();
}

void DialogRig::ConnectTo(int n) {
    As<QComboBox>(*dlg, kIdComPort)->setCurrentIndex(n - 1);
    Press(kIdConnect);
}

BoardAt::BoardAt(int n) : lease(ExecutableDir(), n) {
    EXPECT_TRUE(lease.Held()) << "COM" << n << " stayed in use by another test";
    EXPECT_TRUE(board.LinkCom(ExecutableDir(), n));
}

}  // namespace karvex::wt
