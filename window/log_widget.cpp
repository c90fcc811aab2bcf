#include "window/log_widget.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <cmath>

#include "link/cp932.h"

namespace karvex {

namespace {

const QEvent::Type kRefreshEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// The space around the text, and the tab stops, as the text edit this replaces has them.
constexpr double kMargin = 4;
constexpr double kTabStop = 80;
constexpr int kDragScrollMs = 50;

QString FromUtf16(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

}  // namespace

LogWidget::LogWidget(QWidget* parent) : QAbstractScrollArea(parent) {
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    UpdateFont();
}

LogWidget::~LogWidget() {
    Detach();
}

void LogWidget::Attach(TrafficLog& log) {
    LogSurface& surface = *this;
    presenter_ = std::make_unique<LogPresenter>(log, surface, &Utf16CharFromCp932, u"\n");
    UpdateFont();
    UpdateViewport();
    Refresh();
}

void LogWidget::Detach() {
    presenter_.reset();
}

void LogWidget::Refresh() {
    if (presenter_) presenter_->Refresh();
}

bool LogWidget::event(QEvent* e) {
    if (e->type() == kRefreshEvent) {
        Refresh();
        return true;
    }
    return QAbstractScrollArea::event(e);
}

bool LogWidget::PostRefresh() {
    QCoreApplication::postEvent(this, new QEvent(kRefreshEvent));
    return true;
}

double LogWidget::Advance(char16_t c) {
    return QFontMetricsF(font_).horizontalAdvance(QChar(c));
}

void LogWidget::Changed(bool inSight) {
    if (!presenter_) return;
    syncing_ = true;
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, static_cast<int>(presenter_->MaxTop()));
    v->setPageStep(static_cast<int>(presenter_->Rows()));
    v->setSingleStep(1);
    v->setValue(static_cast<int>(presenter_->Top()));
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, static_cast<int>(std::ceil(presenter_->MaxLeft())));
    h->setPageStep(viewport()->width());
    h->setSingleStep(static_cast<int>(QFontMetricsF(font_).averageCharWidth()) + 1);
    h->setValue(static_cast<int>(std::lround(presenter_->Left())));
    syncing_ = false;
    if (inSight) {
        RestartBlink();
        viewport()->update();
    }
}

void LogWidget::scrollContentsBy(int, int) {
    if (syncing_ || !presenter_) return;
    presenter_->ScrollTo(static_cast<size_t>(verticalScrollBar()->value()));
    presenter_->ScrollLeftTo(horizontalScrollBar()->value());
}

void LogWidget::UpdateFont() {
    font_ = font();
    // Each character drawn at the sum of the advances before it: no kerning, no shaping.
    font_.setKerning(false);
    font_.setStyleStrategy(QFont::PreferNoShaping);
    const QFontMetricsF metrics(font_);
    ascent_ = metrics.ascent();
    if (presenter_) presenter_->SetFont(metrics.height(), kTabStop);
}

void LogWidget::UpdateViewport() {
    if (presenter_) {
        presenter_->SetViewport(viewport()->width() - 2 * kMargin,
                                viewport()->height() - 2 * kMargin);
    }
}

void LogWidget::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange) UpdateFont();
    QAbstractScrollArea::changeEvent(e);
}

void LogWidget::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateViewport();
}

void LogWidget::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    painter.fillRect(viewport()->rect(), palette().brush(group, QPalette::Base));
    if (!presenter_) return;
    painter.setFont(font_);
    const double left = kMargin - presenter_->Left();
    const double height = presenter_->LineHeight();
    const double lineEnd = QFontMetricsF(font_).horizontalAdvance(QChar(u' '));
    const auto drawText = [&](const LogPresenter::Row& row, double baseline) {
        presenter_->Runs(row.text, [&](size_t from, size_t to, double x) {
            painter.drawText(QPointF(left + x, baseline),
                             FromUtf16(std::u16string_view(row.text).substr(from, to - from)));
        });
    };
    presenter_->VisibleRows([&](const LogPresenter::Row& row) {
        const double top = kMargin + row.y;
        const double baseline = top + ascent_;
        painter.setPen(palette().color(group, QPalette::Text));
        drawText(row, baseline);
        if (row.selectedFrom == row.selectedTo && !row.breakSelected) return;
        // The selection: its own background, and the text again in its own colour over it.
        const double from = left + presenter_->XOf(row.text, row.selectedFrom);
        const double to =
            left + presenter_->XOf(row.text, row.selectedTo) + (row.breakSelected ? lineEnd : 0);
        const QRectF band(from, top, to - from, height);
        painter.fillRect(band, palette().brush(group, QPalette::Highlight));
        painter.save();
        painter.setClipRect(band);
        painter.setPen(palette().color(group, QPalette::HighlightedText));
        drawText(row, baseline);
        painter.restore();
    });
    if (hasFocus() && caretOn_) {
        painter.fillRect(
            QRectF(kMargin + presenter_->CaretX(), kMargin + presenter_->CaretY(), 1, height),
            palette().color(group, QPalette::Text));
    }
}

