// The sequence loader over arbitrary file contents, and what a loaded sequence builds.
//
// A file is either refused with a position inside it, or loaded; a loaded sequence builds, for any
// entries, either a refusal with one of the window's messages or a list the runner takes as it
// stands: its only empty command is the end marker, no command is read as a pause, no control byte
// but Ctrl-Z goes out, time-outs and reply texts are in range. With empty entries a command always
// fits: only a required entry or the model may refuse it then.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "sequencer/sequence_file.h"
#include "sequencer/test_items.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using namespace karvex;

void CheckStep(const CommandStep& step) {
    const std::string_view command(step.command, strnlen(step.command, kCommandFieldSize));
    FUZZ_CHECK(!command.empty() && command.size() < kCommandFieldSize, "a command fits its field");
    if (command == "*") {
        FUZZ_CHECK(step.timeout >= 1 && step.timeout <= kMaxStepMs, "a pause in range");
        return;
    }
    FUZZ_CHECK(command[0] != '*', "a command is never read as a pause");
    FUZZ_CHECK(step.timeout == kNoWait || (step.timeout >= 1 && step.timeout <= kMaxStepMs),
               "a time-out in range");
    FUZZ_CHECK(strlen(step.expected) <= kMaxReplyBytes, "the expected reply fits its buffer");
    for (const std::string& failure : step.failures) {
        FUZZ_CHECK(!failure.empty() && failure.size() <= kMaxReplyBytes,
                   "a failure reply in range");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SequenceLoad load = ParseSequence(text, "fuzz.toml");
    if (!load.sequence) {
        const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
        FUZZ_CHECK(load.error.line >= 1 && load.error.line <= lines && load.error.column >= 1,
                   "a refusal has a position inside the file");
        FUZZ_CHECK(!load.error.what.empty(), "a refusal says what is wrong");
        return 0;
    }
    for (const bool tolva2 : {false, true}) {
        for (const std::string& entry : {std::string(), std::string(" 1 "), std::string(80, '*')}) {
            TestInputs in;
            in.tolva2 = tolva2;
            in.apn = in.user = in.password = in.phone = in.smsNumber = entry;
            in.sequence = load.sequence;
            std::string message;
            const auto list = BuildTestItem(in, message);
            if (!list) {
                const bool early = message == kApnRequired || message == kPhoneRequired ||
                                   message == kNumberRequired || message == kWrongModelMessage;
                FUZZ_CHECK(early || (message == kTooLongMessage && !entry.empty()),
                           "refused with the window's messages; never too long when empty");
                continue;
            }
            FUZZ_CHECK(!list->empty() && list->back().command[0] == '\0', "ends with its marker");
            for (size_t i = 0; i + 1 < list->size(); ++i) {
                CheckStep((*list)[i]);
                for (const char c : std::string_view((*list)[i].command)) {
                    const auto b = static_cast<unsigned char>(c);
                    FUZZ_CHECK((b >= 0x20 && b != 0x7F) || b == 0x1A, "no control byte but ^Z");
                }
            }
        }
    }
    return 0;
}
