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
    };

    explicit StatusNotifierWatcher(QDBusConnection bus);
    ~StatusNotifierWatcher() override;

    // Takes the watcher's name and object on the bus; false when either is taken.
    bool start();

    const std::vector<Item> &items() const { return m_items; }

    bool isStatusNotifierHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    QStringList registeredStatusNotifierItems() const;

public slots:
    // `service` is a bus name (the item is at /StatusNotifierItem) or an object path of the
    // caller, as Ayatana and KDE items send it.
    void RegisterStatusNotifierItem(const QString &service, const QDBusMessage &message);
    void RegisterStatusNotifierHost(const QString &service);

signals:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    void ownerGone(const QString &service);

    QDBusConnection m_bus;
    QDBusServiceWatcher m_owners;
    std::vector<Item> m_items;
    bool m_started = false;
};
