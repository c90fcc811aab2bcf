// Where the window reads its settings file at start and writes it at close. A copy keeps the file
// beside its executable where that folder can hold it; where it cannot (unpacked under Program
// Files, on a read-only share, on a locked-down PC), in a folder of the user's own. An installed
// copy always keeps it in the user's folder: its own folder belongs to the installer, which
// replaces it on an upgrade and removes it on uninstall.
#pragma once

#include <string>

namespace karvex {

struct SettingsPlace {
    std::string read;         // loaded at start; empty: nothing is read
    std::string write;        // written by the close box; empty: nothing is written
    bool userFolder = false;  // `write` lies in the user's folder, which the first save makes
};

// What the file system says about the two places the file can live.
struct SettingsCandidates {
    std::string beside;           // "<exe dir>/<base name>.ini"; empty: the exe's path is unknown
    std::string user;             // the user's own file; empty: no such folder is known
    bool besideExists = false;    // a file stands beside the executable
    bool besideWritable = false;  // that folder takes a new file, or the file there can be written
    bool userExists = false;      // a file stands in the user's folder
    bool installed = false;       // the installer's marker stands beside the executable
};

// The file beside the executable is read and written while its folder can take it. Otherwise the
// user's file is written, and read when it exists; until the first save there, a file beside the
// executable (one shipped with it) is still read. Once written, the user's file wins over one
// beside the executable that cannot be written, or every start would undo the operator's choices.
// A file in the user's folder is also read while none stands beside a writable executable's
// folder: the first save then moves the settings beside it. An installed copy is treated as one
// whose folder cannot hold the file, whatever that folder allows.
SettingsPlace ChooseSettingsPlace(const SettingsCandidates& c);

#ifdef _WIN32
// Looks at both files (UTF-8, as ProgramPlaces names them; `user` may be empty) and chooses.
// `installed`: an installed copy, whose folder is not even probed.
SettingsPlace FindSettingsPlace(const std::string& beside, const std::string& user, bool installed);

// Makes the folder `file` (UTF-8) lies in; its parent (%LOCALAPPDATA%) is there already. True
// when it is a folder afterwards.
bool MakeSettingsFolder(const std::string& file);
#endif

}  // namespace karvex
