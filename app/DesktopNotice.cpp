#include "app/DesktopNotice.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QIcon>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVariantMap>
#include <QWidget>

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
// The action a click on the notification itself invokes.
constexpr const char* kDefaultAction = "default";
constexpr const char* kIconName = "example.folianta.folianta";
constexpr int kTitlesTold = 3;
// The service's own choice of how long a notification stays.
constexpr int kServiceTimeout = -1;

}  // namespace

TDesktopNotice::TDesktopNotice(QWidget* window) : QObject(window), window(window) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        tray = new QSystemTrayIcon(
            QIcon::fromTheme(kIconName, window->style()->standardIcon(QStyle::SP_ComputerIcon)),
            this);
        tray->setToolTip(QStringLiteral("Folianta"));
        connect(tray, &QSystemTrayIcon::activated, this, [this] { RaiseWindow(); });
        tray->show();
    }
}

void TDesktopNotice::TellNewWorks(int count, const QStringList& titles) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // The bus is first asked for when there is something to tell, so that a run that tells
    // nothing never starts a bus.
    if (!listening) {
        listening = bus.connect(kService, kPath, kInterface, "ActionInvoked", this,
                                SLOT(ActionInvoked(uint, QString)));
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
    call << QStringLiteral("Folianta") << uint(0) << QString::fromUtf8(kIconName)
         << QStringLiteral("Folianta: %1 новых работ").arg(count)
         << QStringList(titles.mid(0, kTitlesTold)).join(u'\n')
         << QStringList{QString::fromUtf8(kDefaultAction), QStringLiteral("Показать")}
         << QVariantMap() << kServiceTimeout;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                const QDBusPendingReply<uint> reply = *done;
                if (reply.isValid()) {
                    shown = reply.value();
                }
                done->deleteLater();
            });
}

void TDesktopNotice::SetStatus(const QString& text) {
    if (tray) {
        tray->setToolTip(text);
    }
}

void TDesktopNotice::ActionInvoked(uint id, const QString& action) {
    if (id != 0 && id == shown && action == QLatin1String(kDefaultAction)) {
        RaiseWindow();
    }
}

void TDesktopNotice::RaiseWindow() {
    window->showNormal();
    window->raise();
    window->activateWindow();
}
