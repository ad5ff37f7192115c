// Update commands. The two Execute commands are not answered: progress reaches the page as
// "RefreshUpdateState". The client self-update and the firmware updates are the update
// component's (window/updates.h); "GetClientUpdate" answers the offer of window/update_manifest.h.
#include <QDebug>

#include "window/command_answer.h"
#include "window/command_args.h"
#include "window/update_manifest.h"
#include "window/window.h"

using kf::window::argText;
using kf::window::clientUpdateAnswer;
using kf::window::ClientUpdateOffer;
using kf::window::UpdateManifestFetcher;

void Window::cmdExecuteUpdateClient(const QVariantMap& args, const QueryCallbackPtr&) {
    const QString filePath = argText(args, QStringLiteral("FilePath"));
    if (components_.updates) {
        components_.updates->executeUpdateClient(filePath);
    }
}

void Window::cmdExecuteUpdateFirmware(const QVariantMap& args, const QueryCallbackPtr&) {
    const QString version = argText(args, QStringLiteral("Version"));
    const QString filePath = argText(args, QStringLiteral("FilePath"));
    if (components_.updates) {
        components_.updates->executeUpdateFirmware(version, filePath);
    }
}

// Answers the running version, the UpdateUrl setting and the manifest found there, always as a
// success text whose "Status" says what happened: the page shows a calm message for each.
void Window::cmdGetClientUpdate(const QVariantMap&, const QueryCallbackPtr& cb) {
    const QString running = clientInfo_.value(QStringLiteral("version"));
    const QString url = clientInfo_.value(QStringLiteral("UpdateUrl")).trimmed();
    if (url.isEmpty()) {
        deliver(cb, CommandAnswer::success(clientUpdateAnswer(running, url, ClientUpdateOffer{})));
        return;
    }
    if (!manifestFetcher_) {
        manifestFetcher_ = new UpdateManifestFetcher(this);
    }
    manifestFetcher_->fetch(url, [cb, running, url](const ClientUpdateOffer& offer) {
        if (offer.status != ClientUpdateOffer::Ok) {
            qInfo().noquote() << "client update manifest" << url << "not usable:" << offer.reason;
        }
        deliver(cb, CommandAnswer::success(clientUpdateAnswer(running, url, offer)));
    });
}
