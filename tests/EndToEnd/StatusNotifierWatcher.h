#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>

#include <algorithm>
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
        bool operator==(const Item &) const = default;
    };

    explicit StatusNotifierWatcher(QDBusConnection bus)
        : m_bus(std::move(bus)),
          m_owners(QString(), m_bus, QDBusServiceWatcher::WatchForUnregistration) {
        // An item leaves the tray with the bus name that owns it.
        connect(&m_owners, &QDBusServiceWatcher::serviceUnregistered, this,
                [this](const QString &owner) {
                    std::erase_if(m_items, [&](const Item &item) { return item.service == owner; });
                });
    }

    // Takes the watcher's object and name on the bus; false when either is taken.
    bool start() {
        return m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                    QDBusConnection::ExportAllSlots |
                                        QDBusConnection::ExportAllProperties) &&
               m_bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    }
    const std::vector<Item> &items() const { return m_items; }
    bool hostRegistered() const { return true; }

public slots:
    // `service` is a bus name (the item is at /StatusNotifierItem) or an object path of the
    // caller, as Ayatana and KDE items send it.
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message) {
        const bool isPath = service.startsWith(u'/');
        const Item item{isPath ? message.service() : service,
                        isPath ? service : QStringLiteral("/StatusNotifierItem")};
        if (std::find(m_items.begin(), m_items.end(), item) != m_items.end())
            return;
        m_items.push_back(item);
        m_owners.addWatchedService(item.service);
    }

private:
    QDBusConnection m_bus;
    QDBusServiceWatcher m_owners;
    std::vector<Item> m_items;
};
