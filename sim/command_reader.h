// Cuts the bytes the program sends into commands: a command line ends at CR; after an AT+CMGS
// prompt the message text ends at 0x1A (send) or ESC (cancel).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sim/board.h"

namespace karvex::sim {

struct ReceivedCommand {
    enum class End { Cr, Send, Cancel };
    Clock::time_point at;  // arrival of the first byte
    std::string text;      // without the CR; with the 0x1A or ESC that ends a message text
    End end = End::Cr;
    std::string Body() const { return end == End::Cr ? text : text.substr(0, text.size() - 1); }
};

class CommandReader {
  public:
    static constexpr uint8_t kSub = 0x1A;
    static constexpr uint8_t kEsc = 0x1B;
    // Longest command kept; the rest of a longer line is dropped (the module answers ERROR).
    static constexpr size_t kMaxLength = 4096;

    // One received byte; the finished command when this byte ends one. `takingText` tells
    // whether the module waits for a message text.
    std::optional<ReceivedCommand> Feed(uint8_t byte, Clock::time_point at, bool takingText);
    // Forgets a partly received command (the device went away).
    void Reset();

  private:
    std::optional<ReceivedCommand> Finish(ReceivedCommand::End end);

    std::string buffer_;
    Clock::time_point start_{};
    bool afterText_ = false;  // the byte before was the 0x1A/ESC that ended a message text
};

}  // namespace karvex::sim
