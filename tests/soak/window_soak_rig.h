// The real window with a port of its own and no settings file, and the simulated board published
// as a COM port beside the test executable (dosdevices/comN): the window tests' rig, with the
// calls the soak tests make on it.
#pragma once

#include <memory>

#include "tests/window/window_rig.h"

namespace karvex::soak {

class WindowRig {
  public:
    explicit WindowRig(int com) : at(com), com_(com) {}

    template <class W>
    W* Get(int id) const {
        return wt::As<W>(*dlg, id);
    }
    void Press(int id) { dialog.Press(id); }
    // Selects the rig's COM port and presses the connect button.
    void Connect() { dialog.ConnectTo(com_); }
    void Execute(int item) {
        Get<QComboBox>(res::kIdTestItem)->setCurrentIndex(item);
        Press(res::kIdExecute);
    }
    QString Caption() const { return wt::Caption(*dlg); }
    QString ViewText() const { return wt::LogText(*dlg); }
    bool ExecuteEnabled() const { return dlg->Control(res::kIdExecute)->isEnabled(); }

    // Message boxes that are open now; their texts.
    QStringList OpenMessages() const {
        QStringList texts;
        for (QMessageBox* box : wt::OpenBoxes(*dlg)) texts << box->text();
        return texts;
    }
    void CloseMessages() { wt::CloseBoxes(*dlg); }

    wt::BoardAt at;        // first: the COM number is held and the board linked before the window
    wt::DialogRig dialog;  // no settings path: nothing read, nothing written
    sim::Board& board = at.board;
    std::unique_ptr<CModemTestDlg>& dlg = dialog.dlg;

  private:
    int com_;
};

}  // namespace karvex::soak
