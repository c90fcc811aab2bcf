// Sequence files: one user sequence per TOML file, checked whole when it is loaded. A file is
// either taken as it stands or refused with the file, line and column of the first thing wrong in
// it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sequencer/user_sequence.h"

namespace karvex {

inline constexpr uint32_t kMaxStepMs = 3600000;               // a time-out or pause: 1 ms to 1 h
inline constexpr size_t kMaxReplyBytes = 255;                 // as the expected-reply buffer holds
inline constexpr size_t kMaxSequenceFileBytes = 1024 * 1024;  // larger files are refused unread

// Why a file was refused: "<file>:<line>:<column>: <what>", or "<file>: <what>" when the refusal
// concerns the file as a whole (unreadable, too large).
struct SequenceError {
    std::string file;
    uint32_t line = 0;  // 1-based; 0: no position
    uint32_t column = 0;
    std::string what;
    std::string Text() const;
};

struct SequenceLoad {
    std::shared_ptr<const Sequence> sequence;  // null when the file was refused
    SequenceError error;
};

// A file's text. `path` (UTF-8) names the file in errors and gives the sequence its name.
// Its texts go to CP932 through the link's converter, which refuses what CP932 cannot hold.
SequenceLoad ParseSequence(std::string_view text, const std::string& path);

// Reads and parses a file. Only a regular file is opened (a FIFO or a device could block).
SequenceLoad LoadSequenceFile(const std::string& path);

// The ".toml" files of a folder (UTF-8 path), in file-name order, appended to `loaded` or, with
// the reason, to `refused`. A folder that does not exist adds nothing.
struct SequenceFolder {
    std::vector<std::shared_ptr<const Sequence>> loaded;
    std::vector<SequenceError> refused;
};
void LoadSequenceFolder(const std::string& dir, SequenceFolder& into);

}  // namespace karvex
