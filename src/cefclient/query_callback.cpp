#include "cefclient/query_callback.h"

#include <utility>

QueryCallback::QueryCallback(Responder responder, bool persistent)
    : responder_(std::move(responder)), persistent_(persistent) {}

bool QueryCallback::Success(const QString& response) {
    return deliver(true, 0, response);
}

bool QueryCallback::Failure(int errorCode, const QString& errorMessage) {
    return deliver(false, errorCode, errorMessage);
}

void QueryCallback::cancel() {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_.store(true);
    responder_ = nullptr;
}

bool QueryCallback::deliver(bool success, int code, const QString& text) {
    Responder responder;
    bool final = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (finished_.load() || !responder_) {
            return false;
        }
        final = !persistent_ || !success;
        responder = responder_;
        if (final) {
            finished_.store(true);
            responder_ = nullptr;
        }
    }
    // Called without the lock: whoever receives the answer may cancel this query, answer it
    // again or close its page right away.
    responder(success, code, text, final);
    return true;
}
