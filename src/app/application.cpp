#include "app/application.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QTextCodec>
#include <QTimer>
#include <pugixml.hpp>

#include "app/command_line.h"
#include "app/core_resources.h"
#include "app/logging.h"
#include "app/process.h"
#include "cefclient/client_handler.h"
#include "cefclient/theme_archive.h"
#include "crash/crash_handler.h"
#include "device/devices_handler.h"
#include "device/hot_plug_watcher.h"
#include "device/sim_location.h"
#include "encoding/key_code_map.h"
#include "platform/session/session_end_watcher.h"
#include "platform/usb/usb_system.h"
#include "platform/windowing/window_system.h"
#include "window/window.h"

const char Application::kServerName[] = "Global\\{798ec1ad-0301-43e7-8ccf-42c0db11a520}";

Application::Application(int& argc, char** argv)
    : PsApplication(argc, argv), timer_(new QTimer(this)), serverName_(QString::fromLatin1(kServerName)) {
    for (int i = 0; i < argc; ++i) {
        if (qstrcmp(argv[i], "-autostart") == 0) {
            autostart_ = true;
            kf::setStartedWithAutostart(true);
        }
    }
}

Application::~Application() {
    delete mainWindow_;
    mainWindow_ = nullptr;
    for (auto& client : clients_) {
        delete client.first;
    }
    clients_.clear();
    if (kf::currentApplication() == this) {
        kf::setCurrentApplication(nullptr);
    }
}

void Application::start() {
    const QString appDir = QCoreApplication::applicationDirPath() + "/";
    kf::setAppDirPath(appDir);
    setQuitOnLastWindowClosed(false);

    initCoreResources();
    QFile qss(QStringLiteral(":/qss/qssmain"));
    if (qss.open(QIODevice::ReadOnly)) {
        setStyleSheet(QString::fromUtf8(qss.readAll()));
    }

    // Dumps go where the log goes: beside the executable while the user may write there, else
    // the user's state folder (a packaged installation is read-only).
    const QString logFolder = kf::userFolders().logFolder;
    crashHandler_.setDumpFolder(logFolder.isEmpty() ? QCoreApplication::applicationDirPath() : logFolder);
    crashHandler_.setReporter(QStringLiteral("CrashReporter"));

    if (kf::currentApplication() && kf::currentApplication() != this) {
        qCritical().noquote() << "Application Error:another Application was creadted,terminating..";
        QMetaObject::invokeMethod(this, "quit", Qt::QueuedConnection);
    }
    kf::setCurrentApplication(this);

    installPsEventFilter();

    sessionWatcher_ = new kf::platform::SessionEndWatcher(this);
    // The session is ending (SIGTERM, SIGHUP, the session manager): close down as the tray's
    // exit does, so profile changes still only in memory are written before the client ends.
    connect(sessionWatcher_, &kf::platform::SessionEndWatcher::sessionEnding, this,
            &Application::on_closeApp);

    // The channel is a socket file in the user's private runtime root, so every user of the
    // machine has a channel of their own and nobody else can take, remove or connect to it.
    if (!kf::runtimeRoot().isEmpty()) {
        serverName_ = kf::runtimeRoot() + QLatin1Char('/') + QString::fromLatin1(kServerName);
    }
    connect(&socket_, SIGNAL(connected()), this, SLOT(socketConnected()));
    connect(&socket_, SIGNAL(disconnected()), this, SLOT(socketDisconnected()));
    connect(&socket_, SIGNAL(error(QLocalSocket::LocalSocketError)), this,
            SLOT(socketError(QLocalSocket::LocalSocketError)));
    connect(&socket_, SIGNAL(bytesWritten(qint64)), this, SLOT(socketWritten(qint64)));
    connect(&socket_, SIGNAL(readyRead()), this, SLOT(socketReading()));
    connect(&server_, SIGNAL(newConnection()), this, SLOT(newInstanceConnected()));

    qInfo().noquote() << QStringLiteral("Application Info: connecting local socket to %1..").arg(serverName_);
    socket_.connectToServer(serverName_, QIODevice::ReadWrite);
}

void Application::play() {}

void Application::socketConnected() {
    qInfo().noquote() << "Application Info: socket connected, this is not the first application instance, "
                         "sending show command..";
    commandSent_ = true;
    const QString command = QStringLiteral("CMD:show;");
    qInfo().noquote() << QStringLiteral("Application Info: writing commands %1").arg(command);
    socket_.write(command.toLocal8Bit());
}

