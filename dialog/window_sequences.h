// The user's sequences as the window offers them: the .toml files of its sequence folders, loaded
// at start-up, after the built-in items in the test-item drop-down.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sequencer/user_sequence.h"

namespace karvex {

struct WindowSequences {
    std::vector<std::shared_ptr<const Sequence>> loaded;  // folder by folder, in file-name order
    std::string notice;  // UTF-8: which files were left out and why; empty when none were
};

// Loads the folders in order (ProgramPlaces::sequenceDirs); a folder that does not exist is
// simply passed over.
WindowSequences LoadWindowSequences(const std::vector<std::string>& dirs);

}  // namespace karvex
