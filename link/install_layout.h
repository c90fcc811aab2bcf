// What Linux says about a copy of the program, for link/program_places: whether it is installed,
// which follows from where its executable stands, never from write permission (root may write
// anywhere); the user's configuration folder; and making that folder private. No Qt.
#pragma once

#include <string>

namespace karvex {

// The program's own data folder, relative to the prefix; the package installs it, and its
// presence beside <prefix>/bin marks an installed copy.
inline constexpr const char* kInstalledDataDir = "share/karvex";

// True when `exeDir` is <prefix>/bin and <prefix>/share/karvex is a folder.
bool IsInstalledLayout(const std::string& exeDir);

// $XDG_CONFIG_HOME/karvex when that variable holds an absolute path, else $HOME/.config/karvex
// (HOME from the environment, else from the password database); empty when neither is known.
std::string UserConfigDir();

// Creates `dir` and any missing parents, new ones readable by the owner only (the settings hold
// a password). True when `dir` is a folder afterwards.
bool MakePrivateDirs(const std::string& dir);

}  // namespace karvex
