#pragma once
// Which documents get the page bridge. The bridge can read and write profile files, flash
// firmware and install client updates, so it belongs to the client's own pages only: main-frame
// documents of the client's own schemes ("kestrafon", the start page's, and "settings"). When a
// developer or a test points the client at another start page with the "url" switch, that
// page's origin is trusted as well (for a file: URL, every local file). Everything else (a
// vendor-site fallback, a link followed, a frame inside our page) gets no bridge object, its
// requests are refused, and a download it starts is cancelled.
#include <QString>
#include <QUrl>

class BridgeOrigins {
public:
    // `startPageSwitch`: the "url" switch's value; empty when the switch was not given.
    explicit BridgeOrigins(const QString& startPageSwitch = QString());

    // Whether a main-frame document at `url` is offered the bridge.
    bool offersBridge(const QUrl& url) const;

    // A script expression that is true only in a top-level document the bridge is offered to;
    // it guards the injected bridge script.
    QString scriptCondition() const;

    // The origin of a URL as logs quote it ("http://example.test:8080"), at most 200 characters.
    static QString originText(const QUrl& url);

private:
    QString extraScheme_;  // the url switch's page: scheme, host and port (-1: none given)
    QString extraHost_;
    int extraPort_ = -1;
};
