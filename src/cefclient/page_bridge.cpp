#include "cefclient/page_bridge.h"

#include <QDebug>
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

namespace {

bool isToken(const QString& token) {
    return !token.isEmpty() && token.size() <= PageBridge::kMaxTokenLength;
}

}  // namespace

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

bool PageBridge::refusedForOrigin(const QString& what) {
    if (!browser_ || browser_->offersBridge()) {
        return false;
    }
    // Another origin's document reached the channel: it gets no answer and no events. The log
    // names the first refusals; a page sending thousands must not fill the disk.
    if (refusedLogged_ < kMaxRefusalsLogged) {
        ++refusedLogged_;
        qWarning().noquote() << "page bridge: refused" << what.left(200) << "from a page of another origin,"
                             << BridgeOrigins::originText(browser_->page()->url());
        if (refusedLogged_ == kMaxRefusalsLogged) {
            qWarning().noquote() << "page bridge: further refusals are not logged";
        }
    }
    return true;
}

void PageBridge::ready(const QString& token) {
    if (!isToken(token) || (ready_ && token == token_) ||
        refusedForOrigin(QStringLiteral("a ready message"))) {
        return;
    }
    // The queries still pending belong to the documents before this one.
    const auto pending = pending_;
    pending_.clear();
    for (const QWeakPointer<QueryCallback>& weak : pending) {
        if (QueryCallbackPtr callback = weak.toStrongRef())
            callback->cancel();
    }
    token_ = token;
    ready_ = true;
    const auto queued = queuedEvents_;
    queuedEvents_.clear();
    for (const auto& e : queued) {
        emit event(e.first, e.second);
    }
}

void PageBridge::leaving(const QString& token) {
    // An earlier document's unload may arrive after the next document said ready: it must not
    // end that document's queries or hold its events.
    if (ready_ && token == token_) {
        cancelPending();
    }
}

void PageBridge::cancelPending() {
    ready_ = false;
    token_.clear();
    queuedEvents_.clear();
    const auto pending = pending_;
    pending_.clear();
    for (const QWeakPointer<QueryCallback>& weak : pending) {
        if (QueryCallbackPtr callback = weak.toStrongRef()) {
            callback->cancel();
        }
    }
}

QueryCallbackPtr PageBridge::makeCallback(const QString& token, int queryId, bool persistent) {
    std::shared_ptr<Link> link = link_;
    auto responder = [link, token, queryId](bool success, int code, const QString& text, bool final) {
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
                    [target, token, queryId, success, code, text, final] {
                        target->deliverAnswer(token, queryId, success, code, text, final);
                    },
                    Qt::QueuedConnection);
                return;
            }
            here = target;
        }
        // Delivered without the lock: a directly connected receiver may delete the bridge.
        if (here) {
            here->deliverAnswer(token, queryId, success, code, text, final);
        }
    };
    QueryCallbackPtr callback(new QueryCallback(responder, persistent));
    if (!ready_ || token != token_) {
        callback->cancel();  // a document that is gone: nobody can take the answer
        return callback;
    }
    const QueryKey key(token, queryId);
    if (QueryCallbackPtr old = pending_.value(key).toStrongRef()) {
        old->cancel();  // a page that reuses an id has given up on the old query
    }
    pending_.insert(key, callback.toWeakRef());
    return callback;
}

void PageBridge::deliverAnswer(const QString& token, int queryId, bool success, int code, const QString& text,
                               bool final) {
    if (final) {
        pending_.remove(QueryKey(token, queryId));
    }
    emit answer(token, queryId, success, code, text, final);
}

void PageBridge::query(const QString& token, int queryId, const QString& request, bool persistent) {
    if (!isToken(token) || refusedForOrigin(QStringLiteral("the request ") + request.left(150))) {
        return;
    }
    if (!ready_ || token != token_) {
        // Sent by a document before it went away, arriving after the next one said ready: the
        // request still runs, but its answer has nowhere to go.
        qInfo().noquote() << "a request of a document that is gone runs unanswered:" << request.left(200);
    }
    QueryCallbackPtr callback = makeCallback(token, queryId, persistent);
    if (ClientHandler* handler = browser_ ? browser_->handler() : nullptr) {
        handler->onQuery(browser_, request, callback);
    }
}

void PageBridge::setInbox(const QVariantList& message) {
    const QString kind = message.value(0).toString();
    const QString token = message.value(1).toString();
    if (kind == QLatin1String("query") && message.size() == 5) {
        query(token, message.at(2).toInt(), message.at(3).toString(), message.at(4).toBool());
    } else if (kind == QLatin1String("cancel") && message.size() == 3) {
        cancel(token, message.at(2).toInt());
    } else if (kind == QLatin1String("ready") && message.size() == 2) {
        ready(token);
    } else if (kind == QLatin1String("leaving") && message.size() == 2) {
        leaving(token);
    }
    // Anything else was not sent by the bridge script: ignored.
}

void PageBridge::cancel(const QString& token, int queryId) {
    if (QueryCallbackPtr callback = pending_.take(QueryKey(token, queryId)).toStrongRef()) {
        callback->cancel();
    }
}
