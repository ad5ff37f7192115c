// Two real client processes meet on the local socket: the second hands "show" to the first and
// ends; the first answers every "CMD:" piece with its process id and logs what it did.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QThread>

#include "client_process_helpers.h"

using kftest::ClientSandbox;

namespace {

QByteArray readFor(QLocalSocket& socket, int ms, int expectedBytes = -1) {
    QByteArray data;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && (expectedBytes < 0 || data.size() < expectedBytes)) {
        if (socket.waitForReadyRead(50))
            data += socket.readAll();
    }
    return data;
}

// Starts a first instance and waits until its window is up.
QProcess* startFirst(ClientSandbox& box, const QStringList& args = {}) {
    QProcess* first = box.start("first", args);
    EXPECT_TRUE(box.waitForLog("first", "mainwindow show!")) << box.log("first").toStdString();
    return first;
}

TEST(SingleInstance, SecondInstanceSendsShowGetsThePidAndExits) {
    ClientSandbox box;
    ASSERT_TRUE(box.isValid());
    QProcess* first = startFirst(box);
    QProcess* second = box.start("second");
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_EQ(second->exitCode(), 0);

    const QString log2 = box.log("second");
    EXPECT_TRUE(
        log2.contains("Application Info: socket connected, this is not the first application instance, "
                      "sending show command.."));
    EXPECT_TRUE(log2.contains("Application Info: writing commands CMD:show;"));
    EXPECT_TRUE(log2.contains("Application Info: show command written, waiting response.."));
    EXPECT_TRUE(
        log2.contains(QString("Application Info: show command response received, pid = %1, activating "
                              "and quiting..")
                          .arg(first->processId())))
        << log2.toStdString();
    EXPECT_FALSE(log2.contains("mainwindow show!"));

    ASSERT_TRUE(box.waitForLog("first", "Application Info: removing client"));
    const QString log1 = box.log("first");
    EXPECT_TRUE(
        log1.contains("Application Info: this is the only instance of kestrafon, starting server and app.."));
    EXPECT_TRUE(log1.contains("Application Info: new local socket connected"));
    EXPECT_TRUE(log1.contains("Application Info: remove clients slot called, clients 1"));
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST(SingleInstance, FirstInstanceAnswersEveryPieceAndBuffersPartialOnes) {
    ClientSandbox box;
    QProcess* first = startFirst(box);
    const QByteArray reply = QString("RES:%1;").arg(first->processId()).toUtf8();

    QLocalSocket client;
    client.connectToServer(box.serverPath());
    ASSERT_TRUE(client.waitForConnected(5000));
    // Two commands in one write: shown twice, answered twice.
    client.write("CMD:show;CMD:show;");
    EXPECT_EQ(readFor(client, 5000, reply.size() * 2), reply + reply);
    // A command split across writes is answered once it is complete.
    client.write("CMD:sh");
    client.flush();
    EXPECT_TRUE(readFor(client, 300).isEmpty());
    client.write("ow;");
    EXPECT_EQ(readFor(client, 5000, reply.size()), reply);
    // Unknown commands are still answered; pieces without "CMD:" are logged and dropped.
    client.write("CMD:dance;");
    EXPECT_EQ(readFor(client, 5000, reply.size()), reply);
    client.write("hello;");
    EXPECT_TRUE(readFor(client, 500).isEmpty());
    EXPECT_TRUE(box.waitForLog("first", "Application Error: unknown command hello passed in local socket"));
}

TEST(SingleInstance, SecondInstanceWaitsForTheWholeAnswer) {
    ClientSandbox box;
    QLocalServer fake;
    ASSERT_TRUE(fake.listen(box.serverPath()));
    QProcess* second = box.start("second");
    ASSERT_TRUE(fake.waitForNewConnection(30000));
    QLocalSocket* peer = fake.nextPendingConnection();
    ASSERT_EQ(readFor(*peer, 10000, 9), QByteArray("CMD:show;"));
    peer->write("RES:12");
    peer->flush();
    EXPECT_FALSE(second->waitForFinished(700));  // half an answer: still waiting
    peer->write("34;");
    peer->flush();
    ASSERT_TRUE(second->waitForFinished(15000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_TRUE(
        box.log("second").contains("show command response received, pid = 1234, activating and quiting.."));
}

TEST(SingleInstance, SecondInstanceQuitsWhenTheFirstHangsUp) {
    ClientSandbox box;
    QLocalServer fake;
    ASSERT_TRUE(fake.listen(box.serverPath()));
    QProcess* second = box.start("second");
    ASSERT_TRUE(fake.waitForNewConnection(30000));
    QLocalSocket* peer = fake.nextPendingConnection();
    readFor(*peer, 5000, 9);
    peer->disconnectFromServer();
    ASSERT_TRUE(second->waitForFinished(15000));
    EXPECT_TRUE(box.log("second").contains(
        "Application Error: socket disconnected before command response received, quiting.."));
}

TEST(SingleInstance, StaleSocketFileOfACrashedFirstInstanceIsRecovered) {
    ClientSandbox box;
    // A socket file nobody listens on, as a killed first instance leaves behind.
    const QByteArray path = box.serverPath().toLocal8Bit();
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof(addr.sun_path));
    memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ::close(fd);

    QProcess* first = startFirst(box);
    EXPECT_TRUE(
        box.log("first").contains("Application Info: socket connect error 0, starting server and app.."));
    EXPECT_FALSE(box.log("first").contains("failed to start listening"));
    // And it serves later instances.
    QProcess* second = box.start("second");
    ASSERT_TRUE(second->waitForFinished(30000));
    EXPECT_TRUE(box.log("second").contains(QString("pid = %1").arg(first->processId())));
}

TEST(SingleInstance, LogLinesCarrySourceLineAndSeverityAndRespectTheMinimumLevel) {
    ClientSandbox box;
    startFirst(box);
    const QString log = box.log("first");
    static const QRegularExpression line(
        R"(^\[\d{4}/\d{6}\.\d{3}:INFO:application\.cpp\(\d+\)\] Application Info: connecting local socket to )"
        R"(/.*/kestrafon/Global\\\{798ec1ad-0301-43e7-8ccf-42c0db11a520\}\.\.$)",
        QRegularExpression::MultilineOption);
    EXPECT_TRUE(line.match(log).hasMatch()) << log.toStdString();
    // Debug lines are below the default minimum (information).
    EXPECT_FALSE(log.contains(":VERBOSE1:"));
    EXPECT_FALSE(log.contains("BreakpadQt: setReporter"));

    ClientSandbox verboseBox;
    verboseBox.start("first", {"--log-severity=verbose"});
    ASSERT_TRUE(verboseBox.waitForLog("first", "mainwindow show!"));
    EXPECT_TRUE(verboseBox.log("first").contains(QRegularExpression(
        R"(:VERBOSE1:crash_handler\.cpp\(\d+\)\] BreakpadQt: setReporter: CrashReporter -> .*/CrashReporter)")));

    ClientSandbox quietBox;
    quietBox.start("first", {"--log-severity=error"});
    QLocalSocket probe;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000 && !QFile::exists(quietBox.serverPath()))
        QThread::msleep(50);
    QThread::msleep(300);
    EXPECT_FALSE(quietBox.log("first").contains("Application Info"));
}

}  // namespace
