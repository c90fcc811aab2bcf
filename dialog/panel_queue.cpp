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
    // One wake per batch: the UI thread empties the whole queue when it wakes.
    if (wake && wake_) {
        wake_();
    }
}

void PanelQueue::Deliver() {
    // One request at a time, taken from the front: a handler that runs a modal loop (a message
    // box) may deliver again from inside it, and the order of the requests still holds.
    for (;;) {
        Request r;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) {
                return;
            }
            r = std::move(queue_.front());
            queue_.pop_front();
        }
        switch (r.kind) {
            case Request::Kind::Enable:
                if (r.generation == generation_.load() && handlers_.enableInputs) {
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
