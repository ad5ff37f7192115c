// Reading and fetching the client update manifest.
#include "window/update_manifest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <memory>

namespace kf::window {

namespace {

using namespace manifest_limits;

bool fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

// Texts shown to a person: no control characters except line breaks and tabs.
bool printable(const QString& text) {
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\n') && c != QLatin1Char('\t'))
            return false;
    }
    return true;
}

bool requiredText(const QJsonObject& o, const char* key, int max, QString* out, QString* error) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined())
        return fail(error, QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
    if (!v.isString())
        return fail(error, QStringLiteral("\"%1\" is not a text").arg(QLatin1String(key)));
    *out = v.toString();
    if (out->isEmpty() || out->size() > max)
        return fail(error,
                    QStringLiteral("\"%1\" is empty or longer than %2").arg(QLatin1String(key)).arg(max));
    if (!printable(*out))
        return fail(error, QStringLiteral("\"%1\" holds control characters").arg(QLatin1String(key)));
    return true;
}

}  // namespace

bool isUpdateAddress(const QString& text) {
    if (text.isEmpty() || text.size() > kMaxUrl)
        return false;
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty() && url.userInfo().isEmpty();
}

bool parseUpdateManifest(const QByteArray& body, UpdateManifest* out, QString* error) {
    if (body.size() > kMaxBytes)
        return fail(error, QStringLiteral("larger than %1 bytes").arg(kMaxBytes));
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject())
        return fail(error, QStringLiteral("not a JSON object"));
    const QJsonObject o = doc.object();
    UpdateManifest m;
    static const QRegularExpression versionChars(QStringLiteral("^[0-9A-Za-z][0-9A-Za-z._+-]*$"));
    if (!requiredText(o, "version", kMaxVersion, &m.version, error))
        return false;
    if (!versionChars.match(m.version).hasMatch())
        return fail(error,
                    QStringLiteral("\"version\" holds characters other than letters, digits and . _ + -"));
    if (!requiredText(o, "package", kMaxUrl, &m.packageUrl, error))
        return false;
    if (!isUpdateAddress(m.packageUrl))
        return fail(error, QStringLiteral("\"package\" is not an http or https address"));
    const QJsonValue size = o.value(QLatin1String("size"));
    if (size.isUndefined())
        return fail(error, QStringLiteral("\"size\" is missing"));
    const double bytes = size.toDouble(-1);
    if (!size.isDouble() || bytes != double(qint64(bytes)) || bytes < 1 || bytes > double(kMaxPackage))
        return fail(error,
                    QStringLiteral("\"size\" is not a whole number of bytes from 1 to %1").arg(kMaxPackage));
    m.size = qint64(bytes);
    const QJsonValue notes = o.value(QLatin1String("notes"));
    if (!notes.isUndefined()) {
        // May be empty: a release without notes.
        if (!notes.isString())
            return fail(error, QStringLiteral("\"notes\" is not a text"));
        m.notes = notes.toString();
        if (m.notes.size() > kMaxNotes)
            return fail(error, QStringLiteral("\"notes\" is longer than %1").arg(kMaxNotes));
        if (!printable(m.notes))
            return fail(error, QStringLiteral("\"notes\" holds control characters"));
    }
    const QJsonValue firmware = o.value(QLatin1String("firmware"));
    if (!firmware.isUndefined()) {
        if (!firmware.isObject())
            return fail(error, QStringLiteral("\"firmware\" is not an object"));
        const QJsonObject images = firmware.toObject();
        if (images.size() > kMaxFirmware)
            return fail(error, QStringLiteral("\"firmware\" names more than %1 devices").arg(kMaxFirmware));
        for (auto it = images.begin(); it != images.end(); ++it) {
            if (it.key().isEmpty() || it.key().size() > kMaxDeviceKey || !printable(it.key()) ||
                !it.value().isString() || !isUpdateAddress(it.value().toString()))
                return fail(error,
                            QStringLiteral("\"firmware\" entry \"%1\" is not a device key with an http or "
                                           "https address")
                                .arg(it.key().left(kMaxDeviceKey)));
            m.firmware.insert(it.key(), it.value().toString());
        }
    }
    *out = m;
    return true;
}

