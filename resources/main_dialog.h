// The main dialog's description (dialog 102): every control with its identifier, kind, text,
// style and place. Places and sizes are dialog units; the window converts them with the dialog
// font's metrics. The order of `controls` is the order of creation and the tab order.
#pragma once

#include <cstdint>
#include <span>

namespace karvex::res {

inline constexpr int kMainDialogId = 102;
inline constexpr int kProgramIconId = 128;

// Control identifiers.
inline constexpr int kIdTrafficLog = 1002;
inline constexpr int kIdComPort = 1003;
inline constexpr int kIdApn = 1004;
inline constexpr int kIdUser = 1005;
inline constexpr int kIdPassword = 1006;
inline constexpr int kIdConnect = 1007;
inline constexpr int kIdTestItem = 1010;
inline constexpr int kIdExecute = 1011;
inline constexpr int kIdItemLabel = 1013;
inline constexpr int kIdTolva1 = 1014;
inline constexpr int kIdTolva2 = 1015;
inline constexpr int kIdApnLabel = 1019;
inline constexpr int kIdUserLabel = 1020;
inline constexpr int kIdPasswordLabel = 1021;
inline constexpr int kIdSmsNumber = 1022;
inline constexpr int kIdPhone = 1023;
inline constexpr int kIdVersion = 1025;

enum class ControlKind { Edit, ComboBox, Static, PushButton, RadioButton };

// Style bits of a control (what the window framework needs to build it).
enum StyleBit : uint32_t {
    kTabStop = 1u << 0,
    kBorder = 1u << 1,
    kMultiLine = 1u << 2,
    kReadOnly = 1u << 3,
    kVScroll = 1u << 4,
    kAutoHScroll = 1u << 5,   // the text scrolls sideways instead of wrapping
    kDropDownList = 1u << 6,  // a combo box that only offers choices, no typing
    kAutoRadio = 1u << 7,
    kGroup = 1u << 8,  // first control of a group
    kLeft = 1u << 9,   // left-aligned static text
};

struct DialogRect {
    int x, y, w, h;
};

struct ControlTemplate {
    int id;
    ControlKind kind;
    const char* text;  // UTF-8
    uint32_t style;
    DialogRect rect;  // for combo boxes the height includes the dropped-down list
};

struct DialogTemplate {
    int id;
    const char* title;     // UTF-8
    DialogRect rect;       // x, y 0: the window is centred on the screen
    const char* fontFace;  // UTF-8
    int fontPoints;
    std::span<const ControlTemplate> controls;
};

const DialogTemplate& MainDialog();

}  // namespace karvex::res
