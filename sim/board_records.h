// What the simulated board is told to do with a command, and what it records: shared by the board
// and by the remote handle the Windows tests drive it through.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace karvex::sim {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct Behaviour {
    enum class Kind {
        Normal,      // the module's own answer (with the extras below)
        Reply,       // `reply` instead of the normal answer (after the echo)
        Silent,      // echo only, no answer
        Error,       // "\r\nERROR\r\n"
        OkAndError,  // one line holding both the expected reply and ERROR: "\r\nOK ERROR\r\n"
        Vanish,      // the device disappears when the command arrives
    };
    Kind kind = Kind::Normal;
    std::string reply{};      // for Kind::Reply: the exact bytes
    milliseconds delay{0};    // before the answer starts
    milliseconds perByte{0};  // slow delivery: pause between the bytes of the answer
    std::string before{};     // sent before the answer (unsolicited lines, garbage)
    std::string after{};      // sent right after the answer
    int times = -1;           // how many matching commands it applies to; -1: all
};

struct RxByte {
    Clock::time_point at;
    uint8_t byte;
};
struct TxChunk {
    Clock::time_point at;  // when the chunk's last byte was handed to the pseudo-terminal
    std::string bytes;
};
struct RxCommand {
    Clock::time_point at;  // arrival of the command's first byte
    std::string text;      // the bytes up to (not including) the CR, or up to 0x1A inclusive
};

}  // namespace karvex::sim
