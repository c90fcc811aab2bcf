// The receive monitor: the only reader of the port's data while a link is open. It logs every line,
// sleeps its fixed pauses, and publishes a verdict for the runner.
#pragma once

#include "link/link_state.h"
#include "link/port.h"
#include "link/traffic_log.h"

namespace karvex {

struct MonitorTiming {
    int afterLineMs = 30;         // after every logged line
    int pauseTextMs = 500;        // more after a line holding "JST"
    int beforeSuccessMs = 200;    // before a success verdict is published
    int afterFailedReadMs = 101;  // one read time-out
};

// Runs until the link-open flag is cleared. After a failed read (a vanished device fails every read
// at once) it waits one read time-out before trying again, so it never spins.
void ReceiveMonitor(LinkState& state, Port& port, TrafficLog& log,
                    const MonitorTiming& timing = MonitorTiming{});

}  // namespace karvex