void LogWidget::keyPressEvent(QKeyEvent* e) {
    if (!presenter_) {
        e->ignore();
        return;
    }
    if (e == QKeySequence::SelectAll) {
        SelectAll();
        return;
    }
    if (e == QKeySequence::Copy) {
        Copy();
        return;
    }
    const bool extend = e->modifiers() & Qt::ShiftModifier;
    const bool word = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
        case Qt::Key_Left:
            presenter_->Move(word ? LogMotion::WordLeft : LogMotion::Left, extend);
            return;
        case Qt::Key_Right:
            presenter_->Move(word ? LogMotion::WordRight : LogMotion::Right, extend);
            return;
        case Qt::Key_Up:
            word ? presenter_->ScrollBy(-1) : presenter_->Move(LogMotion::Up, extend);
            return;
        case Qt::Key_Down:
            word ? presenter_->ScrollBy(1) : presenter_->Move(LogMotion::Down, extend);
            return;
        case Qt::Key_PageUp:
            presenter_->Move(LogMotion::PageUp, extend);
            return;
        case Qt::Key_PageDown:
            presenter_->Move(LogMotion::PageDown, extend);
            return;
        case Qt::Key_Home:
            presenter_->Move(word ? LogMotion::Start : LogMotion::LineStart, extend);
            return;
        case Qt::Key_End:
            presenter_->Move(word ? LogMotion::End : LogMotion::LineEnd, extend);
            return;
        default:
            e->ignore();  // Enter, Esc and the rest are the dialog's
    }
}

QPointF LogWidget::TextPoint(const QPointF& viewportPoint) const {
    return viewportPoint - QPointF(kMargin, kMargin);
}

void LogWidget::mousePressEvent(QMouseEvent* e) {
    if (!presenter_ || e->button() != Qt::LeftButton) return;
    const QPointF at = TextPoint(e->position());
    presenter_->PressAt(at.x(), at.y(), e->modifiers() & Qt::ShiftModifier);
    dragging_ = true;
}

void LogWidget::mouseMoveEvent(QMouseEvent* e) {
    if (!presenter_ || !dragging_ || !(e->buttons() & Qt::LeftButton)) return;
    dragAt_ = TextPoint(e->position());
    presenter_->DragTo(dragAt_.x(), dragAt_.y());
    // Outside the view the selection goes on growing, and the view scrolling, while the button
    // is held still.
    if (viewport()->rect().contains(e->position().toPoint())) {
        dragScroll_.stop();
    } else if (!dragScroll_.isActive()) {
        dragScroll_.start(kDragScrollMs, this);
    }
}

void LogWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    dragging_ = false;
    dragScroll_.stop();
    if (presenter_ && presenter_->HasSelection() &&
        QApplication::clipboard()->supportsSelection()) {
        QApplication::clipboard()->setText(SelectedText(), QClipboard::Selection);
    }
}

void LogWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    if (!presenter_ || e->button() != Qt::LeftButton) return;
    const QPointF at = TextPoint(e->position());
    presenter_->SelectWordAt(at.x(), at.y());
}

void LogWidget::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    RestartBlink();
    viewport()->update();
}

void LogWidget::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    blink_.stop();
    viewport()->update();
}

void LogWidget::RestartBlink() {
    caretOn_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0) {
        blink_.start(flash / 2, this);
    } else {
        blink_.stop();
    }
}

void LogWidget::timerEvent(QTimerEvent* e) {
    if (e->timerId() == blink_.timerId()) {
        caretOn_ = !caretOn_;
        if (presenter_) {
            const QRectF caret(kMargin + presenter_->CaretX() - 1, kMargin + presenter_->CaretY(),
                               3, presenter_->LineHeight());
            viewport()->update(caret.toAlignedRect());
        }
    } else if (e->timerId() == dragScroll_.timerId() && presenter_ && dragging_) {
        presenter_->DragTo(dragAt_.x(), dragAt_.y());
    } else {
        QAbstractScrollArea::timerEvent(e);
    }
}

void LogWidget::Copy() {
    if (HasSelection()) QApplication::clipboard()->setText(SelectedText());
}

void LogWidget::SelectAll() {
    if (presenter_) presenter_->SelectAll();
}

bool LogWidget::HasSelection() const {
    return presenter_ && presenter_->HasSelection();
}

bool LogWidget::IsEmpty() const {
    return !presenter_ || presenter_->IsEmpty();
}

QString LogWidget::Text() const {
    return presenter_ ? FromUtf16(presenter_->Text()) : QString();
}

QString LogWidget::SelectedText() const {
    return presenter_ ? FromUtf16(presenter_->SelectedText()) : QString();
}

QString LogWidget::ShownText(std::string_view bytes) {
    return FromUtf16(karvex::ShownText(bytes, &Utf16CharFromCp932, u"\n"));
}

}  // namespace karvex
