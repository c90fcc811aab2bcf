// Short messages in text mode: sending (with the text-entry prompt), the SIM store, reading and
// deleting. A message sent to the module's own number comes back into the store as received.
#include "sim/at_args.h"
#include "sim/module.h"

namespace karvex::sim {

namespace {
constexpr std::string_view kPrompt = "\r\n> ";
constexpr std::string_view kInternationalOwn = "+819012345678";
// +CMS ERROR codes (27.005): operation not allowed, invalid text mode parameter, invalid index.
constexpr std::string_view kNotAllowed = "+CMS ERROR: 302";
constexpr std::string_view kBadTextParameter = "+CMS ERROR: 305";
constexpr std::string_view kInvalidIndex = "+CMS ERROR: 321";

Response Answer(std::string_view bytes) {
    return {std::string(bytes), {}};
}
}  // namespace

size_t Module::StoredMessages() const {
    size_t count = 0;
    for (const auto& slot : store_) count += slot ? 1 : 0;
    return count;
}

bool Module::IsOwnNumber(std::string_view number) const {
    return number == OwnNumber() || number == kInternationalOwn;
}

bool Module::Store(Sms sms) {
    for (auto& slot : store_) {
        if (!slot) {
            slot = std::move(sms);
            return true;
        }
    }
    return false;  // store full: the message is lost, as on a full SIM
}

Response Module::MessageFormat(std::string_view args, Clock::time_point) {
    const auto mode = ParseNumber(args);
    if (!mode || *mode > 1) return Answer(kError);
    textMode_ = *mode == 1;
    return Answer(kOk);
}

Response Module::MessageFormatQuery(std::string_view, Clock::time_point) {
    return {Line(textMode_ ? "+CMGF: 1" : "+CMGF: 0") + std::string(kOk), {}};
}

// AT+CMGS="<number>"[,<type>]: the prompt; the text follows (FinishText).
Response Module::SendMessage(std::string_view args, Clock::time_point) {
    if (!textMode_) return Answer(kError);  // PDU mode is not simulated
    const auto fields = SplitArgs(args);
    const auto number = Unquote(fields[0]);
    if (!number) return Answer(kError);
    if (number->empty()) return Answer(Line(kBadTextParameter));
    pendingSms_ = std::string(*number);
    return Answer(kPrompt);
}

Response Module::FinishText(std::string_view text, bool send, Clock::time_point now) {
    const std::string number = pendingSms_.value_or("");
    pendingSms_.reset();
    if (!send) return Answer(kOk);  // ESC: nothing is sent
    const int reference = nextReference_;
    nextReference_ = (nextReference_ + 1) % 256;
    if (IsOwnNumber(number)) {
        Store({SmsStatus::RecUnread, std::string(kInternationalOwn), clock_.Value(now),
               std::string(text)});
    }
    return {"", {{smsDelay_, Line("+CMGS: " + std::to_string(reference)) + std::string(kOk)}}};
}

// AT+CPMS="SM"[,"SM"[,"SM"]]: only the SIM store exists.
Response Module::PreferredStorage(std::string_view args, Clock::time_point) {
    const auto fields = SplitArgs(args);
    if (fields.size() > 3) return Answer(kError);
    for (std::string_view field : fields) {
        const auto name = Unquote(field);
        if (!name) return Answer(kError);
        if (!EqualsNoCase(*name, "SM")) return Answer(Line(kNotAllowed));
    }
    const std::string used = std::to_string(StoredMessages());
    const std::string total = std::to_string(kStoreSize);
    const std::string pair = used + "," + total;
    return {Line("+CPMS: " + pair + "," + pair + "," + pair) + std::string(kOk), {}};
}

// AT+CMGR=<index>: the header line and the text; an unread message becomes read.
Response Module::ReadMessage(std::string_view args, Clock::time_point) {
    const auto index = ParseNumber(args);
    if (!index) return Answer(kError);
    if (!textMode_) return Answer(Line(kNotAllowed));  // PDU mode is not simulated
    if (*index < 1 || static_cast<size_t>(*index) > kStoreSize) return Answer(Line(kInvalidIndex));
    auto& slot = store_[static_cast<size_t>(*index) - 1];
    if (!slot) return Answer(Line(kInvalidIndex));
    const char* status = slot->status == SmsStatus::RecUnread ? "REC UNREAD" : "REC READ";
    slot->status = SmsStatus::RecRead;
    const std::string header =
        "+CMGR: \"" + std::string(status) + "\",\"" + slot->number + "\",,\"" + slot->stamp + "\"";
    return {"\r\n" + header + "\r\n" + slot->text + "\r\n" + std::string(kOk), {}};
}

// AT+CMGD=<index>[,<flag>]: flag 0 deletes the slot (an empty one too); 1 to 3 delete every read
// message (only received messages exist here); 4 deletes all.
Response Module::DeleteMessage(std::string_view args, Clock::time_point) {
    const auto fields = SplitArgs(args);
    const auto index = ParseNumber(fields[0]);
    const auto flag = fields.size() > 1 ? ParseNumber(fields[1]) : std::optional<int>(0);
    if (!index || !flag || *flag > 4 || fields.size() > 2) return Answer(kError);
    if (*flag == 0) {
        if (*index < 1 || static_cast<size_t>(*index) > kStoreSize) {
            return Answer(Line(kInvalidIndex));
        }
        store_[static_cast<size_t>(*index) - 1].reset();
        return Answer(kOk);
    }
    for (auto& slot : store_) {
        if (slot && (*flag == 4 || slot->status == SmsStatus::RecRead)) slot.reset();
    }
    return Answer(kOk);
}

}  // namespace karvex::sim
