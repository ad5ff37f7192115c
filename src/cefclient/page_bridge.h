#pragma once
// The native end of the page interface. One per browser, published to the page's main world
// as "kfBridge" through a QWebChannel; the injected bridge script turns it into
// ClientRequest / cefQueryCancel / setMessageCallback.
#include <QHash>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QWeakPointer>
#include <memory>

#include "cefclient/query_callback.h"

class Browser;

class PageBridge : public QObject {
    Q_OBJECT
    Q_PROPERTY(int browserId READ browserId CONSTANT)
    // The page's messages arrive as writes to this property: ["ready", token],
    // ["query", token, id, request, persistent], ["cancel", token, id] and ["leaving", token].
    // A property write needs no reply message, which a method call always gets, so a query costs
    // one message each way, and nothing a document sends while it is unloaded can be answered
    // into the next one.
    //
    // The token is the sending document's own (random, made when its bridge script starts). The
    // document that said ready last is the page's current document; only its queries are
    // pending, keyed by (token, id), so ids may restart at 1 in every document. Messages of any
    // other document are stale, and may arrive late (a cross-process navigation carries the old
    // and the new document's messages on different channels): a stale query still reaches the
    // client but cannot be answered, and a stale cancel or leaving changes nothing.
    Q_PROPERTY(QVariantList inbox READ inbox WRITE setInbox NOTIFY inboxChanged)
public:
    explicit PageBridge(Browser* browser);
    ~PageBridge() override;

    int browserId() const;

    // Sends a named event with its arguments to the page (booleans, numbers, strings, lists and
    // maps are converted to their JavaScript forms).
    void sendEvent(const QString& name, const QVariantList& args);

    // Ends every pending query without an answer and holds events until a document says
    // ready() again (the page is going away, or the bridge is closing).
    void cancelPending();
    int pendingCount() const { return pending_.size(); }

    // Makes the answer handle for a query of the document `token`; the answers come back as
    // answer(). Only the current document's handles are kept as pending.
    QueryCallbackPtr makeCallback(const QString& token, int queryId, bool persistent);

    bool isReady() const { return ready_; }
    QString currentToken() const { return token_; }

    QVariantList inbox() const { return QVariantList(); }
    void setInbox(const QVariantList& message);

    // Events sent while the page's side is still connecting are kept (at most this many) and
    // delivered once it is ready.
    static constexpr int kMaxQueuedEvents = 256;
    // Longest document token taken.
    static constexpr int kMaxTokenLength = 64;
    // Refused messages of other origins that are logged, per page.
    static constexpr int kMaxRefusalsLogged = 20;

public slots:
    void query(const QString& token, int queryId, const QString& request, bool persistent);
    void cancel(const QString& token, int queryId);
    // Called by a document once it listens for answers and events: it becomes the current
    // document. Queries still pending then belong to documents that are gone, so they are
    // cancelled; held events are delivered.
    void ready(const QString& token);
    // Called by a document as it is unloaded; only the current document's leaving counts.
    void leaving(const QString& token);

signals:
    void answer(const QString& token, int queryId, bool success, int code, const QString& text, bool final);
    void event(const QString& name, const QVariantList& args);
    // Never emitted: the inbox is write-only, its value always reads empty.
    void inboxChanged();

private:
    struct Link;
    using QueryKey = QPair<QString, int>;
    // True (and logged) when the page shows a document the bridge is not offered to.
    bool refusedForOrigin(const QString& what);
    void deliverAnswer(const QString& token, int queryId, bool success, int code, const QString& text,
                       bool final);

    Browser* browser_;
    std::shared_ptr<Link> link_;
    QHash<QueryKey, QWeakPointer<QueryCallback>> pending_;
    QString token_;  // the current document; empty while none is ready
    bool ready_ = false;
    QList<QPair<QString, QVariantList>> queuedEvents_;
    int refusedLogged_ = 0;
};
