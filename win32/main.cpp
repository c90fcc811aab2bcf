// karvex.exe: the main dialog, run modally; the program ends with it.
#include "win32/modem_test_dialog.h"

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    karvex::win::ModemTestDialog dialog;
    dialog.RunModal();
    return 0;
}
