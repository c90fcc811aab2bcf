#include "window/panel_bridge.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

namespace karvex {

namespace {
const QEvent::Type kDeliverEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

PanelBridge::PanelBridge(Handlers handlers)
    : queue_(
          PanelQueue::Handlers{
              std::move(handlers.enableInputs),
              [message = std::move(handlers.message)](const std::string& text) {
                  if (message) {
                      message(QString::fromStdString(text));
                  }
              },
          },
          [this] { QCoreApplication::postEvent(this, new QEvent(kDeliverEvent)); }) {}

bool PanelBridge::event(QEvent* e) {
    if (e->type() == kDeliverEvent) {
        Deliver();
        return true;
    }
    return QObject::event(e);
}

}  // namespace karvex
