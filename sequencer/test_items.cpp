#include "sequencer/test_items.h"

#include <algorithm>

#include "link/ascii_trim.h"
#include "sequencer/item_catalogue.h"

namespace karvex {
namespace {

// A name under the private-use top-level domain: a lab points it at its own time service through
// its DNS; it never resolves to anything on the public internet.
constexpr std::string_view kTimeHost = "time.karvex.internal";
// The HTTP configuration command is 19 characters plus the host and must fit a step's 79.
static_assert(kTimeHost.size() <= 60);

constexpr const char* kTooLong = "入力が長すぎます。";
// Behind the field's name.
constexpr const char* kControlByteMessage = "に制御文字は使えません。";
constexpr const char* kUnmappableMessage = "に送信できない文字があります。";

// A field as the item fills it in, and the name the operator knows it by (UTF-8).
struct EntryValue {
    std::string_view text;
    bool unmappable = false;
    const char* name = "";
};

EntryValue ValueOf(const TestInputs& inputs, Entry entry) {
    switch (entry) {
        case Entry::Apn:
            return {inputs.apn, inputs.unmappable.apn, "APN"};
        case Entry::User:
            return {inputs.user, inputs.unmappable.user, "ユーザ名"};
        case Entry::Password:
            return {inputs.password, inputs.unmappable.password, "パスワード"};
        case Entry::Phone:
            return {inputs.phone, inputs.unmappable.phone, "電話番号"};
        case Entry::SmsNumber:
            return {inputs.smsNumber, inputs.unmappable.smsNumber, "番号"};
        case Entry::TimeHost:
            return {kTimeHost};
    }
    return {};
}

std::string_view EntryText(const TestInputs& inputs, Entry entry) {
    return ValueOf(inputs, entry).text;
}

// A field's text as it goes into a command: without white space at either end where the item trims.
std::string_view AsSent(std::string_view text, bool trim) {
    return trim ? TrimAsciiSpace(text) : text;
}

// Replaces each "%s" in order with the next entry, verbatim.
std::string Fill(const StepTemplate& step, const TestInputs& inputs, bool trim) {
    std::string command;
    size_t next = 0;
    std::string_view rest = step.format;
    for (size_t at = rest.find("%s"); at != std::string_view::npos; at = rest.find("%s")) {
        command.append(rest.substr(0, at));
        command.append(AsSent(EntryText(inputs, step.entries[next++]), trim));
        rest.remove_prefix(at + 2);
    }
    command.append(rest);
    return command;
}

std::string StepCommand(const ItemTemplate& item, const StepTemplate& step,
                        const TestInputs& inputs) {
    return inputs.tolva2 && !step.tolva2.empty() ? std::string(step.tolva2)
                                                 : Fill(step, inputs, item.trimEntries);
}

bool IsControlByte(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '\x7F';
}

// Why the operator's fields cannot go into the item's commands, or empty. Each field is judged as
// it would be sent: trimmed where the item trims. The item's own bytes (the Ctrl-Z that ends the
// SMS text) are no field's.
std::string FieldFault(const ItemTemplate& item, const TestInputs& inputs) {
    for (const StepTemplate& step : item.steps) {
        if (inputs.tolva2 && !step.tolva2.empty()) continue;
        const int count = CountPlaceholders(step.format);
        for (int i = 0; i < count; ++i) {
            const EntryValue value = ValueOf(inputs, step.entries[static_cast<size_t>(i)]);
            if (std::ranges::any_of(AsSent(value.text, item.trimEntries), IsControlByte)) {
                return std::string(value.name) + kControlByteMessage;
            }
            if (value.unmappable) return std::string(value.name) + kUnmappableMessage;
        }
    }
    return {};
}

}  // namespace

const char* const kTimeServiceHost = kTimeHost.data();

std::optional<std::vector<CommandStep>> BuildTestItem(const TestInputs& inputs,
                                                      std::string& message) {
    message.clear();
    const ItemTemplate* item = FindItem(inputs.item);
    if (item == nullptr) return std::nullopt;

    // The check is on the text as typed: an entry of blanks only passes and is trimmed to nothing.
    if (item->hasRequired && EntryText(inputs, item->required).empty()) {
        message = item->requiredMessage;
        return std::nullopt;
    }
    message = FieldFault(*item, inputs);
    if (!message.empty()) return std::nullopt;

    std::vector<CommandStep> list(item->steps.size() + 1);  // the last one stays the end marker
    for (size_t i = 0; i < item->steps.size(); ++i) {
        const StepTemplate& step = item->steps[i];
        const std::string command = StepCommand(*item, step, inputs);
        // A filled command that does not fit the step's field refuses the whole item: nothing is
        // sent rather than a cut-off command.
        if (!MakeStep(list[i], command, step.timeout, step.expected)) {
            message = kTooLong;
            return std::nullopt;
        }
    }
    return list;
}

std::vector<std::string> MaskedCommands(const TestInputs& inputs) {
    const ItemTemplate* item = FindItem(inputs.item);
    if (item == nullptr) return {};
    TestInputs masked = inputs;
    // A value that is sent as nothing stays nothing.
    for (std::string* secret : {&masked.user, &masked.password}) {
        if (!AsSent(*secret, item->trimEntries).empty()) *secret = "***";
    }
    std::vector<std::string> commands;
    for (const StepTemplate& step : item->steps) {
        commands.push_back(StepCommand(*item, step, masked));
    }
    return commands;
}

}  // namespace karvex
