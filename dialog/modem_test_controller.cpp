#include "dialog/modem_test_controller.h"

#include <algorithm>
#include <string>
#include <utility>

#include "dialog/item_fields.h"
#include "dialog/window_sequences.h"
#include "link/com_name.h"
#include "link/cp932.h"
#include "link/port.h"
#include "resources/main_dialog.h"
#include "sequencer/user_sequence.h"

namespace karvex {

using namespace res;

ModemTestController::ModemTestController(DialogControls& ui, ModemSession& session,
                                         PanelQueue& panel, std::string settingsPath,
                                         std::optional<VersionNumbers> version,
                                         std::optional<std::string> settingsReadPath,
                                         std::vector<std::string> sequenceDirs)
    : ui_(ui),
      session_(session),
      panel_(panel),
      settingsPath_(std::move(settingsPath)),
      settingsReadPath_(settingsReadPath ? std::move(*settingsReadPath) : settingsPath_),
      version_(version),
      sequenceDirs_(std::move(sequenceDirs)) {}

void ModemTestController::OnInitDialog() {
    for (int n = 1; n <= kComPortCount; ++n) {
        ui_.AddEntry(kIdComPort, ComName(n));
    }
    ui_.Select(kIdComPort, 0);

    for (const ItemFields& item : TestItemFields()) {
        ui_.AddEntry(kIdTestItem, item.caption);
    }
    if (!sequenceDirs_.empty()) {
        WindowSequences loaded = LoadWindowSequences(sequenceDirs_);
        sequences_ = std::move(loaded.loaded);
        for (const auto& sequence : sequences_) ui_.AddEntry(kIdTestItem, sequence->title);
        // Queued: the window is up and painted before the message shows.
        if (!loaded.notice.empty()) panel_.ShowMessage(loaded.notice);
    }
    ui_.Select(kIdTestItem, 0);
    OnSelchangeItem();

    EnableInputs(false);
    ui_.Enable(kIdComPort, true);
    ui_.Enable(kIdTolva1, true);
    ui_.Enable(kIdTolva2, true);

    ui_.SetText(kIdSmsNumber, "1");
    if (version_) {
        ui_.SetText(kIdVersion, FormatVersionLabel(*version_));
    }

    Settings loaded;
    if (settingsReadPath_.empty() || LoadSettings(settingsReadPath_, loaded) < 0) {
        loaded = Settings{};  // Tolva-1, COM1, empty fields
    }
    ApplySettings(loaded);
    // The first control in tab order starts with the focus, as the dialog framework does.
    ui_.Focus(kIdTrafficLog);
}

void ModemTestController::OnSelchangeItem() {
    for (int id : ItemDependentControls()) {
        ui_.Show(id, false);
    }
    if (fieldsMoved_) {
        // Back to the described places, while hidden, before anything is shown again.
        for (const res::ControlTemplate& c : res::MainDialog().controls) {
            const auto dependent = ItemDependentControls();
            if (std::find(dependent.begin(), dependent.end(), c.id) != dependent.end()) {
                ui_.Place(c.id, c.rect);
            }
        }
        fieldsMoved_ = false;
    }
    const int index = ui_.Selection(kIdTestItem);
    if (const std::shared_ptr<const Sequence> sequence = SequenceAt(index)) {
        ShowSequenceFields(*sequence);
        return;
    }
    if (index < 0 || index >= static_cast<int>(TestItemFields().size())) {
        return;
    }
    const ItemFields& item = TestItemFields()[static_cast<size_t>(index)];
    if (item.itemLabel != nullptr) {
        ui_.SetText(kIdItemLabel, item.itemLabel);
    }
    for (int id : item.shown) {
        ui_.Show(id, true);
    }
}

std::shared_ptr<const Sequence> ModemTestController::SequenceAt(int index) const {
    if (index < kTestItemCount || index - kTestItemCount >= static_cast<int>(sequences_.size())) {
        return nullptr;
    }
    return sequences_[static_cast<size_t>(index - kTestItemCount)];
}

void ModemTestController::ShowSequenceFields(const Sequence& sequence) {
    const SequenceFieldView view = SequenceFields(sequence.fields);
    if (view.itemLabel != nullptr) {
        ui_.SetText(kIdItemLabel, view.itemLabel);
    }
    for (const SequenceFieldView::Place& place : view.places) {
        ui_.Place(place.id, place.rect);
    }
    fieldsMoved_ = !view.places.empty();
    for (int id : view.shown) {
        ui_.Show(id, true);
    }
}

void ModemTestController::EnableInputs(bool enable) {
    for (int id : InputControls()) {
        ui_.Enable(id, enable);
    }
}

void ModemTestController::EnableInputsFromWorker(bool enable) {
    // A run that a disconnect ended reports in late; the closed link's state must stand.
    if (!session_.LinkOpen()) {
        return;
    }
    EnableInputs(enable);
}

void ModemTestController::OnConnect() {
    if (!session_.LinkOpen()) {
        // The selected entry's device; with no entry selected, the bare prefix (which fails).
        const int index = ui_.Selection(kIdComPort);
        panel_.NewGeneration();
        if (!session_.Connect(index >= 0 ? ComDevicePath(index + 1) : std::string(kDevicePrefix))) {
            ui_.ShowMessage("COM error.");
            return;
        }
        ui_.SetText(kIdConnect, "切断");
        EnableInputs(true);
        ui_.Enable(kIdComPort, false);
        ui_.RefreshLog();  // the connect cleared the log
        return;
    }
    // Every thread of the link is stopped and joined here; that takes a few milliseconds.
    session_.Disconnect();
    panel_.NewGeneration();
    ui_.SetText(kIdConnect, "接続");
    EnableInputs(false);
    ui_.Enable(kIdComPort, true);
    ui_.Enable(kIdTolva1, true);
    ui_.Enable(kIdTolva2, true);
}

std::string ModemTestController::FieldBytes(int id, bool& unmappable) const {
    // CP932 bytes of the text exactly as the field holds it: no trimming.
    return Cp932FromUtf8(ui_.Text(id), &unmappable);
}

void ModemTestController::OnExecute() {
    // Everything the worker needs is read here, on the UI thread.
    TestInputs inputs;
    inputs.item = ui_.Selection(kIdTestItem);
    inputs.sequence = SequenceAt(inputs.item);
    inputs.tolva2 = ui_.IsChecked(kIdTolva2);
    // Text CP932 cannot hold is marked, so that the item refuses it rather than send '?'.
    inputs.apn = FieldBytes(kIdApn, inputs.unmappable.apn);
    inputs.user = FieldBytes(kIdUser, inputs.unmappable.user);
    inputs.password = FieldBytes(kIdPassword, inputs.unmappable.password);
    inputs.phone = FieldBytes(kIdPhone, inputs.unmappable.phone);
    inputs.smsNumber = FieldBytes(kIdSmsNumber, inputs.unmappable.smsNumber);
    // Refused (and nothing done) while a sequence still runs or the link is closed; the enable
    // states keep the button from being pressed then.
    if (session_.Execute(inputs)) {
        ui_.RefreshLog();  // the execute cleared the log
    }
}

void ModemTestController::OnClose() {
    if (!settingsPath_.empty()) {
        // A file that cannot be written is not reported: the dialog closes as usual.
        SaveSettings(settingsPath_, CollectSettings());
    }
    ui_.EndDialog(kResultCancel);
}

void ModemTestController::OnOk() {
    ui_.EndDialog(kResultOk);
}

void ModemTestController::OnCancel() {
    ui_.EndDialog(kResultCancel);
}

void ModemTestController::ApplySettings(const Settings& s) {
    ui_.Check(s.tolva2 ? kIdTolva2 : kIdTolva1);
    ui_.Select(kIdComPort,
               s.port >= 1 && s.port <= kComPortCount ? static_cast<int>(s.port) - 1 : -1);
    ui_.SetText(kIdApn, s.apn);
    ui_.SetText(kIdUser, s.user);
    ui_.SetText(kIdPassword, s.password);
    ui_.SetText(kIdPhone, s.phone);
}

Settings ModemTestController::CollectSettings() const {
    Settings s;
    s.tolva2 = ui_.IsChecked(kIdTolva2);
    s.port = ui_.Selection(kIdComPort) + 1;
    s.apn = ui_.Text(kIdApn);
    s.user = ui_.Text(kIdUser);
    s.password = ui_.Text(kIdPassword);
    s.phone = ui_.Text(kIdPhone);
    return s;
}

}  // namespace karvex
