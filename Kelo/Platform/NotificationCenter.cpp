#include "NotificationCenter.h"

#include "NotificationsProxy.h"

#include <QDBusPendingCallWatcher>
#include <QStringList>
#include <QVariantMap>

namespace kelo {

namespace {

const QString desktopEntry = QStringLiteral("wex.dorvel.Kelo");
const QString defaultAction = QStringLiteral("default");

// Servers that read markup would swallow a '<' or turn "&amp;" into "&".
QString escapedForMarkup(QString text) {
    text.replace(u'&', QStringLiteral("&amp;"));
    text.replace(u'<', QStringLiteral("&lt;"));
    text.replace(u'>', QStringLiteral("&gt;"));
    return text;
}

// Calls `then` with the reply once it is in; the call never waits for the server.
template <typename Reply, typename Then>
void whenAnswered(QObject *context, Reply call, Then then) {
    auto *watcher = new QDBusPendingCallWatcher(call, context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [then = std::move(then)](QDBusPendingCallWatcher *finished) {
                         finished->deleteLater();
                         then(Reply(*finished));
                     });
}

} // namespace

FreedesktopNotificationCenter::FreedesktopNotificationCenter(QDBusConnection bus, QObject *parent)
    : NotificationCenter(parent),
      m_server(new NotificationsProxy(QStringLiteral("org.freedesktop.Notifications"),
                                      QStringLiteral("/org/freedesktop/Notifications"), bus,
                                      this)) {
    connect(m_server, &NotificationsProxy::ActionInvoked, this,
            [this](uint id, const QString &action) {
                if (id != 0 && id == m_current && action == defaultAction)
                    emit clicked();
            });
}

void FreedesktopNotificationCenter::checkServer(ServerAnswer answer) {
    whenAnswered(this, m_server->GetServerInformation(),
                 [answer = std::move(answer)](const QDBusPendingReply<QString> &reply) {
                     answer(!reply.isError(),
                            reply.isError() ? reply.error().message() : QString());
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

    const QVariantMap hints{
        {QStringLiteral("sound-name"), QVariant(QStringLiteral("message-new-instant"))},
        {QStringLiteral("desktop-entry"), QVariant(desktopEntry)}};
    const auto call =
        m_server->Notify(QStringLiteral("Kelo"), m_current, desktopEntry, notification.title,
                         *m_bodyMarkup ? escapedForMarkup(notification.body) : notification.body,
                         QStringList{defaultAction, tr("Openen")}, hints, -1);
    whenAnswered(this, call,
                 [this, answer = std::move(answer)](const QDBusPendingReply<uint> &reply) {
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
    whenAnswered(this, m_server->GetCapabilities(),
                 [this](const QDBusPendingReply<QStringList> &reply) {
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

} // namespace kelo
