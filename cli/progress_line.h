// The live progress line on a terminal: for each board its current item and step, and the time
// the step has waited against its time-out. Result lines are printed above it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/board_run.h"

namespace karvex::cli {

class ProgressLine {
  public:
    ProgressLine(const RunPlan& plan, const std::vector<std::unique_ptr<BoardRun>>& boards);
    ~ProgressLine();
    void Start();
    // Prints `line` (and a line end) on stdout, the progress line redrawn below it later.
    void PrintAbove(const std::string& line);
    // Removes the line for good and ends the drawing thread.
    void Finish();

  private:
    std::string Text() const;
    void Draw();  // with mutex_ held

    const RunPlan& plan_;
    const std::vector<std::unique_ptr<BoardRun>>& boards_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool finished_ = false;
    bool drawn_ = false;
    std::thread thread_;
};

}  // namespace karvex::cli
