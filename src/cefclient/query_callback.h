#pragma once
// The answer handle of one page query. Reference-counted (QSharedPointer), answerable from any
// thread, and harmless once its page is gone: a non-persistent query is answered at most once;
// a persistent one takes any number of successes until a failure or a cancel ends it. The
// responder is called with no lock held, so it may cancel or answer the query again.
#include <QMetaType>
#include <QSharedPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

class QueryCallback {
public:
    // Receives each answer: success or failure, the error code (0 for successes), the text, and
    // whether the query is finished after this answer.
    using Responder = std::function<void(bool success, int code, const QString& text, bool final)>;

    QueryCallback(Responder responder, bool persistent);

    // Both return false when the answer was not delivered because the query is finished,
    // cancelled or its page is gone.
    bool Success(const QString& response);
    bool Failure(int errorCode, const QString& errorMessage);

    // Ends the query without an answer (page cancelled it, navigated away, or closed).
    void cancel();

    bool isPending() const { return !finished_.load(); }
    bool isPersistent() const { return persistent_; }

private:
    bool deliver(bool success, int code, const QString& text);

    std::mutex mutex_;
    Responder responder_;
    const bool persistent_;
    std::atomic<bool> finished_{false};
};

using QueryCallbackPtr = QSharedPointer<QueryCallback>;
Q_DECLARE_METATYPE(QueryCallbackPtr)
