// What the dialog's logic needs from a front end: its controls, reached by their identifiers
// (1002 to 1025), and the dialog itself. Each front end (Qt widgets, a Win32 dialog) implements it;
// every call comes from the UI thread. Texts are UTF-8.
#pragma once

#include <string>

#include "resources/main_dialog.h"

namespace karvex {

class DialogControls {
  public:
    virtual ~DialogControls() = default;

    virtual void SetText(int id, const std::string& text) = 0;
    virtual std::string Text(int id) const = 0;
    virtual void Enable(int id, bool enable) = 0;
    virtual void Show(int id, bool show) = 0;
    // Moves a control to `rect`, in dialog units as the description gives places.
    virtual void Place(int id, const res::DialogRect& rect) = 0;

    // Radio buttons: checking one unchecks the others of its group.
    virtual bool IsChecked(int id) const = 0;
    virtual void Check(int id) = 0;

    // Drop-down lists; -1 is no selection.
    virtual void AddEntry(int id, const std::string& text) = 0;
    virtual int Selection(int id) const = 0;
    virtual void Select(int id, int index) = 0;

    virtual void Focus(int id) = 0;

    // A message with the program's name as its caption and one OK button. The front end decides
    // whether it waits for the OK; the logic does nothing after it.
    virtual void ShowMessage(const std::string& text) = 0;

    // The traffic log was cleared (connect, execute): the log control shows the model afresh.
    virtual void RefreshLog() = 0;

    // Ends the dialog with IDOK (1) or IDCANCEL (2).
    virtual void EndDialog(int result) = 0;
};

}  // namespace karvex
