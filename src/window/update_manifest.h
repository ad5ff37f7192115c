#pragma once
// The client update offer: a small JSON manifest at the address of the `UpdateUrl` setting
// (Resources/conf.xml), fetched natively for "GetClientUpdate" and never trusted.
//
//   {"version": "2.1.0", "package": "https://host/kestrafon-2.1.0.kfa", "size": 1234567,
//    "notes": "What changed", "firmware": {"QZK-ZMC": "https://host/mouse-1.2.bin"}}
//
// "version", "package" and "size" are required; "notes" and "firmware" may be left out. Every
// value is checked for its type and length, and every address must be http or https with a host:
// a manifest that fails any check is refused as a whole, so the page never offers half of one.
#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QString>
#include <functional>

class QNetworkAccessManager;

namespace kf::window {

struct UpdateManifest {
    QString version;
    QString packageUrl;
    qint64 size = 0;
    QString notes;
    QMap<QString, QString> firmware;  // device key (firmware text before "-V") -> image address
};

namespace manifest_limits {
constexpr int kMaxBytes = 64 * 1024;
constexpr int kMaxVersion = 32;
constexpr int kMaxUrl = 2048;
constexpr int kMaxNotes = 8000;
constexpr int kMaxFirmware = 32;
constexpr int kMaxDeviceKey = 64;
constexpr qint64 kMaxPackage = qint64(1) << 31;  // 2 GiB
}  // namespace manifest_limits

// Reads a manifest; false with a short English reason in *error when any check fails.
bool parseUpdateManifest(const QByteArray& body, UpdateManifest* out, QString* error);

// An address the client may fetch or offer: http or https, with a host, at most kMaxUrl long.
bool isUpdateAddress(const QString& text);

QJsonObject manifestToJson(const UpdateManifest& manifest);

// What "GetClientUpdate" answers.
struct ClientUpdateOffer {
    enum Status { Ok, NoUrl, Network, Invalid };
    Status status = NoUrl;
    QString reason;  // for Network and Invalid
    UpdateManifest manifest;
};

// The answer text: {"Version", "UpdateUrl", "Status": "ok"|"noUrl"|"network"|"invalid",
// "Reason", "Manifest"} (Manifest only with "ok").
QString clientUpdateAnswer(const QString& runningVersion, const QString& updateUrl,
                           const ClientUpdateOffer& offer);

// Fetches manifests: each request ends within kTimeoutMs (however slowly the server sends), reads at most
// kMaxBytes, follows no redirect to a less safe scheme, and calls its callback exactly once (never after the
// fetcher is destroyed).
class UpdateManifestFetcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 10000;

    // timeoutMs: kTimeoutMs; tests wait less.
    explicit UpdateManifestFetcher(QObject* parent = nullptr, int timeoutMs = kTimeoutMs);
    ~UpdateManifestFetcher() override;

    void fetch(const QString& url, std::function<void(const ClientUpdateOffer&)> done);

private:
    QNetworkAccessManager* network_;
    int timeoutMs_;
};

}  // namespace kf::window
