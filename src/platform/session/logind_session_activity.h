#pragma once
// The session's `Active` property from logind (org.freedesktop.login1): the session is found by
// this process's id (else by XDG_SESSION_ID), read once and then followed through the
// PropertiesChanged signal on the system bus.
#include <QStringList>
#include <QVariantMap>

#include "platform/session/session_activity.h"

namespace kf::platform {

class LogindSessionActivity : public SessionActivity {
    Q_OBJECT
public:
    explicit LogindSessionActivity(QObject* parent = nullptr);

    bool available() const override { return !path_.isEmpty(); }
    QString unavailableReason() const override { return why_; }
    bool isActive() const override { return active_; }

private slots:
    void onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                             const QStringList& invalidated);

private:
    bool readActive(bool* active);
    void setActive(bool active);

    QString path_;
    QString why_;
    bool active_ = true;
};

}  // namespace kf::platform