void Application::socketWritten(qint64) {
    if (socket_.state() == QLocalSocket::ConnectedState) {
        if (socket_.bytesToWrite() == 0) {
            qInfo().noquote() << "Application Info: show command written, waiting response..";
        }
    } else {
        qCritical().noquote() << QStringLiteral("Application Error: socket is not connected %1")
                                     .arg(static_cast<int>(socket_.state()));
    }
}

void Application::socketReading() {
    if (socket_.state() != QLocalSocket::ConnectedState) {
        qCritical().noquote() << QStringLiteral("Application Error: socket is not connected %1")
                                     .arg(static_cast<int>(socket_.state()));
        return;
    }
    responseBuffer_ += QString::fromLocal8Bit(socket_.readAll());
    static const QRegularExpression pattern(QStringLiteral("RES:(\\d+);"));
    const QRegularExpressionMatch match = pattern.match(responseBuffer_);
    if (!match.hasMatch()) {
        return;  // wait for the rest of the answer
    }
    const qint64 pid = match.captured(1).toLongLong();
    if (pid != 0) {
        if (auto windows = kf::platform::createWindowSystem()) {
            kf::platform::bringProcessWindowForward(*windows, pid);
        }
    }
    qInfo().noquote()
        << QStringLiteral(
               "Application Info: show command response received, pid = %1, activating and quiting..")
               .arg(pid);
    kf::quitApplication();
}

void Application::socketDisconnected() {
    if (commandSent_) {
        qCritical().noquote()
            << "Application Error: socket disconnected before command response received, quiting..";
        kf::quitApplication();
    }
}

void Application::socketError(QLocalSocket::LocalSocketError error) {
    if (commandSent_) {
        qCritical().noquote() << QStringLiteral(
                                     "Application Error: could not write show command, error %1, quiting..")
                                     .arg(error);
        kf::quitApplication();
        return;
    }
    if (error == QLocalSocket::ServerNotFoundError) {
        qInfo().noquote()
            << "Application Info: this is the only instance of kestrafon, starting server and app..";
    } else {
        qInfo().noquote() << QStringLiteral(
                                 "Application Info: socket connect error %1, starting server and app..")
                                 .arg(error);
    }
    socket_.close();
    if (error == QLocalSocket::ConnectionRefusedError) {
        // A first instance that died left its socket file behind and nobody answers on it:
        // remove the stale name, or every later start would fail to listen and quit.
        QLocalServer::removeServer(serverName_);
    }
    if (!server_.listen(serverName_)) {
        qCritical().noquote() << QStringLiteral(
                                     "Application Error: failed to start listening to %1 server, error %2")
                                     .arg(serverName_)
                                     .arg(server_.serverError());
        kf::quitApplication();
        return;
    }
    startMainWindow();
}

void Application::newInstanceConnected() {
    qInfo().noquote() << "Application Info: new local socket connected";
    while (QLocalSocket* client = server_.nextPendingConnection()) {
        clients_.append(qMakePair(client, QByteArray()));
        connect(client, SIGNAL(readyRead()), this, SLOT(readClients()));
        connect(client, SIGNAL(disconnected()), this, SLOT(removeClients()));
    }
}

void Application::readClients() {
    for (auto& client : clients_) {
        client.second.append(client.first->readAll());
        if (client.second.isEmpty()) {
            continue;
        }
        const QString text = QString::fromLocal8Bit(client.second);
        const int lastSeparator = text.lastIndexOf(QLatin1Char(';'));
        if (lastSeparator < 0) {
            continue;  // no complete piece yet
        }
        const QStringList pieces = text.left(lastSeparator).split(QLatin1Char(';'));
        client.second = text.mid(lastSeparator + 1).toLocal8Bit();
        for (const QString& piece : pieces) {
            if (piece.startsWith(QLatin1String("CMD:"))) {
                runCommand(piece.mid(4));
                client.first->write(
                    QStringLiteral("RES:%1;").arg(QCoreApplication::applicationPid()).toUtf8());
            } else {
                qCritical().noquote()
                    << QStringLiteral("Application Error: unknown command %1 passed in local socket")
                           .arg(piece);
            }
        }
    }
}

void Application::runCommand(const QString& command) {
    if (command != QLatin1String("show") || !mainWindow_) {
        return;
    }
    QWidget* window = mainWindow_;
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->activateWindow();
    window->show();
}

