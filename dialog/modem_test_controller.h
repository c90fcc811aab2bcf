// What the main dialog does, whatever draws it: the handler of each control, the enable states
// that follow the link and the running sequence, the fields each test item shows, the settings
// read at start and written at close, and the version label. It works on control identifiers
// through DialogControls; the front end forwards its events here.
#pragma once

#include <optional>
#include <string>

#include "dialog/dialog_controls.h"
#include "dialog/panel_queue.h"
#include "dialog/settings_file.h"
#include "dialog/version_text.h"
#include "sequencer/modem_session.h"

namespace karvex {

class ModemTestController {
  public:
    // Results of the dialog's end: Enter ends it as OK, Esc and a close request as Cancel.
    static constexpr int kResultOk = 1;      // IDOK
    static constexpr int kResultCancel = 2;  // IDCANCEL

    // `settingsPath` empty: no settings file is written; it is read from `settingsReadPath` when
    // given (where the file lies now may differ from where the close box will write it), else
    // from `settingsPath`.
    ModemTestController(DialogControls& ui, ModemSession& session, PanelQueue& panel,
                        std::string settingsPath, std::optional<VersionNumbers> version,
                        std::optional<std::string> settingsReadPath = std::nullopt);

    // Handlers (the UI thread only).
    void OnInitDialog();
    void OnSelchangeItem();
    void OnConnect();
    void OnExecute();
    void OnClose();   // the close box: saves the settings, then ends the dialog as Cancel
    void OnOk();      // Enter: ends the dialog as OK without saving
    void OnCancel();  // Esc: ends the dialog as Cancel without saving

    // Enables or disables the nine input controls together, in their fixed order.
    void EnableInputs(bool enable);
    // The worker's request, delivered on the UI thread; ignored once the link is closed.
    void EnableInputsFromWorker(bool enable);

    const std::string& SettingsPath() const { return settingsPath_; }

  private:
    void ApplySettings(const Settings& s);
    Settings CollectSettings() const;
    std::string FieldBytes(int id, bool& unmappable) const;

    DialogControls& ui_;
    ModemSession& session_;
    PanelQueue& panel_;
    std::string settingsPath_;
    std::string settingsReadPath_;
    std::optional<VersionNumbers> version_;
};

}  // namespace karvex
