// The thread that writes the files that grow while boards run (the traces) and rewrites the
// reports after rounds, so that no board's worker waits on the disk between its steps.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace karvex::cli {

class ReportWriter {
  public:
    // `rewrite` writes the reports anew; it runs on the writer's thread, at most once per
    // `spacing` while rounds keep ending.
    ReportWriter(std::function<void()> rewrite, std::chrono::milliseconds spacing);
    ~ReportWriter();  // Finish()
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Runs `job` on the writer's thread, after the jobs posted before it.
    void Post(std::function<void()> job);
    // The reports are to be written again (a round has ended).
    void ReportsChanged();
    // Runs every job posted and ends the thread; a rewrite still due is left to the caller.
    void Finish();

  private:
    void Run();

    std::function<void()> rewrite_;
    const std::chrono::milliseconds spacing_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool changed_ = false;
    bool finishing_ = false;
    std::chrono::steady_clock::time_point lastRewrite_{};
    std::thread thread_;
};

}  // namespace karvex::cli
