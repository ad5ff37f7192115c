#pragma once
// A secondary frameless window that shows a second page in its own browser view (the popup
// views that the page opens with "OpenView"). When it becomes the active window, its view
// becomes the one the page requests are routed to.
#include <QString>
#include <QWidget>

class QCefWebView;

class PopWidget : public QWidget {
    Q_OBJECT
public:
    PopWidget(const QString& url, int width, int height, QWidget* parent = nullptr);
    ~PopWidget() override;

    QString url() const { return url_; }
    QCefWebView* view() const { return view_; }

signals:
    // Emitted on every activation of this window, after it made its view current.
    void activated(PopWidget* popup);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString url_;
    int width_;
    int height_;
    QCefWebView* view_ = nullptr;
};
