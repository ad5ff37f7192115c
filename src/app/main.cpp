// Process entry of the client.
#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QWebEngineProfile>

#include "app/application.h"
#include "app/command_line.h"
#include "app/logging.h"
#include "app/process.h"
#include "cefclient/client_app.h"
#include "cefclient/client_handler.h"

int main(int argc, char** argv) {
    // 1. The system shows no open-file error boxes on this platform; there is no error mode to set.

    // 2. The engine's application object. Qt WebEngine starts its helper processes from its own
    //    executable, so this program is never started as an engine sub-process and has no
    //    sub-process role to check for here.
    ClientApp clientApp;
    ClientApp::registerSchemes();

    // 3. Engine settings that must exist before the toolkit application: no sandbox, a GL
    //    context shared with the engine, the product version.
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QCoreApplication::setApplicationName(QStringLiteral("Kestrafon"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0"));

    // 4. The application object.
    auto* app = new Application(argc, argv);
    kf::CommandLine::setProcess(QCoreApplication::arguments());
    const kf::CommandLine& line = kf::CommandLine::process();
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString logPath = line.hasSwitch(QStringLiteral("log-file"))
                                ? line.switchValue(QStringLiteral("log-file"))
                                : kf::logging::defaultLogPath(appDir);
    kf::logging::install(logPath, kf::logging::parseLevel(line.switchValue(QStringLiteral("log-severity")),
                                                          kf::logging::Level::Info));

    // 3 (continued). The rest of the engine settings go onto the default profile.
    const EngineSettings settings = ClientApp::defaultSettings(QProcessEnvironment::systemEnvironment());

    // 5. The process-wide browser client handler; it also serves the local schemes.
    ClientHandler::Options options;
    options.startUrl = line.switchValue(QStringLiteral("url"));
    options.cursorChangeDisabled = line.hasSwitch(QStringLiteral("mouse-cursor-change-disabled"));
    auto* handler = new ClientHandler(appDir, options);
    kf::setClientHandler(handler);
    clientApp.initialize(QWebEngineProfile::defaultProfile(), settings, handler);

    // 6. Start and run, unless quitting was asked for already.
    int result = 0;
    if (!kf::quitRequested()) {
        app->start();
        result = app->exec();
    }

    // 7. Tear down: the application (its window and browsers) first, then the handler.
    handler->setClosing(true);
    delete app;
    kf::setClientHandler(nullptr);
    delete handler;
    kf::logging::uninstall();

    // 8. After a client update the browser cache is stale: remove it (only as a folder of the
    //    user's own: the temporary folder is shared).
    if (kf::updatePending()) {
        kf::removeOwnFolderRecursively(kf::cacheFolder());
    }
    return result;
}
