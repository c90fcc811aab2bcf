// The settings file beside the executable: six CP932 text lines that carry the operator's choices
// (board model, COM port, access point name, user name, password, phone number) from one run to
// the next. Qt Core only, so that it can be tested without a window.
#pragma once

#include <QString>

namespace karvex {

struct Settings {
    bool tolva2 = false;  // line 1: "1" = Tolva-2, anything else (including "0") = Tolva-1
    long port = 1;        // line 2 as strtol reads it; 1..99 select COM1..COM99, anything else none
    QString apn, user, password, phone;  // lines 3..6, decoded from CP932, line end removed
};

// Negative results of LoadSettings; callers only need to test for < 0.
inline constexpr int kSettingsCannotOpen = -1;  // missing, not a regular file, or unreadable
inline constexpr int kSettingsTooShort = -2;    // fewer than six lines (or a read error)

// Reads the file at `path` (double quotes around it are ignored). Returns 0 when all six lines
// were read; a negative value otherwise. `out` is changed only on success, so a failed load
// leaves whatever the caller had (normally the defaults) untouched.
int LoadSettings(const QString& path, Settings& out);

// Writes the six lines (CP932, each ending CR LF) through a temporary file that replaces the old
// one, so the file on disk is always either the old or the new one, whole. `values.port` is the
// selected COM index + 1 (0: none). Texts lose white space at both ends. A new file is readable
// by its owner only (it holds a password); an existing file keeps its permissions.
// Returns false when the file could not be written; the old file, if any, is then unchanged.
bool SaveSettings(const QString& path, const Settings& values);

// "<dir>/<base name>.ini" for an executable path (the extension, if any, is dropped); empty for
// an empty path.
QString SettingsPathForExecutable(const QString& executablePath);

}  // namespace karvex
