#pragma once
// The browser engine's application side: scheme registration (before the toolkit application
// exists), the engine settings mapped onto the default profile, the injected page-interface
// script, and the handlers that serve the local pages.
#include <QColor>
#include <QProcessEnvironment>
#include <QString>

class BridgeOrigins;
class ClientHandler;
class QWebEngineProfile;
class QWebEngineUrlRequestInterceptor;
class QWebEngineUrlSchemeHandler;

struct EngineSettings {
    QString cachePath;  // temporary folder + "/Kestrafon"; the client sets its private runtime root's "cache"
    // What pages keep between starts (their local storage: the user's named profiles). It lives
    // in the user's data folder, not under the cache, so a reboot that empties the temporary
    // folder or the cache removal after a client update loses none of it.
    QString storagePath;  // $XDG_DATA_HOME/kestrafon/storage, else ~/.local/share/kestrafon/storage
    QString userAgent = QStringLiteral("KestrafonClient");
    QString productVersion = QStringLiteral("2.0");
    QString locale;  // "en" or "zh"
    QString logFile = QStringLiteral("kestrafon.log");
    QColor background = QColor(0x22, 0x25, 0x29);
    bool persistentSessionCookies = true;
};

class ClientApp {
public:
    // The custom schemes of the client; must run before the QApplication is created.
    static void registerSchemes();

    // English of any region selects "en"; Chinese (PRC) and every other language "zh". The UI
    // language is the first of LANGUAGE, LC_ALL, LC_MESSAGES and LANG that is set.
    static QString localeFromEnvironment(const QProcessEnvironment& env);

    static EngineSettings defaultSettings(const QProcessEnvironment& env);

    // Applies the settings to the profile, installs the page-interface script and the
    // local-resource handlers of the given browser handler.
    void initialize(QWebEngineProfile* profile, const EngineSettings& settings, ClientHandler* handler);

    // The script injected into every main frame: the web channel client plus the page
    // interface, both defined only in documents `origins` offers the bridge to.
    static QString bridgeScriptSource(const BridgeOrigins& origins);

private:
    QWebEngineUrlSchemeHandler* schemeHandler_ = nullptr;
    QWebEngineUrlSchemeHandler* settingsHandler_ = nullptr;
    QWebEngineUrlRequestInterceptor* interceptor_ = nullptr;
};
