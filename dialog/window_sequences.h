// The user's sequences as the window offers them: the .toml files of its sequence folders, loaded
// at start-up, after the built-in items in the test-item drop-down.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sequencer/user_sequence.h"

namespace karvex {

// The folders the window loads sequences from, in order: "sequences" beside the executable, then
// the user's own folder (an installed copy's configuration folder on Linux; the per-user folder on
// Windows). A folder that does not exist is simply passed over.
std::vector<std::string> SequenceDirs(const std::string& exeDir);

struct WindowSequences {
    std::vector<std::shared_ptr<const Sequence>> loaded;  // folder by folder, in file-name order
    std::string notice;  // UTF-8: which files were left out and why; empty when none were
};

WindowSequences LoadWindowSequences(const std::vector<std::string>& dirs);

}  // namespace karvex