QJsonObject manifestToJson(const UpdateManifest& m) {
    QJsonObject firmware;
    for (auto it = m.firmware.begin(); it != m.firmware.end(); ++it)
        firmware.insert(it.key(), it.value());
    return QJsonObject{{QStringLiteral("version"), m.version},
                       {QStringLiteral("package"), m.packageUrl},
                       {QStringLiteral("size"), double(m.size)},
                       {QStringLiteral("notes"), m.notes},
                       {QStringLiteral("firmware"), firmware}};
}

QString clientUpdateAnswer(const QString& runningVersion, const QString& updateUrl,
                           const ClientUpdateOffer& offer) {
    static const char* const statuses[] = {"ok", "noUrl", "network", "invalid"};
    QJsonObject answer{{QStringLiteral("Version"), runningVersion},
                       {QStringLiteral("UpdateUrl"), updateUrl},
                       {QStringLiteral("Status"), QLatin1String(statuses[offer.status])},
                       {QStringLiteral("Reason"), offer.reason}};
    if (offer.status == ClientUpdateOffer::Ok)
        answer.insert(QStringLiteral("Manifest"), manifestToJson(offer.manifest));
    return QString::fromUtf8(QJsonDocument(answer).toJson(QJsonDocument::Compact));
}

UpdateManifestFetcher::UpdateManifestFetcher(QObject* parent, int timeoutMs)
    : QObject(parent), network_(new QNetworkAccessManager(this)), timeoutMs_(timeoutMs) {
    network_->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

UpdateManifestFetcher::~UpdateManifestFetcher() = default;

void UpdateManifestFetcher::fetch(const QString& url, std::function<void(const ClientUpdateOffer&)> done) {
    if (!isUpdateAddress(url)) {
        ClientUpdateOffer offer;
        offer.status = ClientUpdateOffer::Invalid;
        offer.reason = QStringLiteral("UpdateUrl is not an http or https address");
        done(offer);
        return;
    }
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(timeoutMs_);
    request.setMaximumRedirectsAllowed(3);
    QNetworkReply* reply = network_->get(request);
    auto finished = std::make_shared<bool>(false);
    auto finish = [reply, finished, done](const ClientUpdateOffer& offer) {
        if (*finished)
            return;
        *finished = true;
        reply->disconnect();
        if (reply->isRunning())
            reply->abort();
        reply->deleteLater();
        done(offer);
    };
    // The transfer timeout ends a silent server; this ends one that trickles.
    const QString late = QStringLiteral("no answer within %1 ms").arg(timeoutMs_);
    QTimer::singleShot(timeoutMs_, reply, [finish, late] {
        ClientUpdateOffer offer;
        offer.status = ClientUpdateOffer::Network;
        offer.reason = late;
        finish(offer);
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [reply, finish](qint64 received, qint64) {
        if (received > kMaxBytes ||
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > kMaxBytes) {
            ClientUpdateOffer offer;
            offer.status = ClientUpdateOffer::Invalid;
            offer.reason = QStringLiteral("the manifest is larger than %1 bytes").arg(kMaxBytes);
            finish(offer);
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, finish, late] {
        ClientUpdateOffer offer;
        if (reply->error() != QNetworkReply::NoError) {
            offer.status = ClientUpdateOffer::Network;
            offer.reason = reply->error() == QNetworkReply::OperationCanceledError
                               ? late
                               : reply->errorString().left(200);
        } else if (!parseUpdateManifest(reply->read(kMaxBytes + 1), &offer.manifest, &offer.reason)) {
            offer.status = ClientUpdateOffer::Invalid;
        } else {
            offer.status = ClientUpdateOffer::Ok;
        }
        finish(offer);
    });
}

}  // namespace kf::window
