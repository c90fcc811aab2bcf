// The board's outgoing bytes, in time order. Answers, unsolicited lines and GPS sentences each wait
// for their time; the one being delivered holds the line until its last byte is out, so a slow
// answer is never cut into by another. The poll loop asks for the next write and reports back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/board.h"

namespace karvex::sim {

struct Outgoing {
    enum class Origin { Answer, Unsolicited, Gps };
    Clock::time_point due;
    std::string bytes;
    milliseconds perByte{0};  // 0: all bytes in one write; else one byte per write, this apart
    Origin origin = Origin::Answer;
};

class OutQueue {
  public:
    void Push(Outgoing item);
    // The bytes of the write due at `now`, empty when nothing is due.
    std::string_view Next(Clock::time_point now);
    // `count` bytes of what Next() gave were written at `at`.
    void Written(size_t count, Clock::time_point at);
    // When the next write falls due; nothing when the queue is empty.
    std::optional<Clock::time_point> NextTime() const;
    bool Holds(Outgoing::Origin origin) const;
    // Drops the waiting items of one origin; one already being delivered finishes.
    void Drop(Outgoing::Origin origin);
    void Clear();

  private:
    struct Item {
        Outgoing out;
        uint64_t seq;
    };
    std::vector<Item> waiting_;
    std::optional<Outgoing> current_;
    size_t pos_ = 0;                 // bytes of current_ already written
    Clock::time_point nextWrite_{};  // of current_
    uint64_t seq_ = 0;
};

}  // namespace karvex::sim
