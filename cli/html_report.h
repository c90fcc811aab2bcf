// The HTML report: one self-contained file (inline CSS and SVG, no script, nothing fetched; its
// content security policy lets the browser fetch nothing at all) that any browser opens.
#pragma once

#include <string>

#include "cli/run_summary.h"

namespace karvex::cli {

// A summary (boards × items, verdict colours, durations); a timeline per board, all on one time
// axis: each step a bar from its write to its verdict, pauses and time-outs visible, the deciding
// or failing line in the bar's tooltip; in a run of rounds, the rounds per board; per step the
// reply time (min, median, p99, max); each kept item run's traffic with timestamps. The timeline
// and the traffic are those of each board's last round, and of the first runs that did not pass
// and the latest (RunSummary's caps). Passwords are masked as in every report.
std::string HtmlReport(const RunSummary& summary);

// The colour a verdict word or a step's end is drawn in ("#2e9d4f" for passed and done).
const char* VerdictColour(const std::string& word);

}  // namespace karvex::cli
