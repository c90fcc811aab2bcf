// The trace file of a board (--trace-dir): JSON Lines, one object per line, in time order.
//
//   {"type":"run","board":"COM3","started":"2026-03-07T00:05:30.123Z","monotonic_ms":5123456.789}
//   {"type":"item","round":2,"position":1,"item":1,"name":"revision","t":12.300,"end":303.100,
//    "verdict":"passed"}
//   {"type":"tx","t":12.400,"bytes":"AT+CGMR\u000D"}
//   {"type":"step","round":2,"position":1,"list":0,"step":1,"command":"AT+CGMR","timeout":5000,
//    "t":12.400,"verdict_at":302.900,"end":"done","line":"\u000D\u000AOK\u000D\u000A"}
//   {"type":"rx","t":13.100,"bytes":"AT+CGMR\u000D\u000D\u000A"}
//   {"type":"pause","round":2,"position":4,"list":0,"before_step":4,"ms":3000,"t":..,"end":..}
//
// Times are ms from the run's start on the monotonic clock ("monotonic_ms" is that start on the
// system's monotonic clock, "started" on the wall clock, UTC), taken where the port wrote or read
// the bytes; an "rx" chunk is one received line, timed at its first byte. Bytes (and commands and
// lines) are JSON strings with printable ASCII as it stands and every other byte as \u00XX. The
// trace is byte-exact like the --log-dir files: it keeps the user name and password as sent.
#pragma once

#include <string>
#include <vector>

#include "cli/board_run.h"

namespace karvex::cli {

std::string TraceHeader(const BoardTarget& board, const std::string& startedUtc,
                        double monotonicMs);
// An item's lines: the traffic that came before it, its own line, its traffic, steps and pauses.
std::string TraceLines(const ItemResult& result);
// Traffic that came while no item ran.
std::string TraceLines(const std::vector<TraceChunk>& chunks);

// The wall clock now, "2026-03-07T00:05:30.123Z".
std::string UtcNow();

}  // namespace karvex::cli
