#include "app/system_tray.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QWidget>

#include "app/core_resources.h"

SystemTray::SystemTray(QWidget* parent) : QSystemTrayIcon(parent) {
    initCoreResources();
    setIcon(QIcon(QStringLiteral(":/image/tray")));
    menu_ = new QMenu(parent);
    setContextMenu(menu_);
    setVisible(true);
    openAction_ = new QAction(QStringLiteral("打开主界面"), this);
    quitAction_ = new QAction(QStringLiteral("退出客户端"), this);
    menu_->addAction(openAction_);
    menu_->addAction(quitAction_);
    menu_->addSeparator();
    setContextMenu(menu_);
    connect(openAction_, &QAction::triggered, this, &SystemTray::doshowWidget);
    connect(quitAction_, &QAction::triggered, this, &SystemTray::docloseApp);
}

SystemTray::~SystemTray() {
    setContextMenu(nullptr);
    delete menu_.data();
    delete openAction_;
    delete quitAction_;
}

void SystemTray::doshowWidget() {
    emit showWidget();
}

void SystemTray::docloseApp() {
    emit closeApp();
}
