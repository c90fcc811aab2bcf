// A user's own sequence, as loaded from a sequence file: a list of step templates like the built-in
// catalogue's, with texts of its own. It becomes the same CommandStep list a built-in item gives
// and runs through the same runner and monitor.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sequencer/command_step.h"
#include "sequencer/item_catalogue.h"

namespace karvex {

struct TestInputs;

// Board models as bits, for the models a sequence or a step runs on.
inline constexpr uint8_t kModelTolva1 = 1;
inline constexpr uint8_t kModelTolva2 = 2;
inline constexpr uint8_t kEveryModel = kModelTolva1 | kModelTolva2;

struct SequenceStep {
    // A piece of a command: literal CP932 bytes, or the operator entry that fills it.
    struct Piece {
        std::string text;
        std::optional<Entry> entry;
    };
    std::vector<Piece> send;  // empty for a pause
    bool pause = false;
    uint32_t timeout = 5000;  // ms: the wait for a verdict (kNoWait: not waited on), or the pause
    std::string expected;     // CP932; empty: the default "OK\r"
    std::vector<std::string> failures;  // CP932; failure replies added for this step only
    uint8_t models = kEveryModel;       // the models the step is taken on
};

struct Sequence {
    std::string name;   // the file's name without ".toml" (UTF-8)
    std::string path;   // the file as it was loaded (UTF-8)
    std::string title;  // UTF-8: the drop-down's caption
    // The operator entries it shows and uses, in the window's order (APN, user name, password,
    // phone number, SMS number).
    std::vector<Entry> fields;
    uint8_t models = kEveryModel;
    bool trim = false;  // white space is removed from both ends of every entry before it goes in
    std::vector<SequenceStep> steps;
};

// Shown when the selected model is not among the sequence's models.
inline constexpr const char* kWrongModelMessage = "この機種では実行できないシーケンスです。";

// The step list of `sequence` for `inputs` (the end marker included), checked as a built-in item's:
// a required entry that is empty, a field that cannot go into a command (FieldFault) and a command
// that would not fit refuse it with the window's message (UTF-8). The steps' texts point into `sequence`, which must outlive the run.
std::optional<std::vector<CommandStep>> BuildSequence(const Sequence& sequence,
                                                      const TestInputs& inputs,
                                                      std::string& message);

// The commands of BuildSequence's list for `inputs` as they would be filled in, unchecked (a pause
// as "*"), for reports that show them with some fields masked.
std::vector<std::string> SequenceCommands(const Sequence& sequence, const TestInputs& inputs);

}  // namespace karvex
