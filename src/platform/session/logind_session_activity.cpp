#include "platform/session/logind_session_activity.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QtDebug>

#include <unistd.h>

namespace kf::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// logind answers at once; a bus that does not must not hold the window's construction up.
constexpr int kCallTimeoutMs = 2000;

QDBusMessage callManager(const QString& method, const QVariant& argument) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/login1"),
                                       QStringLiteral("org.freedesktop.login1.Manager"), method);
    call << argument;
    return QDBusConnection::systemBus().call(call, QDBus::Block, kCallTimeoutMs);
}

QString sessionPath(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return QString();
    }
    return qvariant_cast<QDBusObjectPath>(reply.arguments().first()).path();
}

}  // namespace

std::unique_ptr<SessionActivity> createSessionActivity() {
    return std::make_unique<LogindSessionActivity>();
}

LogindSessionActivity::LogindSessionActivity(QObject* parent) : SessionActivity(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        why_ = QStringLiteral("no system bus");
        return;
    }
    QDBusMessage reply =
        callManager(QStringLiteral("GetSessionByPID"), QVariant::fromValue(quint32(getpid())));
    QString path = sessionPath(reply);
    const QString sessionId = QString::fromLocal8Bit(qgetenv("XDG_SESSION_ID"));
    if (path.isEmpty() && !sessionId.isEmpty()) {
        reply = callManager(QStringLiteral("GetSession"), sessionId);
        path = sessionPath(reply);
    }
    if (path.isEmpty()) {
        why_ = reply.errorMessage().isEmpty() ? QStringLiteral("no logind session") : reply.errorMessage();
        return;
    }
    bool active = true;
    path_ = path;
    if (!readActive(&active)) {
        path_.clear();
        return;
    }
    active_ = active;
    if (!bus.connect(kService, path_, kProperties, QStringLiteral("PropertiesChanged"), this,
                     SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)))) {
        why_ = QStringLiteral("the session's changes cannot be followed");
        path_.clear();
    }
}

bool LogindSessionActivity::readActive(bool* active) {
    QDBusMessage call = QDBusMessage::createMethodCall(kService, path_, kProperties, QStringLiteral("Get"));
    call << kSessionInterface << QStringLiteral("Active");
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        why_ = reply.errorMessage().isEmpty() ? QStringLiteral("the session's state cannot be read")
                                              : reply.errorMessage();
        return false;
    }
    const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant();
    if (value.type() != QVariant::Bool) {
        why_ = QStringLiteral("the session's state is not a boolean");
        return false;
    }
    *active = value.toBool();
    return true;
}

void LogindSessionActivity::onPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                                const QStringList& invalidated) {
    if (interface != kSessionInterface) {
        return;
    }
    const auto found = changed.constFind(QStringLiteral("Active"));
    if (found != changed.constEnd() && found->type() == QVariant::Bool) {
        setActive(found->toBool());
        return;
    }
    bool active = true;
    if (invalidated.contains(QStringLiteral("Active")) && readActive(&active)) {
        setActive(active);
    }
}

void LogindSessionActivity::setActive(bool active) {
    if (active == active_) {
        return;
    }
    active_ = active;
    emit activeChanged(active);
}

}  // namespace kf::platform
