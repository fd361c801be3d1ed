#include "StatusNotifierWatcher.h"

#include <algorithm>

namespace {

const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString itemPath = QStringLiteral("/StatusNotifierItem");

QString itemName(const StatusNotifierWatcher::Item &item) {
    return item.service + item.path;
}

} // namespace

StatusNotifierWatcher::StatusNotifierWatcher(QDBusConnection bus)
    : m_bus(std::move(bus)),
      m_owners(QString(), m_bus, QDBusServiceWatcher::WatchForUnregistration) {
    connect(&m_owners, &QDBusServiceWatcher::serviceUnregistered, this,
            &StatusNotifierWatcher::ownerGone);
}

StatusNotifierWatcher::~StatusNotifierWatcher() {
    if (!m_started)
        return;
    m_bus.unregisterObject(watcherPath);
    m_bus.unregisterService(watcherService);
}

bool StatusNotifierWatcher::start() {
    if (!m_bus.registerObject(watcherPath, this,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                  QDBusConnection::ExportAllProperties))
        return false;
    if (!m_bus.registerService(watcherService)) {
        m_bus.unregisterObject(watcherPath);
        return false;
    }
    m_started = true;
    return true;
}

QStringList StatusNotifierWatcher::registeredStatusNotifierItems() const {
    QStringList names;
    for (const Item &item : m_items)
        names.append(itemName(item));
    return names;
}

void StatusNotifierWatcher::RegisterStatusNotifierItem(const QString &service,
                                                       const QDBusMessage &message) {
    Item item =
        service.startsWith(u'/') ? Item{message.service(), service} : Item{service, itemPath};
    if (item.service.isEmpty())
        item.service = message.service();
    const auto same = [&](const Item &known) {
        return known.service == item.service && known.path == item.path;
    };
    if (std::any_of(m_items.begin(), m_items.end(), same))
        return;
    m_items.push_back(item);
    m_owners.addWatchedService(item.service);
    emit StatusNotifierItemRegistered(itemName(item));
}

void StatusNotifierWatcher::RegisterStatusNotifierHost(const QString &service) {
    Q_UNUSED(service);
    emit StatusNotifierHostRegistered();
}

void StatusNotifierWatcher::ownerGone(const QString &service) {
    m_owners.removeWatchedService(service);
    for (auto it = m_items.begin(); it != m_items.end();) {
        if (it->service != service) {
            ++it;
            continue;
        }
        const QString name = itemName(*it);
        it = m_items.erase(it);
        emit StatusNotifierItemUnregistered(name);
    }
}
