#include "sequencer/test_items.h"

#include "link/ascii_trim.h"
#include "sequencer/item_catalogue.h"
#include "sequencer/user_sequence.h"

namespace karvex {
namespace {

// A name under the private-use top-level domain: a lab points it at its own time service through
// its DNS; it never resolves to anything on the public internet.
constexpr std::string_view kTimeHost = "time.karvex.internal";
// The HTTP configuration command is 19 characters plus the host and must fit a step's 79.
static_assert(kTimeHost.size() <= 60);

}  // namespace

std::string_view EntryText(const TestInputs& inputs, Entry entry) {
    switch (entry) {
        case Entry::Apn:
            return inputs.apn;
        case Entry::User:
            return inputs.user;
        case Entry::Password:
            return inputs.password;
        case Entry::Phone:
            return inputs.phone;
        case Entry::SmsNumber:
            return inputs.smsNumber;
        case Entry::TimeHost:
            return kTimeHost;
    }
    return {};
}

namespace {

// Replaces each "%s" in order with the next entry, verbatim.
std::string Fill(const StepTemplate& step, const TestInputs& inputs, bool trim) {
    std::string command;
    size_t next = 0;
    std::string_view rest = step.format;
    for (size_t at = rest.find("%s"); at != std::string_view::npos; at = rest.find("%s")) {
        command.append(rest.substr(0, at));
        const std::string_view text = EntryText(inputs, step.entries[next++]);
        command.append(trim ? TrimAsciiSpace(text) : text);
        rest.remove_prefix(at + 2);
    }
    command.append(rest);
    return command;
}

}  // namespace

const char* const kTimeServiceHost = kTimeHost.data();

std::optional<std::vector<CommandStep>> BuildTestItem(const TestInputs& inputs,
                                                      std::string& message) {
    message.clear();
    if (inputs.sequence) return BuildSequence(*inputs.sequence, inputs, message);
    const ItemTemplate* item = FindItem(inputs.item);
    if (item == nullptr) return std::nullopt;

    // The check is on the text as typed: an entry of blanks only passes and is trimmed to nothing.
    if (item->hasRequired && EntryText(inputs, item->required).empty()) {
        message = item->requiredMessage;
        return std::nullopt;
    }

    std::vector<CommandStep> list(item->steps.size() + 1);  // the last one stays the end marker
    for (size_t i = 0; i < item->steps.size(); ++i) {
        const StepTemplate& step = item->steps[i];
        const std::string command = inputs.tolva2 && !step.tolva2.empty()
                                        ? std::string(step.tolva2)
                                        : Fill(step, inputs, item->trimEntries);
        // A filled command that does not fit the step's field refuses the whole item: nothing is
        // sent rather than a cut-off command.
        if (!MakeStep(list[i], command, step.timeout, step.expected)) {
            message = kTooLongMessage;
            return std::nullopt;
        }
    }
    return list;
}

}  // namespace karvex
