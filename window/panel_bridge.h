// The window's side of the core's OperatorPanel: the sequence worker calls it, and it hands each
// call to the UI thread without ever waiting for it.
//
// Calls are queued in order under a mutex and one event is posted to wake the UI thread, which
// carries out everything queued. Enable requests are stamped with the link generation current at
// the time of the call; the window starts a new generation at every connect and disconnect, so a
// request left over from a run that a disconnect ended can never change the controls of the
// next link.
#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sequencer/operator_panel.h"

namespace karvex {

class PanelBridge : public QObject, public OperatorPanel {
  public:
    struct Handlers {
        std::function<void(bool enable)> enableInputs;     // UI thread
        std::function<void(const QString& text)> message;  // UI thread
    };

    explicit PanelBridge(Handlers handlers);

    // Any thread; never blocks on the UI thread.
    void EnableInputs(bool enable) override;
    void ShowMessage(const std::string& utf8Text) override;

    // UI thread: requests stamped with an older generation are dropped.
    void NewGeneration() { generation_.fetch_add(1); }

    // UI thread: carries out what is queued (also done by the posted event).
    void Deliver();

  protected:
    bool event(QEvent* e) override;

  private:
    struct Request {
        enum class Kind { Enable, Message };
        Kind kind;
        bool enable;
        uint64_t generation;
        std::string text;
    };
    void Queue(Request request);

    Handlers handlers_;
    std::atomic<uint64_t> generation_{0};
    std::mutex mutex_;
    std::vector<Request> queue_;
};

}  // namespace karvex
