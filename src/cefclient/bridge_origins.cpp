#include "cefclient/bridge_origins.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const char* const kOwnSchemes[] = {"kestrafon", "settings"};

// The port a URL names, with the scheme's default port read as none (as a page's location does).
int explicitPort(const QUrl& url) {
    const int port = url.port();
    if ((url.scheme() == QLatin1String("http") && port == 80) ||
        (url.scheme() == QLatin1String("https") && port == 443)) {
        return -1;
    }
    return port;
}

QString quoted(const QString& text) {
    // A JSON array of one string is a valid script literal whatever the text holds.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

}  // namespace

BridgeOrigins::BridgeOrigins(const QString& startPageSwitch) {
    const QUrl url(startPageSwitch);
    if (startPageSwitch.isEmpty() || !url.isValid() || url.scheme().isEmpty()) {
        return;
    }
    extraScheme_ = url.scheme().toLower();
    extraHost_ = url.host().toLower();
    extraPort_ = explicitPort(url);
}

bool BridgeOrigins::offersBridge(const QUrl& url) const {
    if (!url.isValid()) {
        return false;
    }
    const QString scheme = url.scheme().toLower();
    for (const char* own : kOwnSchemes) {
        if (scheme == QLatin1String(own)) {
            return true;
        }
    }
    return !extraScheme_.isEmpty() && scheme == extraScheme_ && url.host().toLower() == extraHost_ &&
           explicitPort(url) == extraPort_;
}

QString BridgeOrigins::scriptCondition() const {
    QString condition = QStringLiteral("(window.top === window && (");
    QStringList parts;
    for (const char* own : kOwnSchemes) {
        parts
            << QStringLiteral("location.protocol === %1").arg(quoted(QLatin1String(own) + QLatin1Char(':')));
    }
    if (!extraScheme_.isEmpty()) {
        const QString host =
            extraPort_ >= 0 ? extraHost_ + QLatin1Char(':') + QString::number(extraPort_) : extraHost_;
        parts << QStringLiteral("(location.protocol === %1 && location.host === %2)")
                     .arg(quoted(extraScheme_ + QLatin1Char(':')), quoted(host));
    }
    return condition + parts.join(QStringLiteral(" || ")) + QStringLiteral("))");
}

QString BridgeOrigins::originText(const QUrl& url) {
    const QString origin =
        url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
            .toString();
    return (origin.isEmpty() ? QStringLiteral("(no address)") : origin).left(200);
}
