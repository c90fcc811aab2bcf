#include "dialog/panel_queue.h"

#include <utility>

namespace karvex {

PanelQueue::PanelQueue(Handlers handlers, std::function<void()> wake)
    : handlers_(std::move(handlers)), wake_(std::move(wake)) {}

void PanelQueue::EnableInputs(bool enable) {
    Queue(Request{Request::Kind::Enable, enable, generation_.load(), {}});
}

void PanelQueue::ShowMessage(const std::string& utf8Text) {
    Queue(Request{Request::Kind::Message, false, generation_.load(), utf8Text});
}

void PanelQueue::Queue(Request request) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        wake = queue_.empty();
        queue_.push_back(std::move(request));
    }
    // One wake per batch: the UI thread takes the whole queue when it wakes.
    if (wake && wake_) {
        wake_();
    }
}

void PanelQueue::Deliver() {
    std::vector<Request> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(queue_);
    }
    const uint64_t current = generation_.load();
    for (const Request& r : batch) {
        switch (r.kind) {
            case Request::Kind::Enable:
                if (r.generation == current && handlers_.enableInputs) {
                    handlers_.enableInputs(r.enable);
                }
                break;
            case Request::Kind::Message:
                if (handlers_.message) {
                    handlers_.message(r.text);
                }
                break;
        }
    }
}

}  // namespace karvex
