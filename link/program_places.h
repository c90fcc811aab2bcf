// Where this program's files live: the settings file, the folders of the user's sequences and the
// folders that name COM ports (dosdevices/comN on Linux, ports.ini on Windows), for the window,
// karvex.exe, karvex-run and karvex-run.exe alike. No toolkit.
//
//   copy            settings             sequences                  COM ports named in
//   build folder    beside the exe       <exe dir>/sequences        <exe dir>, then the checkout's
//   in a checkout                                                   build/default/window
//   portable copy   beside the exe (*)   <exe dir>/sequences        <exe dir>
//                                        (+ <user dir>\sequences
//                                        on Windows)
//   installed copy  <user dir>           <user dir>/sequences only  <exe dir>, then <user dir>
//
// The user's folder is $XDG_CONFIG_HOME/karvex (~/.config/karvex) on Linux and
// %LOCALAPPDATA%\Karvex on Windows. An installed copy is <prefix>/bin beside <prefix>/share/karvex
// on Linux, and one with the installer's marker (installed.txt) beside karvex.exe on Windows: its
// own folder belongs to the package, so the operator's files go to the user's folder.
// (*) On Windows, the user's file when the exe's folder cannot take it (ChooseSettingsPlace).
#pragma once

#include <string>
#include <vector>

namespace karvex {

#ifdef _WIN32
// The file the installer puts beside karvex.exe; its presence marks an installed copy.
inline constexpr const char* kInstalledMarker = "installed.txt";
// The file beside the executable (and, installed, in the user's folder) naming boards on other
// machines for COM ports.
inline constexpr const char* kPortsFile = "ports.ini";
#endif

// What the places follow from.
struct ProgramLayout {
    std::string exeDir;        // the executable's folder (UTF-8); empty: unknown
    std::string baseName;      // the executable's file name without its extension
    bool installed = false;    // an installed copy
    std::string checkoutRoot;  // a checkout the executable was built in (Linux); empty: none
    std::string userDir;       // the user's folder; empty: unknown
};

struct ProgramPlaces {
    bool installed = false;
    std::string besideSettings;  // "<exe dir>/<base name>.ini"; empty: the executable is unknown
    std::string userSettings;  // "<user dir>/<base name>.ini"; empty: the user's folder is unknown
    // The settings file: the user's for an installed copy, else the one beside the executable.
    // Empty: nothing is read or written.
    std::string settings;
    std::vector<std::string> sequenceDirs;  // loaded in this order
    // Searched in this order: for dosdevices/comN on Linux, for ports.ini on Windows.
    std::vector<std::string> comLinkDirs;
};

// The rule itself, from the layout alone.
ProgramPlaces PlacesFor(const ProgramLayout& layout);

// The layout of an executable in `exeDir` (UTF-8) called `baseName`, from the file system and
// the environment.
ProgramLayout LayoutOf(const std::string& exeDir, const std::string& baseName);

// The places of the executable at `executablePath` (UTF-8; empty: unknown).
ProgramPlaces ProgramPlacesOf(const std::string& executablePath);

// The places of the running program.
ProgramPlaces ThisProgramsPlaces();

// The COM-link folders of an executable in `exeDir`.
std::vector<std::string> ComLinkDirs(const std::string& exeDir);

}  // namespace karvex
