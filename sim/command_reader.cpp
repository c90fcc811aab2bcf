#include "sim/command_reader.h"

namespace karvex::sim {

namespace {
constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
}  // namespace

std::optional<ReceivedCommand> CommandReader::Feed(uint8_t byte, Clock::time_point at,
                                                   bool takingText) {
    // Senders end a message text with 0x1A and then their usual CR; that CR ends nothing.
    const bool afterText = afterText_;
    afterText_ = false;
    if (afterText && byte == kCr) return std::nullopt;

    if (takingText) {
        if (buffer_.empty() && byte == kLf) return std::nullopt;  // the LF after "AT+CMGS=..."
        if (buffer_.empty()) start_ = at;
        if (byte == kSub || byte == kEsc) {
            buffer_.push_back(static_cast<char>(byte));
            afterText_ = true;
            return Finish(byte == kSub ? ReceivedCommand::End::Send : ReceivedCommand::End::Cancel);
        }
        if (buffer_.size() < kMaxLength) buffer_.push_back(static_cast<char>(byte));
        return std::nullopt;
    }

    if (byte == kCr) {
        if (buffer_.empty()) return std::nullopt;  // empty lines are ignored
        return Finish(ReceivedCommand::End::Cr);
    }
    if (byte == kLf) return std::nullopt;  // the LF of a CR LF line end, or a stray one
    if (buffer_.empty()) start_ = at;
    if (buffer_.size() < kMaxLength) buffer_.push_back(static_cast<char>(byte));
    return std::nullopt;
}

void CommandReader::Reset() {
    buffer_.clear();
    afterText_ = false;
}

std::optional<ReceivedCommand> CommandReader::Finish(ReceivedCommand::End end) {
    ReceivedCommand command{start_, std::move(buffer_), end};
    buffer_.clear();
    return command;
}

}  // namespace karvex::sim
