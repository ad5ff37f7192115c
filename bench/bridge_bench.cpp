// Page → native → page round trip through the client's bridge (ClientRequest, the handler,
// the MessageEvent hop, an answer), against a bare web channel echo on a page of its own,
// measured in the same run, alternating, best of three each. Prints p50 and p99 in ms.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <algorithm>
#include <cstdio>

#include "cefclient/browser.h"
#include "cefclient/client_app.h"
#include "cefclient/client_handler.h"
#include "cefclient/qcef_web_view.h"
#include "cefclient/resource_pack_writer.h"
#include "cefclient/resource_request.h"

class BenchEcho : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE QString echo(const QString& text) { return text; }
};

namespace {

QVariant evalJs(QWebEnginePage* page, const QString& script) {
    bool done = false;
    QVariant result;
    page->runJavaScript(script, [&](const QVariant& v) {
        result = v;
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return result;
}

bool waitForFunction(QWebEnginePage* page) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (evalJs(page, "typeof window.startBench").toString() == "function")
            return true;
    }
    return false;
}

QVariantMap runMode(QWebEnginePage* page, const char* mode, int n) {
    evalJs(page, QString("startBench('%1', %2, 200); 1").arg(mode).arg(n));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const QVariant v = evalJs(page, "window.benchResult");
        if (v.isValid() && !v.isNull())
            return v.toMap();
    }
    return {};
}

void print(const char* name, const QVariantMap& r) {
    std::printf("%-18s n=%d p50_ms=%.3f p99_ms=%.3f\n", name, r.value("n").toInt(), r.value("p50").toDouble(),
                r.value("p99").toDouble());
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ClientApp::registerSchemes();
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(10, atoi(argv[1])) : 1000;

    QTemporaryDir dir;
    QString error;
    if (!writeResourcePack(QStringLiteral(KF_BENCH_PAGES), dir.path() + "/theme.pak", 5, false, &error)) {
        std::fprintf(stderr, "cannot build the bench pack: %s\n", qPrintable(error));
        return 1;
    }
    auto* handler = new ClientHandler(dir.path());
    kf::setClientHandler(handler);
    ClientApp clientApp;
    clientApp.initialize(QWebEngineProfile::defaultProfile(),
                         ClientApp::defaultSettings(QProcessEnvironment()), handler);

    // The client's path: a QCefWebView whose requests are answered at once on the GUI thread.
    QWidget window;
    window.resize(400, 300);
    auto* view = new QCefWebView(&window);
    view->resize(400, 300);
    QObject::connect(view, &QCefWebView::jsMessage, view,
                     [](const QString& name, const QueryCallbackPtr& cb) { cb->Success(name); });
    window.show();
    view->load(QUrl(QString::fromLatin1(resource_request::kWebClientPrefix) + "bench/roundtrip.html"));

    // The baseline: the same page on a plain profile with only the web channel client.
    QWebEngineProfile bareProfile;
    QWebEngineScript channelScript;
    QFile channelJs(":/qtwebchannel/qwebchannel.js");
    channelJs.open(QIODevice::ReadOnly);
    channelScript.setSourceCode(QString::fromUtf8(channelJs.readAll()));
    channelScript.setInjectionPoint(QWebEngineScript::DocumentCreation);
    channelScript.setWorldId(QWebEngineScript::MainWorld);
    bareProfile.scripts()->insert(channelScript);
    auto* barePage = new QWebEnginePage(&bareProfile);
    QWebChannel bareChannel;
    BenchEcho echo;
    bareChannel.registerObject("benchEcho", &echo);
    barePage->setWebChannel(&bareChannel);
    QFile html(QStringLiteral(KF_BENCH_PAGES) + "/bench/roundtrip.html");
    html.open(QIODevice::ReadOnly);
    barePage->setHtml(QString::fromUtf8(html.readAll()), QUrl("https://bench.invalid/"));

    QElapsedTimer t;
    t.start();
    while (!view->browser() && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!view->browser() || !waitForFunction(view->browser()->page()) || !waitForFunction(barePage)) {
        std::fprintf(stderr, "bench pages did not load\n");
        return 1;
    }
    QVariantMap bestClient, bestBare;
    auto better = [](const QVariantMap& a, const QVariantMap& b) {
        return a.isEmpty() || (!b.isEmpty() && b.value("p50").toDouble() < a.value("p50").toDouble()) ? b : a;
    };
    for (int round = 0; round < 3; ++round) {
        bestBare = better(bestBare, runMode(barePage, "bare", n));
        bestClient = better(bestClient, runMode(view->browser()->page(), "client", n));
    }
    if (bestClient.isEmpty() || bestBare.isEmpty()) {
        std::fprintf(stderr, "round trip bench did not finish\n");
        return 1;
    }
    print("roundtrip_client", bestClient);
    print("roundtrip_bare", bestBare);
    std::printf("roundtrip_ratio_p50 %.2f (goal <= 1.20)\n",
                bestClient.value("p50").toDouble() / std::max(1e-6, bestBare.value("p50").toDouble()));
    delete barePage;
    delete view;
    kf::setClientHandler(nullptr);
    delete handler;
    return 0;
}

#include "bridge_bench.moc"
