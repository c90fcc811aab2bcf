#include "dialog/window_sequences.h"
#include "link/install_layout.h"

namespace karvex {

std::vector<std::string> SequenceDirs(const std::string& exeDir) {
    std::vector<std::string> dirs;
    if (!exeDir.empty()) dirs.push_back(exeDir + "/sequences");
    // As with the COM links: the user's folder belongs to an installed copy only, so that a build
    // folder's runs (and its tests) never pick up a user's own files.
    if (IsInstalledLayout(exeDir)) {
        if (const std::string config = UserConfigDir(); !config.empty()) {
            dirs.push_back(config + "/sequences");
        }
    }
    return dirs;
}

}  // namespace karvex
