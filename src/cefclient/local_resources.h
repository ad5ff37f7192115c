#pragma once
// Serves the local pages from the theme pack. The page scheme answers every request by the
// 33-character key rule; a miss goes to the network (the vendor's site under the same path).
// The "settings" scheme (domain "kestrafon") serves the same pack by path. An interceptor
// sends web requests whose URL contains "local" and whose key is in the pack to the page
// scheme, so they are answered from memory too.
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>

class ResourcePack;

class LocalSchemeHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT
public:
    enum class Mode { WebClientPage, Settings };
    LocalSchemeHandler(const ResourcePack& pack, Mode mode, QObject* parent);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

    // The network address a pack miss is fetched from.
    static QUrl networkFallback(const QUrl& url);

private:
    const ResourcePack& pack_;
    const Mode mode_;
};

class LocalRequestInterceptor : public QWebEngineUrlRequestInterceptor {
    Q_OBJECT
public:
    LocalRequestInterceptor(const ResourcePack& pack, QObject* parent);
    void interceptRequest(QWebEngineUrlRequestInfo& info) override;

private:
    const ResourcePack& pack_;
};
