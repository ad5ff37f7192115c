// Process entry of the client.
#include <QCoreApplication>
#include <QDebug>
#include <QProcessEnvironment>
#include <QWebEngineProfile>
#include <cstdio>

#include "app/application.h"
#include "app/command_line.h"
#include "app/logging.h"
#include "app/private_folder.h"
#include "app/process.h"
#include "app/user_folders.h"
#include "cefclient/client_app.h"
#include "cefclient/client_handler.h"
#include "platform/display/window_rendering.h"

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

    // The user's own places: the private runtime root, and the folders for profiles and for the
    // log and crash dumps (beside the executable while the user may write there).
    const kf::paths::Environment env = kf::paths::Environment::ofProcess();
    QStringList refusals;
    const QString runtimeRoot = kf::paths::chooseRuntimeRoot(kf::paths::systemFolders(), env, &refusals);
    kf::setRuntimeRoot(runtimeRoot);
    const kf::paths::UserFolders folders = kf::paths::UserFolders::prepare(appDir, env, runtimeRoot);
    kf::setUserFolders(folders);

    const QString logPath = line.hasSwitch(QStringLiteral("log-file"))
                                ? line.switchValue(QStringLiteral("log-file"))
                                : kf::logging::defaultLogPath(folders.logFolder);
    kf::logging::install(logPath, kf::logging::parseLevel(line.switchValue(QStringLiteral("log-severity")),
                                                          kf::logging::Level::Info));
    if (!folders.problem.isEmpty()) {
        qWarning().noquote() << "state folder refused:" << folders.problem << "; the log and dumps go to"
                             << folders.logFolder;
    }
    for (const QString& why : qAsConst(refusals)) {
        qWarning().noquote() << "runtime folder refused:" << why;
    }
    if (runtimeRoot.isEmpty()) {
        const QString text =
            QStringLiteral("kestrafon cannot start: no private runtime folder of the user's own (%1)")
                .arg(refusals.join(QStringLiteral("; ")));
        qCritical().noquote() << text;
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        kf::logging::uninstall();
        delete app;
        return 1;
    }

    // The window's renderer is settled before the first web view: software where OpenGL is.
    qInfo().noquote() << kf::platform::chooseWindowRendering();

    // 3 (continued). The rest of the engine settings go onto the default profile.
    EngineSettings settings = ClientApp::defaultSettings(QProcessEnvironment::systemEnvironment());
    settings.cachePath = kf::cacheFolder();

    // 5. The process-wide browser client handler; it also serves the local schemes.
    ClientHandler::Options options;
    options.startUrl = line.switchValue(QStringLiteral("url"));
    options.cursorChangeDisabled = line.hasSwitch(QStringLiteral("mouse-cursor-change-disabled"));
    auto* handler = new ClientHandler(appDir, options);
    kf::setClientHandler(handler);
    clientApp.initialize(QWebEngineProfile::defaultProfile(), settings, handler);
    qInfo().noquote() << "runtime folder:" << runtimeRoot << "browser cache:" << settings.cachePath;

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
    //    user's own, never following a link or entering another file system).
    if (kf::updatePending()) {
        kf::removeOwnFolderRecursively(kf::cacheFolder());
    }
    return result;
}
