// The sequence loader over arbitrary file contents, and what a loaded sequence builds.
//
// A file is either refused with a position inside it, or loaded; a loaded sequence holds only what
// the runner can take as it stands (commands that fit their field with empty entries, no control
// byte but Ctrl-Z, time-outs in range, reply texts that fit the expected-reply buffer), and builds,
// for any entries, either a refusal with one of the window's messages or a list whose only empty
// command is its end marker and whose commands are never read as a pause.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "dialog/strict_cp932.h"
#include "sequencer/sequence_file.h"
#include "sequencer/test_items.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace karvex;

bool Refusal(const std::string& message) {
    return message == kApnRequired || message == kPhoneRequired || message == kNumberRequired ||
           message == kTooLongMessage || message == kWrongModelMessage;
}

void CheckBuilds(const std::shared_ptr<const Sequence>& sequence) {
    for (const bool tolva2 : {false, true}) {
        for (const std::string& entry : {std::string(), std::string(" 1 "), std::string(80, '*')}) {
            TestInputs in;
            in.tolva2 = tolva2;
            in.apn = in.user = in.password = in.phone = in.smsNumber = entry;
            in.sequence = sequence;
            std::string message;
            const auto list = BuildTestItem(in, message);
            if (!list) {
                FUZZ_CHECK(Refusal(message), "a refusal says one of the window's messages");
                continue;
            }
            FUZZ_CHECK(!list->empty() && list->back().command[0] == '\0', "ends with its marker");
            for (size_t i = 0; i + 1 < list->size(); ++i) {
                const CommandStep& step = (*list)[i];
                FUZZ_CHECK(step.command[0] != '\0', "no end marker inside the list");
                const bool pause = std::string_view(step.command) == "*";
                FUZZ_CHECK(pause || step.command[0] != '*', "a command is never read as a pause");
                FUZZ_CHECK(step.expected != nullptr, "an expected reply is never null");
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SequenceLoad load = ParseSequence(text, "fuzz.toml", StrictCp932FromUtf8);
    if (!load.sequence) {
        const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        FUZZ_CHECK(load.error.line >= 1 && load.error.column >= 1, "a refusal has a position");
        FUZZ_CHECK(load.error.line <= lines, "the position is inside the file");
        FUZZ_CHECK(!load.error.what.empty(), "a refusal says what is wrong");
        return 0;
    }
    const Sequence& s = *load.sequence;
    FUZZ_CHECK(!s.title.empty() && !s.steps.empty(), "a title and at least one step");
    for (const SequenceStep& step : s.steps) {
        FUZZ_CHECK(step.models != 0, "every step runs on some model");
        if (step.pause) {
            FUZZ_CHECK(step.timeout >= 1 && step.timeout <= kMaxStepMs, "pause in range");
            continue;
        }
        FUZZ_CHECK(step.timeout == kNoWait || (step.timeout >= 1 && step.timeout <= kMaxStepMs),
                   "time-out in range");
        FUZZ_CHECK(!step.send.empty() && !step.send.front().entry &&
                       !step.send.front().text.empty() && step.send.front().text[0] != '*',
                   "a command begins with text of its own");
        size_t bytes = 0;
        for (const SequenceStep::Piece& piece : step.send) {
            bytes += piece.text.size();
            for (const char c : piece.text) {
                const auto b = static_cast<unsigned char>(c);
                FUZZ_CHECK(b >= 0x20 || b == 0x1A, "no control byte but Ctrl-Z in a command");
                FUZZ_CHECK(b != 0x7F, "no DEL in a command");
            }
        }
        FUZZ_CHECK(bytes < kCommandFieldSize, "a command fits its field with empty entries");
        FUZZ_CHECK(step.expected.size() <= kMaxReplyBytes, "the expected reply fits its buffer");
        for (const std::string& failure : step.failures) {
            FUZZ_CHECK(!failure.empty() && failure.size() <= kMaxReplyBytes,
                       "a failure reply is neither empty nor too long");
        }
    }
    CheckBuilds(load.sequence);
    return 0;
}
