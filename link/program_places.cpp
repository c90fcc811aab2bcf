#include "link/program_places.h"

#include "link/program_path.h"

namespace karvex {

ProgramPlaces PlacesFor(const ProgramLayout& layout) {
    ProgramPlaces p;
    p.installed = layout.installed;
    const std::string file = layout.baseName + ".ini";
    // A bare executable name (no folder) has its file in the current folder.
    if (!layout.exeDir.empty() || !layout.baseName.empty()) {
        p.besideSettings = JoinPath(layout.exeDir, file);
    }
    if (!layout.userDir.empty()) p.userSettings = JoinPath(layout.userDir, file);
    // An installed copy without a known user's folder reads and writes nothing rather than
    // write into the package's folder.
    p.settings = layout.installed ? p.userSettings : p.besideSettings;

    const std::string userSequences =
        layout.userDir.empty() ? std::string() : JoinPath(layout.userDir, "sequences");
    if (!layout.installed && !layout.exeDir.empty()) {
        p.sequenceDirs.push_back(JoinPath(layout.exeDir, "sequences"));
    }
#ifdef _WIN32
    // A portable copy on Windows also reads the folder its settings fall back to.
    const bool userSequencesRead = true;
#else
    // A build folder's runs (and its tests) never pick up the user's own files.
    const bool userSequencesRead = layout.installed;
#endif
    if (userSequencesRead && !userSequences.empty()) p.sequenceDirs.push_back(userSequences);

    if (!layout.exeDir.empty()) p.comLinkDirs.push_back(layout.exeDir);
    if (!layout.checkoutRoot.empty()) {
        // Where scripts/attach-board.sh links, so that every build of a checkout agrees with it.
        const std::string dir =
            JoinPath(JoinPath(JoinPath(layout.checkoutRoot, "build"), "default"), "window");
        if (dir != layout.exeDir) p.comLinkDirs.push_back(dir);
    }
    if (layout.installed && !layout.userDir.empty()) p.comLinkDirs.push_back(layout.userDir);
    return p;
}

ProgramPlaces ProgramPlacesOf(const std::string& executablePath) {
    if (executablePath.empty()) return PlacesFor({});
    return PlacesFor(LayoutOf(FolderOf(executablePath), BaseNameOf(executablePath)));
}

ProgramPlaces ThisProgramsPlaces() {
    return ProgramPlacesOf(ExecutablePath());
}

std::vector<std::string> ComLinkDirs(const std::string& exeDir) {
    return PlacesFor(LayoutOf(exeDir, {})).comLinkDirs;
}

}  // namespace karvex
