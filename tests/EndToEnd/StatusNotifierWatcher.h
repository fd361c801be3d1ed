#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <vector>

// A tray host's half of the StatusNotifierItem protocol, as much as Qt needs to put its tray icon
// on the bus: org.kde.StatusNotifierWatcher at /StatusNotifierWatcher, with a host registered.
class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    // Where an item lives: the bus name that owns it and its object path.
    struct Item {
        QString service, path;
    };

    explicit StatusNotifierWatcher(QDBusConnection bus) : m_bus(std::move(bus)) {}

    // Takes the watcher's object and name on the bus; false when either is taken.
    bool start() {
        return m_bus.registerObject("/StatusNotifierWatcher", this,
                                    QDBusConnection::ExportAllSlots |
                                        QDBusConnection::ExportAllProperties) &&
               m_bus.registerService("org.kde.StatusNotifierWatcher");
    }
    const std::vector<Item> &items() const { return m_items; }
    bool hostRegistered() const { return true; }

public slots:
    // `service` is a bus name (the item is at /StatusNotifierItem) or an object path of the
    // caller, as Qt sends it.
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message) {
        const bool isPath = service.startsWith(u'/');
        m_items.push_back({isPath ? message.service() : service,
                           isPath ? service : QStringLiteral("/StatusNotifierItem")});
    }

private:
    QDBusConnection m_bus;
    std::vector<Item> m_items;
};
