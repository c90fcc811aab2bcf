// What karvex-run writes about the items: a human line, a JSON line, the traffic log file of an
// item, and the JUnit XML report at the end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/board_run.h"
#include "cli/run_summary.h"

namespace karvex::cli {

// "passed", "failed", "timed-out", "link-lost", "no-time-reply", "interrupted", ...
std::string VerdictWord(const ItemResult& result);
bool Passed(const ItemResult& result);
// What the reports say of an item that did not pass: "failed at step 1 (AT+CSQ): ERROR".
std::string ReasonText(const ItemResult& result);
// A failure reply, a time-out or a missing time reply is the board's answer: a failure. A lost
// link or an interruption says nothing about the board: an error.
bool CountsAsFailure(const ItemResult& result);

// `text` fit for a terminal: what is no UTF-8 as U+FFFD, control characters (a board's ESC, CR or
// BS, which would move the cursor or start an escape sequence) as \r, \n, \t, \xHH or \u00HH.
std::string TerminalText(std::string_view text);

// "COM3  1 revision      passed  0.26 s", with where a failed item stopped, and in a run of
// rounds "  round 3" at the end; fit for a terminal.
std::string HumanLine(const BoardTarget& board, const ItemResult& result);
std::string JsonLine(const BoardTarget& board, const ItemResult& result);
std::string OpenFailedJsonLine(const BoardTarget& board);

// `value` with `decimals` decimals ("0.260"): seconds in the reports, milliseconds in the trace.
std::string Fixed(double value, int decimals);

// Text as XML (and HTML) character data or attribute value: markup characters as references,
// what is no UTF-8 and the control characters XML cannot carry as U+FFFD, CR as &#13;.
std::string XmlText(const std::string& utf8);

// A path given as UTF-8 (as every path on the command line is), for the file functions: on
// Windows a plain std::string would be read in the ANSI code page.
std::filesystem::path PathOf(const std::string& utf8);

// <dir>/<board number>_<board>_<position>_<item name>.log, the board's name made safe for a file
// name and its number (from 1) keeping apart names that are made alike; in a run of rounds
// <dir>/<board number>_<board>_r<round>_<position>_<item name>.log.
std::string LogFilePath(const std::string& dir, const BoardTarget& board, const ItemResult& result);
// <dir>/<board number>_<board>.jsonl
std::string TraceFilePath(const std::string& dir, const BoardTarget& board);

// The JUnit XML report: one test suite per board, one test case per item of the plan that ran,
// its time all its rounds together; an item that did not pass in some round has the failure (or
// error) of the last such round, a failure before an error, and in a run of rounds the count.
std::string JUnitXml(const RunSummary& summary);

}  // namespace karvex::cli
