// Where the program keeps its files. A build folder or a portable copy keeps the settings file
// and the COM links beside the executable (a build in a checkout also finds the COM links of the
// checkout's attach script). An installed copy cannot write there, so it keeps
// them in the user's configuration folder. Which of the two a copy is follows from where its
// executable stands, never from write permission (root may write anywhere). No Qt.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace karvex {

// The program's own data folder, relative to the prefix; the package installs it, and its
// presence beside <prefix>/bin marks an installed copy.
inline constexpr const char* kInstalledDataDir = "share/karvex";

// True when `exeDir` is <prefix>/bin and <prefix>/share/karvex is a folder.
bool IsInstalledLayout(const std::string& exeDir);

// $XDG_CONFIG_HOME/karvex when that variable holds an absolute path, else $HOME/.config/karvex
// (HOME from the environment, else from the password database); empty when neither is known.
std::string UserConfigDir();

// The settings file of an installed copy: "<UserConfigDir>/<base name>.ini", with the base name
// of `executablePath` (the part after the last '/', up to its last '.' unless that is the first
// character). Unset for a copy that is not installed: its file stays beside the executable.
// Empty (nothing is read or written) when the user's folder is unknown.
std::optional<std::string> InstalledSettingsPath(const std::string& executablePath);

// The folders whose dosdevices/comN name COM ports, in the order they are searched: the
// executable's folder; then, for a program built in a checkout (<root>/build/<preset>/<folder>,
// with <root>/CMakeLists.txt and <root>/scripts/attach-board.sh), <root>/build/default/window,
// where scripts/attach-board.sh links, so that the window, karvex-run and the script of one
// checkout agree; for an installed copy, the user's configuration folder.
std::vector<std::string> ComLinkDirs(const std::string& exeDir);

// Creates `dir` and any missing parents, new ones readable by the owner only (the settings hold
// a password). True when `dir` is a folder afterwards.
bool MakePrivateDirs(const std::string& dir);

}  // namespace karvex
