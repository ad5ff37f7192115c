#include "cefclient/message_event.h"

#include <utility>

MessageEvent::MessageEvent(const QString& name, QueryCallbackPtr callback)
    : QEvent(eventType()), name_(name), callback_(std::move(callback)) {}

QEvent::Type MessageEvent::eventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
