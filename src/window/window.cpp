#include "window/window.h"

#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScreen>

#include "app/application.h"
#include "app/command_line.h"
#include "app/process.h"
#include "cefclient/client_handler.h"
#include "cefclient/qcef_web_view.h"

Window::Window(QWidget* parent) : PsMainWindow(parent), savedNormalGeometry_(0, 0, 0, 0) {
    if (objectName().isEmpty()) {
        setObjectName(QStringLiteral("MainWindow"));
    }
    setWindowTitle(QStringLiteral("Vorkanta平台"));

    const QString tempFolder = QDir::toNativeSeparators(QDir::tempPath());
    if (QDir(tempFolder).exists()) {
        if (Application* app = kf::currentApplication()) {
            app->unpackTheme(QStringLiteral("theme.dat"), tempFolder);
        }
    }

    resize(kMinimumWidth, kMinimumHeight);
    setMaximumSize(kMinimumWidth, kMinimumHeight);
    setWindowOpacity(1);
    setMouseTracking(true);

    // The "url" switch lets a developer or a test point the client at another page.
    const kf::CommandLine& line = kf::CommandLine::process();
    startPage_ = line.hasSwitch(QStringLiteral("url")) ? line.switchValue(QStringLiteral("url"))
                                                        : QString::fromLatin1(ClientHandler::kStartPage);
    if (ClientHandler* handler = kf::clientHandler()) {
        handler->setPageUrl(startPage_);
        handler->setStartUrl(startPage_);
    }
    mainView_ = new QCefWebView(this);
    mainView_->resize(kMinimumWidth, kMinimumHeight);
    mainView_->load(QUrl(startPage_));

    setMinimumSize(kMinimumWidth, kMinimumHeight);

    if (Application* app = kf::currentApplication()) {
        app->setThemeRoot(kf::appDirPath() + "theme");
        app->setThemeName(themeNameFor(startPage_));
    }

    connect(mainView_, &QCefWebView::jsMessage, this, &Window::onJsMessage);
}

Window::~Window() {
    delete mainView_;
    mainView_ = nullptr;
}

QString Window::themeNameFor(const QString& startPage) {
    static const QRegularExpression page(QStringLiteral("/[^/]*.html"));
    return startPage.mid(33).remove(page);
}

void Window::answerSuccess(QueryCallbackPtr callback, const QString& text) {
    if (callback) callback->Success(text);
}

void Window::answerFailure(QueryCallbackPtr callback, const QString& text) {
    if (callback) callback->Failure(0, text);
}

void Window::onJsMessage(QString name, QueryCallbackPtr callbackPtr) {
    if (name.contains(QLatin1String("maxsizeWindow"))) {
        maximizeHostWindow();
        return;
    }
    if (name.contains(QLatin1String("restoreWindow"))) {
        restoreHostWindow();
        return;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(name.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return;
    }
    const QVariantMap args = doc.object().toVariantMap();
    if (!args.contains(QStringLiteral("FuncName"))) {
        return;
    }
    const QString funcname = args.value(QStringLiteral("FuncName")).toString();
    qDebug().noquote() << "funcname====" + funcname;
    dofunc(funcname, args, callbackPtr);
}

void Window::dofunc(QString, QVariantMap, QueryCallbackPtr) {
    // The command table is matched here; a name that is not in it gets no answer.
}

void Window::quitApp() { hide(); }

void Window::maximizeHostWindow() {
    ClientHandler* handler = kf::clientHandler();
    QWidget* host = handler ? handler->getMainWindowHandle() : nullptr;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!host || !screen) return;
    savedNormalGeometry_ = host->geometry();
    host->setGeometry(screen->availableGeometry());
}

void Window::restoreHostWindow() {
    ClientHandler* handler = kf::clientHandler();
    QWidget* host = handler ? handler->getMainWindowHandle() : nullptr;
    if (!host) return;
    host->setGeometry(savedNormalGeometry_);
}
