#include "window/log_view.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocument>

namespace karvex {

namespace {
const QEvent::Type kRefreshEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

LogView::LogView(TrafficLog& log, QPlainTextEdit& edit) : log_(log), edit_(&edit), feed_(log) {
    log_.SetObserver([this] { RequestRefresh(); });
    Refresh();
}

LogView::~LogView() {
    log_.SetObserver(nullptr);
}

void LogView::RequestRefresh() {
    // Any thread. Only the first change after a refresh posts; the refresh clears the flag before
    // it reads, so a change that races with it posts again and is never missed.
    if (!pending_.exchange(true)) {
        QCoreApplication::postEvent(this, new QEvent(kRefreshEvent));
    }
}

bool LogView::event(QEvent* e) {
    if (e->type() == kRefreshEvent) {
        Refresh();
        return true;
    }
    return QObject::event(e);
}

void LogView::Refresh() {
    pending_.store(false);
    if (edit_ == nullptr) {
        return;
    }
    const LogFeed::Step step = feed_.Next();
    if (step.reset) {
        decoder_.Reset();
        edit_->clear();
    }
    if (!step.bytes.empty()) {
        Append(decoder_.Decode(step.bytes));
    }
    if (step.more) {
        RequestRefresh();
    }
}

void LogView::Append(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    QScrollBar* vbar = edit_->verticalScrollBar();
    QScrollBar* hbar = edit_->horizontalScrollBar();
    // Plain numbers: a QTextCursor copy would itself be carried along by the insertion.
    const QTextCursor current = edit_->textCursor();
    const int anchor = current.anchor();
    const int position = current.position();
    // Follow new lines only while the operator looks at the end and has nothing selected.
    const bool follow = vbar->value() == vbar->maximum() && anchor == position;
    const int vValue = vbar->value();
    const int hValue = hbar->value();
    const int end = edit_->document()->characterCount() - 1;

    QTextCursor tail(edit_->document());
    tail.movePosition(QTextCursor::End);
    tail.insertText(text);

    // A caret or selection that touched the old end was carried along by the insertion; put it
    // back where the operator left it.
    if (anchor == end || position == end) {
        QTextCursor restored(edit_->document());
        restored.setPosition(anchor);
        restored.setPosition(position, QTextCursor::KeepAnchor);
        edit_->setTextCursor(restored);
    }
    hbar->setValue(hValue);
    vbar->setValue(follow ? vbar->maximum() : vValue);
}

}  // namespace karvex
