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
    // The page's messages arrive as writes to this property: ["query", id, request, persistent],
    // ["cancel", id] and ["leaving"]. A property write needs no reply message, which a method call
    // always gets, so a query costs one message each way, and nothing a document sends while it
    // is unloaded can be answered into the next one.
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

    // Makes the answer handle for a query of this page; the answers come back as answer().
    QueryCallbackPtr makeCallback(int queryId, bool persistent);

    bool isReady() const { return ready_; }

    QVariantList inbox() const { return QVariantList(); }
    void setInbox(const QVariantList& message);

    // Events sent while the page's side is still connecting are kept (at most this many) and
    // delivered once it is ready.
    static constexpr int kMaxQueuedEvents = 256;

public slots:
    void query(int queryId, const QString& request, bool persistent);
    void cancel(int queryId);
    // Called by a document once it listens for answers and events. Queries still pending then
    // belong to documents that are gone (a new document sends its first query after ready), so
    // they are cancelled; held events are delivered.
    void ready();
    // Called by a document as it is unloaded.
    void leaving();

signals:
    void answer(int queryId, bool success, int code, const QString& text, bool final);
    void event(const QString& name, const QVariantList& args);
    // Never emitted: the inbox is write-only, its value always reads empty.
    void inboxChanged();

private:
    struct Link;
    void deliverAnswer(int queryId, bool success, int code, const QString& text, bool final);

    Browser* browser_;
    std::shared_ptr<Link> link_;
    QHash<int, QWeakPointer<QueryCallback>> pending_;
    bool ready_ = false;
    QList<QPair<QString, QVariantList>> queuedEvents_;
};
