#pragma once
// Carries one page request (its text and its answer handle) from the browser side to the view
// on the GUI thread through the event queue, which keeps requests in arrival order.
#include <QEvent>
#include <QString>

#include "cefclient/query_callback.h"

class MessageEvent : public QEvent {
public:
    MessageEvent(const QString& name, QueryCallbackPtr callback);

    // The event type, registered once with the toolkit.
    static QEvent::Type eventType();

    const QString& name() const { return name_; }
    const QueryCallbackPtr& callback() const { return callback_; }

private:
    QString name_;
    QueryCallbackPtr callback_;
};
