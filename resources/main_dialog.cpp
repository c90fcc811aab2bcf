#include "resources/main_dialog.h"

#include <array>

namespace karvex::res {

namespace {

constexpr uint32_t kEditLine = kBorder | kAutoHScroll | kTabStop;

constexpr std::array<ControlTemplate, 17> kControls{{
    {kIdTrafficLog,
     ControlKind::Edit,
     "",
     kMultiLine | kReadOnly | kBorder | kVScroll | kAutoHScroll | kTabStop,
     {5, 70, 260, 310}},
    {kIdComPort, ControlKind::ComboBox, "", kDropDownList | kVScroll | kTabStop, {160, 5, 48, 355}},
    {kIdApnLabel, ControlKind::Static, "APN:", kLeft, {5, 40, 60, 8}},
    {kIdApn, ControlKind::Edit, "", kEditLine, {5, 50, 60, 14}},
    {kIdUserLabel, ControlKind::Static, "ユーザ名:", kLeft, {70, 40, 50, 8}},
    {kIdUser, ControlKind::Edit, "", kEditLine, {70, 50, 55, 14}},
    {kIdPasswordLabel, ControlKind::Static, "パスワード:", kLeft, {130, 40, 45, 8}},
    {kIdPassword, ControlKind::Edit, "", kEditLine, {130, 50, 40, 14}},
    {kIdConnect, ControlKind::PushButton, "接続", kTabStop, {215, 5, 50, 14}},
    {kIdTestItem,
     ControlKind::ComboBox,
     "",
     kDropDownList | kVScroll | kTabStop,
     {5, 25, 260, 315}},
    {kIdExecute, ControlKind::PushButton, "実行", kTabStop, {215, 50, 50, 14}},
    {kIdItemLabel, ControlKind::Static, "Static", kLeft, {5, 53, 40, 8}},
    {kIdTolva1,
     ControlKind::RadioButton,
     "Tolva-1",
     kAutoRadio | kGroup | kTabStop,
     {5, 5, 55, 10}},
    {kIdTolva2, ControlKind::RadioButton, "Tolva-2", kAutoRadio, {65, 5, 85, 10}},
    {kIdSmsNumber, ControlKind::Edit, "", kEditLine, {60, 50, 40, 14}},
    {kIdPhone, ControlKind::Edit, "", kEditLine, {65, 50, 105, 14}},
    {kIdVersion, ControlKind::Static, "Static", kLeft, {5, 380, 260, 8}},
}};

constexpr DialogTemplate kMainDialog{
    kMainDialogId, "Karvex", {0, 0, 270, 393}, "ＭＳ Ｐゴシック", 9, kControls,
};

}  // namespace

const DialogTemplate& MainDialog() {
    return kMainDialog;
}

}  // namespace karvex::res
