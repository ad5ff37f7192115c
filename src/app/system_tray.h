#pragma once
// The notification-area icon: brings the window back and ends the client. Its context menu has
// "打开主界面" (open the main window) and "退出客户端" (quit the client).
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

class QAction;
class QWidget;

class SystemTray : public QSystemTrayIcon {
    Q_OBJECT
public:
    // Builds the icon and its menu and makes it visible. The menu's parent is `parent`.
    explicit SystemTray(QWidget* parent);
    ~SystemTray() override;

    QMenu* menu() const { return menu_; }
    QAction* openAction() const { return openAction_; }
    QAction* quitAction() const { return quitAction_; }

signals:
    void showWidget();
    void closeApp();

public slots:
    void doshowWidget();
    void docloseApp();

private:
    // The menu belongs to the parent widget too, which may delete it first at exit.
    QPointer<QMenu> menu_;
    QAction* openAction_ = nullptr;
    QAction* quitAction_ = nullptr;
};
