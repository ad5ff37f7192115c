#pragma once
// The controller window: receives every page request, recognises it, and answers it.
#include <QRect>
#include <QString>
#include <QVariantMap>

#include "cefclient/query_callback.h"
#include "frame/ps_main_window.h"

class QCefWebView;

class Window : public PsMainWindow {
    Q_OBJECT
public:
    explicit Window(QWidget* parent = nullptr);
    ~Window() override;

    QCefWebView* mainView() const { return mainView_; }
    QString startPage() const { return startPage_; }

    // The theme name for a start page: everything after the 33-character prefix with every
    // "/<name>.html" removed ("black" for ".../local/black/client.html").
    static QString themeNameFor(const QString& startPage);

    // Answer helpers: deliver the text to the page's onSuccess / onFailure (code 0).
    static void answerSuccess(QueryCallbackPtr callback, const QString& text);
    static void answerFailure(QueryCallbackPtr callback, const QString& text);

public slots:
    void dofunc(QString funcname, QVariantMap args, QueryCallbackPtr callbackPtr);
    void quitApp();
    void onJsMessage(QString name, QueryCallbackPtr callbackPtr);

private:
    void maximizeHostWindow();
    void restoreHostWindow();

    QCefWebView* mainView_ = nullptr;
    QString startPage_;
    QRect savedNormalGeometry_;
};
