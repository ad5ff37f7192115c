// The client update manifest: what is accepted, and that each kind of bad content is refused
// as a whole; and the fetch from a loopback server, which caps the size and reports failures.
#include <QByteArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include "support/qt_wait.h"
#include "window/update_manifest.h"

namespace {

using kf::window::ClientUpdateOffer;
using kf::window::parseUpdateManifest;
using kf::window::UpdateManifest;

const char* const kGood =
    R"({"version":"2.1.0","package":"https://updates.example/k-2.1.0.kfa","size":1234,"notes":"Faster","firmware":{"QZK-ZMC":"http://updates.example/m.bin"}})";

TEST(UpdateManifest, ReadsAGoodManifest) {
    UpdateManifest m;
    QString error;
    ASSERT_TRUE(parseUpdateManifest(kGood, &m, &error)) << error.toStdString();
    EXPECT_EQ(m.version, "2.1.0");
    EXPECT_EQ(m.packageUrl, "https://updates.example/k-2.1.0.kfa");
    EXPECT_EQ(m.size, 1234);
    EXPECT_EQ(m.notes, "Faster");
    EXPECT_EQ(m.firmware.value("QZK-ZMC"), "http://updates.example/m.bin");
    // Notes and firmware may be left out.
    ASSERT_TRUE(
        parseUpdateManifest(R"({"version":"3","package":"http://127.0.0.1:8/p","size":1})", &m, &error));
    EXPECT_TRUE(m.notes.isEmpty());
    EXPECT_TRUE(m.firmware.isEmpty());
}

TEST(UpdateManifest, RefusesBadManifestsAsAWhole) {
    const QString pad(70000, QLatin1Char('a'));
    // [content, a word the reason holds]
    const std::vector<std::pair<QByteArray, const char*>> cases = {
        {"", "JSON"},
        {"[1,2]", "JSON"},
        {R"({"version":"2.1.0","package":"https://h/p")", "JSON"},
        {R"({"package":"https://h/p","size":1})", "\"version\" is missing"},
        {R"({"version":"2","size":1})", "\"package\" is missing"},
        {R"({"version":"2","package":"https://h/p"})", "\"size\" is missing"},
        {R"({"version":2,"package":"https://h/p","size":1})", "not a text"},
        {R"({"version":"2","package":"https://h/p","size":"1"})", "whole number"},
        {R"({"version":"2","package":"https://h/p","size":1.5})", "whole number"},
        {R"({"version":"2","package":"https://h/p","size":0})", "whole number"},
        {R"({"version":"2","package":"https://h/p","size":9e12})", "whole number"},
        {R"({"version":"2","package":"https://h/p","size":1,"notes":["a"]})", "not a text"},
        {R"({"version":"2","package":"https://h/p","size":1,"firmware":["a"]})", "not an object"},
        {R"({"version":"2","package":"https://h/p","size":1,"firmware":{"K":"file:///m.bin"}})", "entry"},
        {R"({"version":"2","package":"https://h/p","size":1,"firmware":{"K":7}})", "entry"},
        {R"({"version":"../2","package":"https://h/p","size":1})", "characters"},
        {R"({"version":"","package":"https://h/p","size":1})", "empty"},
        {R"({"version":"2","package":"file:///etc/passwd","size":1})", "http"},
        {R"({"version":"2","package":"javascript:void0","size":1})", "http"},
        {R"({"version":"2","package":"ftp://h/p","size":1})", "http"},
        {R"({"version":"2","package":"https:///nohost","size":1})", "http"},
        {R"({"version":"2","package":"https://user:pw@h/p","size":1})", "http"},
        {R"({"version":"2","package":"https://h/p","size":1,"notes":"a\u0007b"})", "control"},
        {QByteArray(R"({"version":"2","package":"https://h/p","size":1,"notes":")") + pad.toUtf8() + "\"}",
         "larger"},
        {QByteArray(R"({"version":"2","package":"https://h/p","size":1,"notes":")") +
             pad.left(9000).toUtf8() + "\"}",
         "longer"},
        {QByteArray(R"({"version":"2","package":"https://h/)") + pad.left(3000).toUtf8() + R"(","size":1})",
         "longer"},
    };
    for (const auto& [content, reason] : cases) {
        UpdateManifest m;
        m.version = QStringLiteral("untouched");
        QString error;
        EXPECT_FALSE(parseUpdateManifest(content, &m, &error)) << content.left(120).toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(reason)))
            << content.left(120).toStdString() << " -> " << error.toStdString();
        EXPECT_EQ(m.version, "untouched");
    }
}

// A loopback server that answers every request with `response` (or nothing when it is empty).
struct OneAnswerServer {
    QTcpServer server;
    explicit OneAnswerServer(const QByteArray& response) {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this, response] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, response] {
                socket->readAll();
                if (!response.isEmpty()) {
                    socket->write(response);
                    socket->disconnectFromHost();
                }
            });
        });
    }
    QString url() const {
        return QStringLiteral("http://127.0.0.1:%1/manifest.json").arg(server.serverPort());
    }
};

QByteArray http(const QByteArray& body) {
    return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

TEST(UpdateManifestFetcher, AnswersEachOutcomeOnce) {
    OneAnswerServer good(http(kGood));
    OneAnswerServer garbage(http("<html>not here</html>"));
    OneAnswerServer huge(http(QByteArray(200000, ' ')));
    OneAnswerServer silent("");
    OneAnswerServer trickle("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n{");
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost);
    const QString closedUrl = QStringLiteral("http://127.0.0.1:%1/m").arg(closed.serverPort());
    closed.close();
    // [address, status]
    const std::vector<std::pair<QString, ClientUpdateOffer::Status>> cases = {
        {good.url(), ClientUpdateOffer::Ok},
        {garbage.url(), ClientUpdateOffer::Invalid},
        {huge.url(), ClientUpdateOffer::Invalid},
        {closedUrl, ClientUpdateOffer::Network},
        {silent.url(), ClientUpdateOffer::Network},
        {trickle.url(), ClientUpdateOffer::Network},
        {QStringLiteral("file:///etc/hostname"), ClientUpdateOffer::Invalid},
    };
    kf::window::UpdateManifestFetcher fetcher(nullptr, 500);
    for (const auto& [url, status] : cases) {
        int calls = 0;
        ClientUpdateOffer got;
        fetcher.fetch(url, [&](const ClientUpdateOffer& offer) {
            ++calls;
            got = offer;
        });
        EXPECT_TRUE(kftest::waitFor([&] { return calls > 0; }, 5000)) << url.toStdString();
        kftest::settle(100);
        EXPECT_EQ(calls, 1) << url.toStdString();
        EXPECT_EQ(got.status, status) << url.toStdString() << " " << got.reason.toStdString();
    }
    const QString answer =
        kf::window::clientUpdateAnswer(QStringLiteral("2.0.0"), good.url(), ClientUpdateOffer{});
    EXPECT_EQ(QJsonDocument::fromJson(answer.toUtf8())["Status"].toString(), "noUrl");
}

}  // namespace
