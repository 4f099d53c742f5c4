#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QSystemTrayIcon;
class QWidget;

// Tells the user what the checks found while the window may be hidden: a notification through
// the desktop's notification service on the session bus, whose activation raises the window,
// and, where the desktop has a tray, an icon whose tooltip tells the unseen works. Without a
// service or a tray nothing is shown and nothing fails; no call waits on the bus.
class TDesktopNotice : public QObject {
    Q_OBJECT

public:
    explicit TDesktopNotice(QWidget* window);

    // "Folianta: N новых работ" with the first three titles, one a line.
    void TellNewWorks(int count, const QStringList& titles);
    // The tray icon's tooltip.
    void SetStatus(const QString& text);

private Q_SLOTS:
    void ActionInvoked(uint id, const QString& action);

private:
    void RaiseWindow();

    QWidget* window;
    QSystemTrayIcon* tray = nullptr;
    // The id of the last notification shown; 0 while none was.
    uint shown = 0;
    bool listening = false;
};
