#include "cefclient/local_resources.h"

#include <QBuffer>
#include <QWebEngineUrlRequestJob>

#include "cefclient/client_handler.h"
#include "cefclient/resource_pack.h"
#include "cefclient/resource_request.h"

namespace {

void replyWith(QWebEngineUrlRequestJob* job, const resource_request::Answer& answer) {
    auto* buffer = new QBuffer(job);
    buffer->setData(answer.data);
    buffer->open(QIODevice::ReadOnly);
    job->reply(answer.mime, buffer);
}

// "settings://kestrafon/local/black/a.png" and "settings://kestrafon/black/a.png" both name
// the pack key "black/a.png".
QString settingsKey(const QUrl& url) {
    QString path = url.path(QUrl::FullyEncoded);
    while (path.startsWith(QLatin1Char('/')))
        path.remove(0, 1);
    if (path.startsWith(QLatin1String("local/")))
        path.remove(0, 6);
    return path;
}

}  // namespace

LocalSchemeHandler::LocalSchemeHandler(const ResourcePack& pack, Mode mode, QObject* parent)
    : QWebEngineUrlSchemeHandler(parent), pack_(pack), mode_(mode) {}

QUrl LocalSchemeHandler::networkFallback(const QUrl& url) {
    const QString text = url.toString(QUrl::FullyEncoded);
    return QUrl(QString::fromLatin1(ClientHandler::kVendorSite) + QStringLiteral("local/") +
                text.mid(resource_request::kPrefixLength));
}

void LocalSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
    const QUrl url = job->requestUrl();
    if (mode_ == Mode::WebClientPage) {
        const QString text = url.toString(QUrl::FullyEncoded);
        const resource_request::Answer answer = resource_request::answer(pack_, text);
        if (answer.found) {
            replyWith(job, answer);
        } else {
            job->redirect(networkFallback(url));
        }
        return;
    }
    if (url.host() != QLatin1String("kestrafon")) {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
        return;
    }
    QString synthetic = QString::fromLatin1(resource_request::kWebClientPrefix) + settingsKey(url);
    if (url.hasQuery())
        synthetic += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
    const resource_request::Answer answer = resource_request::answer(pack_, synthetic, true);
    if (answer.found) {
        replyWith(job, answer);
    } else {
        job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    }
}

LocalRequestInterceptor::LocalRequestInterceptor(const ResourcePack& pack, QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent), pack_(pack) {}

void LocalRequestInterceptor::interceptRequest(QWebEngineUrlRequestInfo& info) {
    const QUrl url = info.requestUrl();
    const QString scheme = url.scheme();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) {
        return;
    }
    const QString text = url.toString(QUrl::FullyEncoded);
    if (!resource_request::intercepts(text)) {
        return;
    }
    if (resource_request::answer(pack_, text).found) {
        info.redirect(QUrl(QString::fromLatin1(resource_request::kWebClientPrefix) +
                           text.mid(resource_request::kPrefixLength)));
    }
}
