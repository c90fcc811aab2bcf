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

// "COM3  1 revision      passed  0.26 s", with where a failed item stopped.
std::string HumanLine(const BoardTarget& board, const ItemResult& result);
std::string JsonLine(const BoardTarget& board, const ItemResult& result);
std::string OpenFailedJsonLine(const BoardTarget& board);

// A path given as UTF-8 (as every path on the command line is), for the file functions: on
// Windows a plain std::string would be read in the ANSI code page.
std::filesystem::path PathOf(const std::string& utf8);

// <dir>/<board>_<position>_<item name>.log, the board's name made safe for a file name.
std::string LogFilePath(const std::string& dir, const BoardTarget& board, const ItemResult& result);
// Writes the item's log byte for byte; false when it could not be written.
bool WriteLogFile(const std::string& path, const std::string& bytes);

struct BoardSummary {
    const BoardTarget* board;
    bool openFailed;
    std::vector<ItemResult> results;
};
// The JUnit XML report: one test suite per board, one test case per item that ran.
std::string JUnitXml(const std::vector<BoardSummary>& boards);

}  // namespace karvex::cli
