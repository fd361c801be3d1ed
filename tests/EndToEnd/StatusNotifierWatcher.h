#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QStringList>

#include <vector>

// A tray host's half of the StatusNotifierItem protocol, enough for Qt to put its tray icon on
// the bus: org.kde.StatusNotifierWatcher at /StatusNotifierWatcher, with a host registered.
class StatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isStatusNotifierHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredStatusNotifierItems)

public:
    // Where an item lives: the bus name that owns it and its object path.
    struct Item {
        QString service;
        QString path;
        QString name() const { return service + path; }
    };

    explicit StatusNotifierWatcher(QDBusConnection bus)
        : m_bus(std::move(bus)),
          m_owners(QString(), m_bus, QDBusServiceWatcher::WatchForUnregistration) {
        connect(&m_owners, &QDBusServiceWatcher::serviceUnregistered, this,
                &StatusNotifierWatcher::ownerGone);
    }
    ~StatusNotifierWatcher() override {
        if (m_started) {
            m_bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
            m_bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        }
    }

    // Takes the watcher's name and object on the bus; false when either is taken.
    bool start() {
        if (!m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                                  QDBusConnection::ExportAllSlots |
                                      QDBusConnection::ExportAllSignals |
                                      QDBusConnection::ExportAllProperties))
            return false;
        m_started = m_bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
        if (!m_started)
            m_bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
        return m_started;
    }

    const std::vector<Item> &items() const { return m_items; }

    bool isStatusNotifierHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredStatusNotifierItems() const {
        QStringList names;
        for (const Item &item : m_items)
            names.append(item.name());
        return names;
    }

public slots:
    // `service` is a bus name (the item is at /StatusNotifierItem) or an object path of the
    // caller, as Ayatana and KDE items send it.
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message) {
        const bool isPath = service.startsWith(u'/');
        Item item{isPath || service.isEmpty() ? message.service() : service,
                  isPath ? service : QStringLiteral("/StatusNotifierItem")};
        for (const Item &known : m_items)
            if (known.name() == item.name())
                return;
        m_items.push_back(item);
        m_owners.addWatchedService(item.service);
        emit StatusNotifierItemRegistered(item.name());
    }
    void RegisterStatusNotifierHost(const QString &) { emit StatusNotifierHostRegistered(); }

signals:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    void ownerGone(const QString &service) {
        m_owners.removeWatchedService(service);
        for (auto it = m_items.begin(); it != m_items.end();) {
            if (it->service != service) {
                ++it;
                continue;
            }
            const QString name = it->name();
            it = m_items.erase(it);
            emit StatusNotifierItemUnregistered(name);
        }
    }

    QDBusConnection m_bus;
    QDBusServiceWatcher m_owners;
    std::vector<Item> m_items;
    bool m_started = false;
};
