#include "ui/SystemTray.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

CSystemTray::CSystemTray(QWidget* target, QMenu* menu, QObject* parent)
    : QObject(parent), m_target(target), m_icon(new QSystemTrayIcon(target->windowIcon(), this)) {
    m_icon->setToolTip("Tarvona FTP Server");
    m_icon->setContextMenu(menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
                    ShowTarget(m_target);
            });
}

bool CSystemTray::Available() { return QSystemTrayIcon::isSystemTrayAvailable(); }

bool CSystemTray::Create() {
    if (!Available()) return false;
    m_icon->show();
    m_added = true;
    return true;
}

void CSystemTray::ShowTarget(QWidget* target) {
    target->showNormal();
    target->raise();
    target->activateWindow();
}
