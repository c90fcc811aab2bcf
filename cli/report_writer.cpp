#include "cli/report_writer.h"

namespace karvex::cli {

ReportWriter::ReportWriter(std::function<void()> rewrite, std::chrono::milliseconds spacing)
    : rewrite_(std::move(rewrite)), spacing_(spacing), thread_([this] { Run(); }) {}

ReportWriter::~ReportWriter() {
    Finish();
}

void ReportWriter::Post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void ReportWriter::ReportsChanged() {
    {
        std::lock_guard lock(mutex_);
        changed_ = true;
    }
    wake_.notify_one();
}

void ReportWriter::Finish() {
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void ReportWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        const auto due = lastRewrite_ + spacing_;
        const bool rewriteDue = changed_ && std::chrono::steady_clock::now() >= due;
        if (!jobs_.empty()) {
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        } else if (rewriteDue && !finishing_) {
            changed_ = false;
            lock.unlock();
            rewrite_();
            lock.lock();
            lastRewrite_ = std::chrono::steady_clock::now();
        } else if (finishing_) {
            return;
        } else if (changed_) {
            wake_.wait_until(lock, due);
        } else {
            wake_.wait(lock);
        }
    }
}

}  // namespace karvex::cli
