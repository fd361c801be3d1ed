#include "TrayAvailability.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace kelo {
namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");

} // namespace

TrayAvailability::TrayAvailability(QDBusConnection bus, OtherTray otherTray, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)), m_otherTray(std::move(otherTray)),
      m_watcher(watcherService, m_bus, QDBusServiceWatcher::WatchForOwnerChange) {
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            &TrayAvailability::refresh);
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"})
        m_bus.connect(QString(), watcherPath, watcherService, QString::fromLatin1(signal), this,
                      SLOT(refresh()));
    refresh();
}

void TrayAvailability::refresh() {
    const quint64 asked = ++m_asked;
    if (!m_bus.isConnected()) {
        settle(asked, false);
        return;
    }
    auto get = QDBusMessage::createMethodCall(watcherService, watcherPath,
                                              QStringLiteral("org.freedesktop.DBus.Properties"),
                                              QStringLiteral("Get"));
    get << watcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    // Asking must not start a watcher that the desktop did not start.
    get.setAutoStartService(false);
    auto *call = new QDBusPendingCallWatcher(m_bus.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, asked](QDBusPendingCallWatcher *finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *finished;
                settle(asked, !reply.isError() && reply.value().variant().toBool());
            });
}

void TrayAvailability::settle(quint64 asked, bool hostRegistered) {
    if (asked != m_asked)
        return;
    const bool available = hostRegistered || (m_otherTray && m_otherTray());
    if (available == m_available)
        return;
    m_available = available;
    emit availableChanged(available);
}

} // namespace kelo
