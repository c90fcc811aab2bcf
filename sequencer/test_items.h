// The twelve test items.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sequencer/command_step.h"

namespace karvex {

inline constexpr int kTestItemCount = 12;

// What the worker needs from the controls, read on the UI thread when execute is pressed.
// Texts are CP932 bytes exactly as the fields hold them.
struct TestInputs {
    int item = -1;  // selected index of the test-item drop-down, -1 when none
    bool tolva2 = false;
    std::string apn, user, password, phone, smsNumber;
    // Fields whose text held a character CP932 cannot represent, so that '?' stands in the bytes
    // above in its place. An item that fills such a field in is refused.
    struct {
        bool apn = false, user = false, password = false, phone = false, smsNumber = false;
    } unmappable;
};

// The host name of the network time service (see README: what the service must answer).
extern const char* const kTimeServiceHost;

// Builds the step list of item `inputs.item` (the end marker included). When the inputs are refused
// it returns nothing and sets `message` (UTF-8) to what the operator is shown; an index outside
// 0..11 returns nothing with an empty message. A field the item fills in is refused when a byte of
// it, as it would be sent, is a control byte (below 0x20, or 0x7F): a CR would end the command
// early and start another.
std::optional<std::vector<CommandStep>> BuildTestItem(const TestInputs& inputs,
                                                      std::string& message);

// The item's commands as reports show them: the user name and password, where a command holds
// them, as "***". Index i is step i of BuildTestItem's list (its end marker left out); empty for
// an index outside 0..11.
std::vector<std::string> MaskedCommands(const TestInputs& inputs);

// What became of one run of an item.
enum class ItemVerdict {
    Passed,       // every list reached its end
    Failed,       // a failure reply ended a list
    TimedOut,     // a step's time-out passed
    LinkLost,     // the command could not be written, or the link closed during the run
    NoTimeReply,  // network time: its first list ended, but the log holds no end marker
    Refused,      // the inputs were refused (the operator was shown why); nothing was sent
};

struct ItemReport {
    ItemVerdict verdict = ItemVerdict::Passed;
    int list = 0;   // the list that stopped: 0, or 1 for the clock list of the network-time item
    StepStop stop;  // where it stopped (index -1 when no step did)
};

// Runs the selected item on the sequence worker (item 3 goes on with the clock-setting list) and
// tells how it ended; the first list that stopped decides.
ItemReport RunTestItem(RunContext& ctx, const TestInputs& inputs);

// The sequence worker's procedure: RunTestItem, then 0.
int SequenceWorker(RunContext& ctx, const TestInputs& inputs);

}  // namespace karvex
