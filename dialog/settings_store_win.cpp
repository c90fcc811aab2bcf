// The settings file's replace on Windows: the shared whole-file replace (a temporary file and
// MoveFileExW).
#include <windows.h>

#include "dialog/settings_store.h"
#include "link/replace_file_win.h"
#include "link/utf16_win.h"

namespace karvex {

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes) {
    // The file holds a password in clear; it keeps the directory's inherited access rights, as
    // any file the user makes there, and no rights of its own are set. A folder that takes no
    // new file (a locked-down one) may still let the old file be rewritten in place.
    return ReplaceFileWhole(Utf16FromUtf8(path), bytes, WhenNoTemporary::WriteInPlace) ==
           ERROR_SUCCESS;
}

}  // namespace karvex
