#include "window/panel_bridge.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

namespace karvex {

namespace {
const QEvent::Type kDeliverEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

PanelBridge::PanelBridge(Handlers handlers) : handlers_(std::move(handlers)) {}

void PanelBridge::EnableInputs(bool enable) {
    Queue(Request{Request::Kind::Enable, enable, generation_.load(), {}});
}

void PanelBridge::ShowMessage(const std::string& utf8Text) {
    Queue(Request{Request::Kind::Message, false, generation_.load(), utf8Text});
}

void PanelBridge::Queue(Request request) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        wake = queue_.empty();
        queue_.push_back(std::move(request));
    }
    // One event per batch: the UI thread takes the whole queue when it wakes.
    if (wake) {
        QCoreApplication::postEvent(this, new QEvent(kDeliverEvent));
    }
}

bool PanelBridge::event(QEvent* e) {
    if (e->type() == kDeliverEvent) {
        Deliver();
        return true;
    }
    return QObject::event(e);
}

void PanelBridge::Deliver() {
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
                    handlers_.message(QString::fromUtf8(r.text));
                }
                break;
        }
    }
}

}  // namespace karvex
