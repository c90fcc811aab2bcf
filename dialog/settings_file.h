// The settings file: six CP932 text lines that carry the operator's choices (board model, COM
// port, access point name, user name, password, phone number) from one run to the next. The lines
// and their bytes are the same on every platform. Reading needs no toolkit, so that karvex-run
// reads the window's file with the same reader; the atomic replace is the platform's
// (settings_store.h).
#pragma once

#include <string>
#include <string_view>

namespace karvex {

struct Settings {
    bool tolva2 = false;  // line 1: "1" = Tolva-2, anything else (including "0") = Tolva-1
    long port = 1;        // line 2 as strtol reads it; 1..99 select COM1..COM99, anything else none
    std::string apn, user, password, phone;  // lines 3..6, as SettingsText chose
};

// How a load gives the four texts: decoded from CP932 to UTF-8 (the window's fields), or as the
// CP932 bytes the file holds (karvex-run sends them as they stand).
enum class SettingsText { kUtf8, kCp932 };

// Negative results of LoadSettings; callers only need to test for < 0.
inline constexpr int kSettingsCannotOpen = -1;  // missing, not a regular file, or unreadable
inline constexpr int kSettingsTooShort = -2;    // fewer than six lines (or a read error)

// Reads the file at `path` (UTF-8; double quotes around it are ignored). Returns 0 when all six
// lines were read; a negative value otherwise. `out` is changed only on success, so a failed load
// leaves whatever the caller had (normally the defaults) untouched.
int LoadSettings(std::string_view path, Settings& out, SettingsText text = SettingsText::kUtf8);

// Splits the file's bytes into its lines and reads them; what LoadSettings does after reading.
int ParseSettings(std::string_view bytes, Settings& out, SettingsText text = SettingsText::kUtf8);

// The file's bytes: six lines in CP932, each ending CR LF. Texts lose white space at both ends;
// a line break inside a value is stored as a space.
std::string SettingsFileBytes(const Settings& values);

// Writes SettingsFileBytes (`values` in UTF-8) through a temporary file that replaces the old one,
// so the file on disk is always either the old or the new one, whole. `values.port` is the selected
// COM index + 1 (0: none). A new file is readable by its owner only where the platform has
// owner-only modes (it holds a password); an existing file keeps its permissions. Returns false
// when the file could not be written; the old file, if any, is then unchanged.
bool SaveSettings(std::string_view path, const Settings& values);

}  // namespace karvex
