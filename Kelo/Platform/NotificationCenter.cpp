#include "NotificationCenter.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace kelo {

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString desktopEntry = QStringLiteral("wex.dorvel.Kelo");
const QString defaultAction = QStringLiteral("default");

QDBusMessage methodCall(const QString &method) {
    return QDBusMessage::createMethodCall(service, path, interface, method);
}

// Servers that read markup would swallow a '<' or turn "&amp;" into "&".
QString escapedForMarkup(QString text) {
    text.replace(u'&', QStringLiteral("&amp;"));
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'>', QStringLiteral("&gt;"));
    return text;
}

} // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection bus, QObject *parent)
    : NotificationCenter(parent), m_bus(std::move(bus)) {
    m_bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)));
}

void FreedesktopNotificationCenter::checkServer(ServerAnswer answer) {
    auto *watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(methodCall(QStringLiteral("GetServerInformation"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [answer = std::move(answer)](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                if (call->isError())
                    answer(false, call->error().message());
                else
                    answer(true, QString());
            });
}

void FreedesktopNotificationCenter::post(const Notification &notification, PostAnswer answer) {
    m_waiting.emplace_back(notification, std::move(answer));
    sendNext();
}

void FreedesktopNotificationCenter::sendNext() {
    if (m_posting || m_waiting.empty())
        return;
    m_posting = true;
    if (!m_bodyMarkup) {
        askForCapabilities();
        return;
    }
    auto [notification, answer] = std::move(m_waiting.front());
    m_waiting.pop_front();

    QDBusMessage notify = methodCall(QStringLiteral("Notify"));
    const QVariantMap hints{
        {QStringLiteral("sound-name"), QVariant(QStringLiteral("message-new-instant"))},
        {QStringLiteral("desktop-entry"), QVariant(desktopEntry)}};
    notify << QStringLiteral("Kelo") << m_current << desktopEntry << notification.title
           << (*m_bodyMarkup ? escapedForMarkup(notification.body) : notification.body)
           << QStringList{defaultAction, tr("Openen")} << hints << -1;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(notify), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, answer = std::move(answer)](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<uint> reply = *call;
                if (!reply.isError())
                    m_current = reply.value();
                m_posting = false;
                sendNext();
                // Last, as the answer may post again or even delete this center.
                if (reply.isError())
                    answer(reply.error().message());
                else
                    answer(std::nullopt);
            });
}

void FreedesktopNotificationCenter::askForCapabilities() {
    auto *watcher = new QDBusPendingCallWatcher(
        m_bus.asyncCall(methodCall(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                const QDBusPendingReply<QStringList> reply = *call;
                m_posting = false;
                if (reply.isError()) {
                    // No server to notify; the next post asks again.
                    auto answer = std::move(m_waiting.front().second);
                    m_waiting.pop_front();
                    sendNext();
                    answer(reply.error().message());
                    return;
                }
                m_bodyMarkup = reply.value().contains(QStringLiteral("body-markup"));
                sendNext();
            });
}

void FreedesktopNotificationCenter::actionInvoked(uint id, const QString &action) {
    if (id != 0 && id == m_current && action == defaultAction)
        emit clicked();
}

} // namespace kelo
