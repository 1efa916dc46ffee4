#include "app/StatusNotifierHostWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace {

const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

StatusNotifierHostWatch::StatusNotifierHostWatch(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return; // no session bus: no panel of this kind can reach us
    m_watcher.setConnection(bus);
    m_watcher.addWatchedService(kWatcherService);
    m_watcher.setWatchMode(QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration);
    connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &StatusNotifierHostWatch::check);
    // A panel that went away must be announced again when it is back, as
    // its new watcher knows nothing of the items the old one had.
    connect(&m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { m_present = false; });
    // The watcher usually starts before its host: the host's arrival is
    // what makes the panel usable. Matched from any sender: a host that
    // registers at once with a new watcher announces itself before the bus
    // has told us who owns the watcher's name, and a match on that name
    // would drop the announcement.
    bus.connect(QString(), kWatcherPath, kWatcherService, QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(check()));
    check();
}

void StatusNotifierHostWatch::check()
{
    // Asked without waiting: a watcher that hangs must not hang the program.
    QDBusMessage ask = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath,
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    ask.setArguments({kWatcherService, QStringLiteral("IsStatusNotifierHostRegistered")});
    auto *pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(ask), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        const bool present = !reply.isError() && reply.value().variant().toBool();
        if (present == m_present)
            return;
        m_present = present;
        if (present)
            emit hostAppeared();
    });
}
