#include "cefclient/client_app.h"

#include <QDir>
#include <QFile>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlScheme>
#include <mutex>

#include "cefclient/client_handler.h"
#include "cefclient/local_resources.h"

void ClientApp::registerSchemes() {
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    const auto flags = QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                       QWebEngineUrlScheme::CorsEnabled | QWebEngineUrlScheme::ContentSecurityPolicyIgnored;
    QWebEngineUrlScheme page("kestrafon");
    page.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    page.setFlags(flags);
    QWebEngineUrlScheme::registerScheme(page);
    QWebEngineUrlScheme settings("settings");
    settings.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    settings.setFlags(flags);
    QWebEngineUrlScheme::registerScheme(settings);
}

QString ClientApp::localeFromEnvironment(const QProcessEnvironment& env) {
    QString language;
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        language = env.value(QString::fromLatin1(name)).section(QLatin1Char(':'), 0, 0).trimmed();
        if (!language.isEmpty())
            break;
    }
    // "en", "en_GB.UTF-8", "en-US": English of any region.
    const QString lower = language.toLower();
    if (lower == QLatin1String("en") || lower.startsWith(QLatin1String("en_")) ||
        lower.startsWith(QLatin1String("en-")) || lower.startsWith(QLatin1String("en."))) {
        return QStringLiteral("en");
    }
    return QStringLiteral("zh");  // Chinese (PRC) and every other language
}

EngineSettings ClientApp::defaultSettings(const QProcessEnvironment& env) {
    EngineSettings settings;
    settings.cachePath = QDir::toNativeSeparators(QDir::tempPath() + "/Kestrafon");
    QString data = env.value(QStringLiteral("XDG_DATA_HOME"));
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) {
        data = QDir::homePath() + QStringLiteral("/.local/share");
    }
    settings.storagePath = QDir::cleanPath(data + QStringLiteral("/kestrafon/storage"));
    settings.locale = localeFromEnvironment(env);
    return settings;
}

// Outside any namespace: the resource's init function is declared where it is named.
static void registerBridgeResources() {
    Q_INIT_RESOURCE(bridge);
}

QString ClientApp::bridgeScriptSource(const BridgeOrigins& origins) {
    // The bridge script is compiled into this static library, so it is registered explicitly.
    static std::once_flag once;
    std::call_once(once, registerBridgeResources);
    // Documents of other origins get nothing: not the channel client, not the page interface.
    // The engine puts the web channel's transport into every main-frame document while the page
    // has a channel; it is removed before another origin's own scripts can run.
    QString source =
        QStringLiteral(
            "(function () {\nif (!%1) {\n"
            "    try { if (typeof qt === 'object' && qt) { delete qt.webChannelTransport; } } catch (e) {}\n"
            "    return;\n}\n")
            .arg(origins.scriptCondition());
    for (const char* path : {":/qtwebchannel/qwebchannel.js", ":/cefclient/client_bridge.js"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly)) {
            source += QString::fromUtf8(file.readAll());
            source += QLatin1Char('\n');
        }
    }
    return source + QStringLiteral("})();\n");
}

void ClientApp::initialize(QWebEngineProfile* profile, const EngineSettings& settings,
                           ClientHandler* handler) {
    profile->setCachePath(settings.cachePath);
    profile->setPersistentStoragePath(settings.storagePath.isEmpty() ? settings.cachePath + "/Storage"
                                                                     : settings.storagePath);
    profile->setPersistentCookiesPolicy(settings.persistentSessionCookies
                                            ? QWebEngineProfile::ForcePersistentCookies
                                            : QWebEngineProfile::AllowPersistentCookies);
    profile->setHttpUserAgent(settings.userAgent);
    profile->setHttpAcceptLanguage(settings.locale);

    QWebEngineScript script;
    script.setName(QStringLiteral("kestrafon-bridge"));
    script.setSourceCode(bridgeScriptSource(handler ? handler->bridgeOrigins() : BridgeOrigins()));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    // The bridge is the main frame's: a frame inside our page may show anybody's content.
    script.setRunsOnSubFrames(false);
    if (profile->scripts()->findScripts(script.name()).isEmpty()) {
        profile->scripts()->insert(script);
    }

    if (handler) {
        schemeHandler_ =
            new LocalSchemeHandler(handler->themePack(), LocalSchemeHandler::Mode::WebClientPage, handler);
        settingsHandler_ =
            new LocalSchemeHandler(handler->themePack(), LocalSchemeHandler::Mode::Settings, handler);
        interceptor_ = new LocalRequestInterceptor(handler->themePack(), handler);
        profile->removeUrlScheme("kestrafon");
        profile->removeUrlScheme("settings");
        profile->installUrlSchemeHandler("kestrafon", schemeHandler_);
        profile->installUrlSchemeHandler("settings", settingsHandler_);
        profile->setUrlRequestInterceptor(interceptor_);
        QObject::connect(profile, &QWebEngineProfile::downloadRequested, handler,
                         &ClientHandler::onDownloadRequested);
    }
}
