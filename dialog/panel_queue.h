// The front end's side of the core's OperatorPanel: the sequence worker calls it, and it hands
// each call to the UI thread without ever waiting for it.
//
// Calls are queued in order under a mutex, and the front end's wake function is called once per
// batch (it posts an event or a window message); the UI thread then calls Deliver, which carries
// out everything queued. Enable requests are stamped with the link generation current at the time
// of the call; the dialog starts a new generation at every connect and disconnect, so a request
// left over from a run that a disconnect ended can never change the controls of the next link.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "sequencer/operator_panel.h"

namespace karvex {

class PanelQueue : public OperatorPanel {
  public:
    struct Handlers {
        std::function<void(bool enable)> enableInputs;         // UI thread
        std::function<void(const std::string& utf8)> message;  // UI thread
    };

    // `wake` is called from the calling thread when the queue turns non-empty; it must not wait.
    PanelQueue(Handlers handlers, std::function<void()> wake);

    // Any thread; never blocks on the UI thread.
    void EnableInputs(bool enable) override;
    void ShowMessage(const std::string& utf8Text) override;

    // UI thread: requests stamped with an older generation are dropped.
    void NewGeneration() { generation_.fetch_add(1); }

    // UI thread: carries out what is queued.
    void Deliver();

  private:
    struct Request {
        enum class Kind { Enable, Message };
        Kind kind = Kind::Enable;
        bool enable = false;
        uint64_t generation = 0;
        std::string text;
    };
    void Queue(Request request);

    Handlers handlers_;
    std::function<void()> wake_;
    std::atomic<uint64_t> generation_{0};
    std::mutex mutex_;
    std::deque<Request> queue_;
};

}  // namespace karvex
