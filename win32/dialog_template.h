// The dialog description as a Win32 dialog template in memory (DLGTEMPLATEEX and its items), for
// CreateDialogIndirectParamW and DialogBoxIndirectParamW.
#pragma once

#include <windows.h>

#include <vector>

#include "resources/main_dialog.h"

namespace karvex::win {

// The window styles of a control of the description (WS_CHILD and WS_VISIBLE included).
DWORD ControlStyle(const res::ControlTemplate& c);

// The whole template; the vector's data is DWORD-aligned, as the API wants it.
std::vector<DWORD> BuildDialogTemplate(const res::DialogTemplate& tpl);

}  // namespace karvex::win
