// What karvex-run writes about the items: a human line, a JSON line, the traffic log file of an
// item, and the JUnit XML report at the end.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/board_run.h"

namespace karvex::cli {

// "passed", "failed", "timed-out", "link-lost", "no-time-reply", "interrupted", ...
std::string VerdictWord(const ItemResult& result);
bool Passed(const ItemResult& result);

// `text` fit for a terminal: what is no UTF-8 as U+FFFD, control characters (a board's ESC, CR or
// BS, which would move the cursor or start an escape sequence) as \r, \n, \t, \xHH or \u00HH.
std::string TerminalText(std::string_view text);

// "COM3  1 revision      passed  0.26 s", with where a failed item stopped; fit for a terminal.
std::string HumanLine(const BoardTarget& board, const ItemResult& result);
std::string JsonLine(const BoardTarget& board, const ItemResult& result);
std::string OpenFailedJsonLine(const BoardTarget& board);

// A path given as UTF-8 (as every path on the command line is), for the file functions: on
// Windows a plain std::string would be read in the ANSI code page.
std::filesystem::path PathOf(const std::string& utf8);

// <dir>/<board number>_<board>_<position>_<item name>.log, the board's name made safe for a file
// name and its number (from 1) keeping apart names that are made alike.
std::string LogFilePath(const std::string& dir, const BoardTarget& board, const ItemResult& result);

struct BoardSummary {
    const BoardTarget* board;
    bool openFailed;
    std::vector<ItemResult> results;
};
// The JUnit XML report: one test suite per board, one test case per item that ran.
std::string JUnitXml(const std::vector<BoardSummary>& boards);

}  // namespace karvex::cli
