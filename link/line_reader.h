// Turning the module's bytes into lines, and judging each line.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "link/port.h"

namespace karvex {

// The line buffer: 256 bytes, of which a line fills at most 82 (81 characters and a NUL).
using LineBuffer = std::array<char, 256>;

inline constexpr int kMaxLineBytes = 80;

struct ReadLineResult {
    int code = E_FAIL;        // 0: a complete line is in the buffer; E_FAIL: none
    bool portFailed = false;  // the read failed (as opposed to timing out or overflowing)
};

// Reads one byte at a time. A line ends at an LF at write position 2 or later: kept as it is after
// a CR, widened to CR LF otherwise. A read that does not return one byte, or 80 bytes without an
// end, drops what was gathered. The buffer holds the line NUL-terminated on success.
ReadLineResult ReadLine(Port& port, LineBuffer& buffer);

// The line as text: up to its first NUL (a NUL received inside a line cuts it).
std::string_view LineText(const LineBuffer& buffer);

inline constexpr std::string_view kDefaultSuccessText = "OK\r";
inline constexpr std::string_view kPauseText = "JST";

// Failure replies, matched as substrings anywhere in a line.
inline constexpr std::array<std::string_view, 4> kFailureReplies = {"+KHTTP_ERROR", "ERROR\r",
                                                                    "NO CARRIER\r", "ABORT\r"};

struct LineJudgement {
    bool holdsSuccess = false;
    bool holdsFailure = false;
};
// `expected` empty means the default success text. `extraFailures` count as failure replies besides
// the fixed four.
LineJudgement JudgeLine(std::string_view line, std::string_view expected,
                        std::span<const std::string> extraFailures = {});

}  // namespace karvex
