#include "cefclient/page_bridge.h"

#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <mutex>

#include "cefclient/browser.h"
#include "cefclient/client_handler.h"

// Lets answer handles that outlive the bridge (held by a worker thread, say) find out that
// their page is gone without touching a deleted object.
struct PageBridge::Link {
    std::mutex mutex;
    PageBridge* target = nullptr;
};

PageBridge::PageBridge(Browser* browser) : browser_(browser), link_(std::make_shared<Link>()) {
    link_->target = this;
}

PageBridge::~PageBridge() {
    {
        std::lock_guard<std::mutex> lock(link_->mutex);
        link_->target = nullptr;
    }
    cancelPending();
}

int PageBridge::browserId() const {
    return browser_ ? browser_->identifier() : 0;
}

void PageBridge::sendEvent(const QString& name, const QVariantList& args) {
    if (ready_) {
        emit event(name, args);
    } else if (queuedEvents_.size() < kMaxQueuedEvents) {
        queuedEvents_.append(qMakePair(name, args));
    }
}

void PageBridge::ready() {
    const auto pending = pending_;
    pending_.clear();
    for (const QWeakPointer<QueryCallback>& weak : pending) {
        if (QueryCallbackPtr callback = weak.toStrongRef())
            callback->cancel();
    }
    ready_ = true;
    const auto queued = queuedEvents_;
    queuedEvents_.clear();
    for (const auto& e : queued) {
        emit event(e.first, e.second);
    }
}

void PageBridge::leaving() {
    cancelPending();
}

void PageBridge::cancelPending() {
    ready_ = false;
    queuedEvents_.clear();
    const auto pending = pending_;
    pending_.clear();
    for (const QWeakPointer<QueryCallback>& weak : pending) {
        if (QueryCallbackPtr callback = weak.toStrongRef()) {
            callback->cancel();
        }
    }
}

QueryCallbackPtr PageBridge::makeCallback(int queryId, bool persistent) {
    std::shared_ptr<Link> link = link_;
    auto responder = [link, queryId](bool success, int code, const QString& text, bool final) {
        QPointer<PageBridge> here;
        {
            std::lock_guard<std::mutex> lock(link->mutex);
            PageBridge* target = link->target;
            if (!target) {
                return;
            }
            if (QThread::currentThread() != target->thread()) {
                // Posted under the lock, so the bridge cannot go away meanwhile; a bridge deleted
                // before the call runs takes the posted call with it.
                QMetaObject::invokeMethod(
                    target,
                    [target, queryId, success, code, text, final] {
                        target->deliverAnswer(queryId, success, code, text, final);
                    },
                    Qt::QueuedConnection);
                return;
            }
            here = target;
        }
        // Delivered without the lock: a directly connected receiver may delete the bridge.
        if (here) {
            here->deliverAnswer(queryId, success, code, text, final);
        }
    };
    QueryCallbackPtr callback(new QueryCallback(responder, persistent));
    if (QueryCallbackPtr old = pending_.value(queryId).toStrongRef()) {
        old->cancel();  // a page that reuses an id has given up on the old query
    }
    pending_.insert(queryId, callback.toWeakRef());
    return callback;
}

void PageBridge::deliverAnswer(int queryId, bool success, int code, const QString& text, bool final) {
    if (final) {
        pending_.remove(queryId);
    }
    emit answer(queryId, success, code, text, final);
}

void PageBridge::query(int queryId, const QString& request, bool persistent) {
    QueryCallbackPtr callback = makeCallback(queryId, persistent);
    if (ClientHandler* handler = browser_ ? browser_->handler() : nullptr) {
        handler->onQuery(browser_, request, callback);
    }
}

void PageBridge::setInbox(const QVariantList& message) {
    const QString kind = message.value(0).toString();
    if (kind == QLatin1String("query") && message.size() == 4) {
        query(message.at(1).toInt(), message.at(2).toString(), message.at(3).toBool());
    } else if (kind == QLatin1String("cancel") && message.size() == 2) {
        cancel(message.at(1).toInt());
    } else if (kind == QLatin1String("leaving") && message.size() == 1) {
        leaving();
    }
    // Anything else was not sent by the bridge script: ignored.
}

void PageBridge::cancel(int queryId) {
    if (QueryCallbackPtr callback = pending_.take(queryId).toStrongRef()) {
        callback->cancel();
    }
}
