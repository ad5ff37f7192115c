// Baseline for the start-up and memory numbers: the smallest program that shows one page in
// the same browser engine. Prints "page load finished" when its page has loaded, and the page's
// console lines (the pages print "pages: interactive" once they can be used).
#include <QApplication>
#include <QFileInfo>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdio>

namespace {

class ConsolePage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                  const QString&) override {
        std::printf("console: %s\n", message.toUtf8().constData());
        std::fflush(stdout);
    }
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_bare_browser FILE\n");
        return 2;
    }
    QWebEngineView view;
    view.setPage(new ConsolePage(&view));
    view.resize(1160, 720);
    QObject::connect(&view, &QWebEngineView::loadFinished, [](bool ok) {
        std::printf("page load finished %d\n", ok ? 1 : 0);
        std::fflush(stdout);
    });
    view.load(QUrl::fromLocalFile(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath()));
    view.show();
    return app.exec();
}
