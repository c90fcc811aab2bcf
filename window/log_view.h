// Shows the traffic log model in the read-only log control.
//
// The model changes on any thread; its observer only posts one refresh event to the UI thread
// (later changes coalesce into the refresh already pending). The refresh reads what was added
// since the last one (TrafficLog::ReadFrom) and appends it at the end of the document, so the cost
// of an append does not grow with the log. A clear of the model is seen as a new epoch and
// empties the view.
#pragma once

#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <string>

#include "dialog/log_feed.h"
#include "link/traffic_log.h"
#include "window/log_text.h"

namespace karvex {

class LogView : public QObject {
  public:
    LogView(TrafficLog& log, QPlainTextEdit& edit);
    ~LogView() override;  // detaches from the model; the model's writers must have stopped
    LogView(const LogView&) = delete;
    LogView& operator=(const LogView&) = delete;

    // Brings the view up to date now (the posted refresh does the same later).
    void Refresh();

    // At most this much is appended per refresh; the rest follows in the next event, so a burst
    // never holds the UI thread for long.
    static constexpr size_t kMaxBytesPerRefresh = LogFeed::kMaxBytesPerRefresh;

  protected:
    bool event(QEvent* e) override;

  private:
    void RequestRefresh();
    void Append(const QString& text);

    TrafficLog& log_;
    QPointer<QPlainTextEdit> edit_;
    LogFeed feed_;
    LogTextDecoder decoder_;
    std::atomic<bool> pending_{false};
};

}  // namespace karvex
