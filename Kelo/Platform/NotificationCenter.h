#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>
#include <optional>
#include <utility>

class NotificationsProxy;

namespace kelo {

// Where Kelo's notifications go. One notification at a time: each new one takes the place of
// the last (the weekly reminder and the test notification share that place).
class NotificationCenter : public QObject {
    Q_OBJECT

public:
    struct Notification {
        QString title;
        QString body;
    };
    // Whether a notification server answers on the bus; `error` says why not.
    using ServerAnswer = std::function<void(bool allowed, const QString &error)>;
    // None when the notification was handed over; otherwise what went wrong.
    using PostAnswer = std::function<void(const std::optional<QString> &error)>;

    using QObject::QObject;
    virtual void checkServer(ServerAnswer answer) = 0;
    virtual void post(const Notification &notification, PostAnswer answer) = 0;

signals:
    // The user clicked one of Kelo's notifications.
    void clicked();
};

// org.freedesktop.Notifications on the session bus: app name "Kelo", the default action (a
// click on the body), the sound hint and the desktop entry; each notification replaces the
// previous one. A notification server that answers counts as permission.
class FreedesktopNotificationCenter : public NotificationCenter {
    Q_OBJECT

public:
    explicit FreedesktopNotificationCenter(QDBusConnection bus = QDBusConnection::sessionBus(),
                                           QObject *parent = nullptr);
    void checkServer(ServerAnswer answer) override;
    void post(const Notification &notification, PostAnswer answer) override;

private:
    void sendNext();
    void askForCapabilities();

    // Generated from dbus/org.freedesktop.Notifications.xml; a child of this center.
    NotificationsProxy *m_server;
    // The server's id of Kelo's current notification, 0 for none. It is kept after the server
    // closes the notification: ids are not reused, and a click on a notification the server shows
    // again from its history still counts.
    uint m_current = 0;
    // Posts go out one at a time, so that each carries the id its predecessor got.
    std::deque<std::pair<Notification, PostAnswer>> m_waiting;
    bool m_posting = false;
    // Whether the server reads markup in the body; unknown until the first post asks.
    std::optional<bool> m_bodyMarkup;
};

} // namespace kelo
