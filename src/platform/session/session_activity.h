#pragma once
// Whether this process's desktop session is the one in front. When another user's session is
// switched to, the input capture closes every device, so that person's keystrokes never pass
// through this process; it opens them again when the session is active again.
//
// Backends: logind over the system D-Bus (the session's `Active` property), and an in-memory
// one that tests switch by hand. Signals are emitted on the thread that owns the object.
#include <QObject>
#include <QString>

#include <memory>

namespace kf::platform {

class SessionActivity : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // False when the session cannot be watched: it then counts as always active.
    virtual bool available() const = 0;
    // Why it cannot be watched, for the log.
    virtual QString unavailableReason() const = 0;
    virtual bool isActive() const = 0;

signals:
    void activeChanged(bool active);
};

// The logind watcher of the session this process belongs to.
std::unique_ptr<SessionActivity> createSessionActivity();

}  // namespace kf::platform
