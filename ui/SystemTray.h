// The notification-area icon with its menu. Where the desktop has no notification area
// the icon is simply not shown, and the window does not hide into it (Available()).
#pragma once

#include <QObject>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

class CSystemTray : public QObject {
    Q_OBJECT
public:
    // `menu` is shown on a right click (not owned); a double click restores `target`.
    CSystemTray(QWidget* target, QMenu* menu, QObject* parent = nullptr);

    // True when the desktop shows notification-area icons.
    static bool Available();
    // Shows the icon; false (and nothing shown) when there is no notification area.
    bool Create();
    bool IsAdded() const { return m_added; }

    // Shows `target`, restored and in front.
    static void ShowTarget(QWidget* target);

private:
    QWidget* m_target;
    QSystemTrayIcon* m_icon;
    bool m_added = false;
};
