#include "sequencer/user_sequence.h"

#include "link/ascii_trim.h"
#include "sequencer/test_items.h"

namespace karvex {
namespace {

// The window's message for an entry that must not be empty; null for the entries the built-in items
// never require (user name and password may be empty).
const char* RequiredMessage(Entry entry) {
    switch (entry) {
        case Entry::Apn:
            return kApnRequired;
        case Entry::Phone:
            return kPhoneRequired;
        case Entry::SmsNumber:
            return kNumberRequired;
        case Entry::User:
        case Entry::Password:
        case Entry::TimeHost:
            return nullptr;
    }
    return nullptr;
}

std::string Fill(const SequenceStep& step, const TestInputs& inputs, bool trim) {
    std::string command;
    for (const SequenceStep::Piece& piece : step.send) {
        if (!piece.entry) {
            command += piece.text;
            continue;
        }
        const std::string_view text = EntryText(inputs, *piece.entry);
        command += trim ? TrimAsciiSpace(text) : text;
    }
    return command;
}

}  // namespace

std::optional<std::vector<CommandStep>> BuildSequence(const Sequence& sequence,
                                                      const TestInputs& inputs,
                                                      std::string& message) {
    message.clear();
    const uint8_t model = inputs.tolva2 ? kModelTolva2 : kModelTolva1;
    if ((sequence.models & model) == 0) {
        message = kWrongModelMessage;
        return std::nullopt;
    }
    // As for the built-in items, the check is on the text as typed.
    for (const Entry entry : sequence.fields) {
        const char* required = RequiredMessage(entry);
        if (required != nullptr && EntryText(inputs, entry).empty()) {
            message = required;
            return std::nullopt;
        }
    }

    for (const SequenceStep& step : sequence.steps) {
        if ((step.models & model) == 0) continue;
        for (const SequenceStep::Piece& piece : step.send) {
            if (!piece.entry) continue;
            message = FieldFault(inputs, *piece.entry, sequence.trim);
            if (!message.empty()) return std::nullopt;
        }
    }

    std::vector<CommandStep> list;
    for (const SequenceStep& step : sequence.steps) {
        if ((step.models & model) == 0) continue;
        CommandStep& made = list.emplace_back();
        if (step.pause) {
            MakeStep(made, "*", step.timeout);
            continue;
        }
        if (!MakeStep(made, Fill(step, inputs, sequence.trim), step.timeout,
                      step.expected.c_str())) {
            message = kTooLongMessage;
            return std::nullopt;
        }
        made.failures = step.failures;
    }
    list.emplace_back();  // the end marker
    return list;
}

std::vector<std::string> SequenceCommands(const Sequence& sequence, const TestInputs& inputs) {
    const uint8_t model = inputs.tolva2 ? kModelTolva2 : kModelTolva1;
    std::vector<std::string> commands;
    for (const SequenceStep& step : sequence.steps) {
        if ((step.models & model) == 0) continue;
        commands.push_back(step.pause ? std::string("*") : Fill(step, inputs, sequence.trim));
    }
    return commands;
}

}  // namespace karvex
