// The traffic log's control in the Qt window: a read-only view that draws only the rows in sight,
// read from the model through the shared presenter (what is shown, following the end, the
// operator's selection and place). It looks and answers like the read-only text edit it replaces:
// caret, mouse and keyboard selection, double-click on a word, select all and copy, wheel and
// scroll bar, the window's font.
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QFont>
#include <QPoint>
#include <QString>

#include <memory>
#include <string_view>

#include "dialog/log_presenter.h"
#include "link/traffic_log.h"

namespace karvex {

class LogWidget : public QAbstractScrollArea, private LogSurface {
  public:
    explicit LogWidget(QWidget* parent = nullptr);
    ~LogWidget() override;

    // Shows `log` until Detach(), which must come before the log goes away.
    void Attach(TrafficLog& log);
    void Detach();
    // Brings the view up to date now (the posted refresh does the same later).
    void Refresh();
    LogPresenter* Presenter() { return presenter_.get(); }

    // What an edit control offers (the context menu's items).
    void Copy();
    void SelectAll();
    bool HasSelection() const;
    bool IsEmpty() const;
    // Everything shown, or the selection, lines ending in "\n".
    QString Text() const;
    QString SelectedText() const;

    // What the view shows for these bytes.
    static QString ShownText(std::string_view bytes);

  protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;

  private:
    // LogSurface.
    bool PostRefresh() override;
    double Advance(char16_t c) override;
    void Changed(bool inSight) override;

    void UpdateFont();
    void UpdateViewport();
    void RestartBlink();
    QPointF TextPoint(const QPointF& viewportPoint) const;

    std::unique_ptr<LogPresenter> presenter_;
    QFont font_;  // the widget's font as drawn: advances add up exactly
    double ascent_ = 0;
    QBasicTimer blink_;
    QBasicTimer dragScroll_;
    bool caretOn_ = true;
    bool dragging_ = false;
    QPointF dragAt_;
    bool syncing_ = false;  // the scroll bars are being set from the presenter
};

}  // namespace karvex
