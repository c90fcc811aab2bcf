// What the core asks of the window. Both calls come from the sequence worker and must not block:
// the window carries them out later on its own thread.
#pragma once

#include <string>

namespace karvex {

class OperatorPanel {
  public:
    virtual ~OperatorPanel() = default;
    // Enables or disables the nine input controls together. The window ignores an enable that
    // arrives when its link is closed.
    virtual void EnableInputs(bool enable) = 0;
    // Shows an operator message (UTF-8) in a message box modal to the main window.
    virtual void ShowMessage(const std::string& utf8Text) = 0;
};

}  // namespace karvex
