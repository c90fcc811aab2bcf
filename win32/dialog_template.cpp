#include "win32/dialog_template.h"

#include <cstring>
#include <string>

#include "link/utf16_win.h"
#include "win32/log_window.h"

namespace karvex::win {

namespace {

using res::ControlKind;

// The predefined window classes by atom.
WORD ClassAtom(ControlKind kind) {
    switch (kind) {
        case ControlKind::PushButton:
        case ControlKind::RadioButton:
            return 0x0080;
        case ControlKind::Edit:
            return 0x0081;
        case ControlKind::Static:
            return 0x0082;
        case ControlKind::ComboBox:
            return 0x0085;
    }
    return 0x0082;
}

// Appends WORDs to a byte buffer and keeps the alignment rules of the template.
class Writer {
  public:
    void Word(WORD w) { Raw(&w, sizeof w); }
    void Dword(DWORD d) { Raw(&d, sizeof d); }
    void Short(short s) { Raw(&s, sizeof s); }
    void Byte(BYTE b) { Raw(&b, sizeof b); }
    void Text(const char* utf8) { Text(Utf16FromUtf8(utf8)); }
    void Text(const std::wstring& wide) { Raw(wide.c_str(), (wide.size() + 1) * sizeof(wchar_t)); }
    void AlignDword() {
        while (bytes_.size() % 4 != 0) {
            bytes_.push_back(0);
        }
    }
    std::vector<DWORD> Finish() {
        AlignDword();
        std::vector<DWORD> out(bytes_.size() / 4);
        std::memcpy(out.data(), bytes_.data(), bytes_.size());
        return out;
    }

  private:
    void Raw(const void* p, size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        bytes_.insert(bytes_.end(), b, b + n);
    }
    std::vector<unsigned char> bytes_;
};

}  // namespace

DWORD ControlStyle(const res::ControlTemplate& c) {
    const auto has = [&](uint32_t bit) { return (c.style & bit) != 0; };
    DWORD style = WS_CHILD | WS_VISIBLE;
    if (has(res::kTabStop)) style |= WS_TABSTOP;
    if (has(res::kGroup)) style |= WS_GROUP;
    if (has(res::kBorder)) style |= WS_BORDER;
    if (has(res::kVScroll)) style |= WS_VSCROLL;
    switch (c.kind) {
        case ControlKind::Edit:
            style |= ES_LEFT;
            if (has(res::kMultiLine)) style |= ES_MULTILINE;
            if (has(res::kReadOnly)) style |= ES_READONLY;
            if (has(res::kAutoHScroll)) style |= ES_AUTOHSCROLL;
            break;
        case ControlKind::ComboBox:
            style |= has(res::kDropDownList) ? CBS_DROPDOWNLIST : CBS_DROPDOWN;
            break;
        case ControlKind::Static:
            style |= SS_LEFT;
            break;
        case ControlKind::PushButton:
            style |= BS_PUSHBUTTON;
            break;
        case ControlKind::RadioButton:
            style |= has(res::kAutoRadio) ? BS_AUTORADIOBUTTON : BS_RADIOBUTTON;
            break;
    }
    return style;
}

std::vector<DWORD> BuildDialogTemplate(const res::DialogTemplate& tpl) {
    Writer w;
    // DLGTEMPLATEEX. A window of its own (task-bar entry) with a system menu, a minimise and a
    // close button, a fixed frame; centred on the screen, since the description gives no place.
    w.Word(1);       // dlgVer
    w.Word(0xFFFF);  // signature
    w.Dword(0);      // helpID
    w.Dword(WS_EX_APPWINDOW);
    w.Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_SETFONT |
            DS_CENTER);
    w.Word(static_cast<WORD>(tpl.controls.size()));
    w.Short(static_cast<short>(tpl.rect.x));
    w.Short(static_cast<short>(tpl.rect.y));
    w.Short(static_cast<short>(tpl.rect.w));
    w.Short(static_cast<short>(tpl.rect.h));
    w.Word(0);  // no menu
    w.Word(0);  // the dialog class
    w.Text(tpl.title);
    w.Word(static_cast<WORD>(tpl.fontPoints));
    w.Word(FW_NORMAL);
    w.Byte(FALSE);  // italic
    w.Byte(SHIFTJIS_CHARSET);
    w.Text(tpl.fontFace);
    // DLGITEMTEMPLATEEX per control, each DWORD-aligned, in the description's (tab) order.
    for (const res::ControlTemplate& c : tpl.controls) {
        w.AlignDword();
        w.Dword(0);  // helpID
        w.Dword(c.kind == ControlKind::Edit && (c.style & res::kBorder) != 0 ? WS_EX_CLIENTEDGE
                                                                             : 0);
        w.Dword(ControlStyle(c) & ~static_cast<DWORD>(c.kind == ControlKind::Edit ? WS_BORDER : 0));
        w.Short(static_cast<short>(c.rect.x));
        w.Short(static_cast<short>(c.rect.y));
        w.Short(static_cast<short>(c.rect.w));
        w.Short(static_cast<short>(c.rect.h));
        w.Dword(static_cast<DWORD>(c.id));
        if (c.kind == ControlKind::Edit && (c.style & res::kMultiLine) != 0) {
            w.Text(std::wstring(kLogWindowClass));  // the traffic log: a view of the log model
        } else {
            w.Word(0xFFFF);
            w.Word(ClassAtom(c.kind));
        }
        w.Text(c.text);
        w.Word(0);  // no creation data
    }
    return w.Finish();
}

}  // namespace karvex::win
