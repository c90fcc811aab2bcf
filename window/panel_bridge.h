// The Qt window's panel: the shared queue, woken by an event posted to the UI thread.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "dialog/panel_queue.h"

namespace karvex {

class PanelBridge : public QObject, public OperatorPanel {
  public:
    struct Handlers {
        std::function<void(bool enable)> enableInputs;     // UI thread
        std::function<void(const QString& text)> message;  // UI thread
    };

    explicit PanelBridge(Handlers handlers);

    // Any thread; never blocks on the UI thread.
    void EnableInputs(bool enable) override { queue_.EnableInputs(enable); }
    void ShowMessage(const std::string& utf8Text) override { queue_.ShowMessage(utf8Text); }

    // UI thread: requests stamped with an older generation are dropped.
    void NewGeneration() { queue_.NewGeneration(); }

    // UI thread: carries out what is queued (also done by the posted event).
    void Deliver() { queue_.Deliver(); }

    PanelQueue& Queue() { return queue_; }

  protected:
    bool event(QEvent* e) override;

  private:
    PanelQueue queue_;
};

}  // namespace karvex