void Application::removeClients() {
    qInfo().noquote()
        << QStringLiteral("Application Info: remove clients slot called, clients %1").arg(clients_.size());
    for (int i = clients_.size() - 1; i >= 0; --i) {
        QLocalSocket* client = clients_.at(i).first;
        if (client->state() != QLocalSocket::ConnectedState) {
            qInfo().noquote() << "Application Info: removing client";
            clients_.remove(i);
            client->deleteLater();
        }
    }
}

void Application::on_closeApp() {
    if (mainWindow_) {
        mainWindow_->quitApp();
    }
    kf::quitApplication();
}

void Application::finishQuit() {
    if (mainWindow_) {
        mainWindow_->quitAfterFirmwareUpdate([this] { quit(); });
    } else {
        quit();
    }
}

bool Application::readClientConfigInto(const QString& appDirWithSlash, QMap<QString, QString>* info,
                                       QString* text) {
    const QString path = appDirWithSlash + "Resources/conf.xml";
    pugi::xml_document doc;
    if (!doc.load_file(QFile::encodeName(path).constData())) {
        return false;
    }
    QMap<QString, QString>& map = *info;
    map.clear();
    for (const pugi::xml_attribute& attr : doc.child("root").child("client").attributes()) {
        map.insert(QString::fromUtf8(attr.name()), QString::fromUtf8(attr.value()));
    }
    QString mac;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (!(iface.flags() & QNetworkInterface::IsLoopBack)) {
            mac = iface.hardwareAddress();
            break;
        }
    }
    map.insert(QStringLiteral("MacAddress"), mac);
    QString ip;
    for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol &&
            address != QHostAddress(QHostAddress::LocalHost)) {
            ip = address.toString();
            break;
        }
    }
    map.insert(QStringLiteral("IpAddress"), ip);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        *text = QString::fromUtf8(file.readAll());
    }
    return true;
}

bool Application::unpackTheme(const QString& name, const QString& targetFolder) {
    return theme_archive::unpack(QCoreApplication::applicationDirPath(), name, targetFolder);
}

kf::device::HotPlugWatcher* Application::watchDevices(QObject* owner, kf::platform::UsbSystem* usb,
                                                      const QString& simFolder) {
    auto* watcher = new kf::device::HotPlugWatcher(owner);
    if (usb) {
        usb->setParent(watcher);
    }
    if (ClientHandler* handler = kf::clientHandler()) {
        connect(watcher, &kf::device::HotPlugWatcher::DevicesChanged, handler,
                &ClientHandler::DevicesChanged);
    }
    watcher->start(usb, simFolder);
    return watcher;
}

void Application::startMainWindow() {
    readClientConfig(kf::appDirPath());
    // The devices present at start-up, kept by the device enumeration object for the life of
    // the process.
    auto* devices = new devices_handler(this);
    devices->buildStartupInventory();
    deviceFilter_ = devices;
    Window::Options options;
    options.startHidden = autostart_;
    // The "url" switch lets a developer or a test point the client at another page.
    options.startPage = kf::CommandLine::process().switchValue(QStringLiteral("url"));
    if (!kf::logging::currentLogPath().isEmpty()) {
        options.logFolder = QFileInfo(kf::logging::currentLogPath()).absolutePath();
    }
    options.runtimeRoot = kf::runtimeRoot();
    options.profileFolder = kf::userFolders().profileFolder;
    mainWindow_ = new Window(options);
    mainWindow_->setQuitRoutine(&kf::quitApplication);
    mainWindow_->setUpdatePendingRoutine([] { kf::setUpdatePending(true); });
    mainWindow_->setClientInfo(clientInfo_);
    setThemeRoot(kf::appDirPath() + "theme");
    setThemeName(Window::themeNameFor(mainWindow_->startPage()));
    mainWindow_->winId();
    ClientHandler* handler = kf::clientHandler();
    if (handler) {
        handler->setMainWindowHandle(mainWindow_);
    }
    // The system's USB devices (libudev) and the device emulator's state folder.
    watchDevices(mainWindow_, kf::platform::createUsbSystem().release(), kf::usb::simStateFolder());
    // The frame follows the native window's state from here on (prepareNativeWindow).
    mainWindow_->prepareNativeWindow();
    mainWindow_->createSystemTray();
    mainWindow_->showFirst();
    if (!kf::encoding::loadKeyCodeMap()) {
        qWarning().noquote() << "the built-in key code table :/drive/Define could not be loaded";
    }
    // Software key maps: the capture loop starts once the key code map is loaded and the
    // virtual device is open (the window opened it when it was made).
    mainWindow_->startCapture();
    qInfo().noquote() << "mainwindow show!";
}
