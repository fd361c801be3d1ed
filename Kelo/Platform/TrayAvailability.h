#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>

#include <functional>

namespace kelo {

// Whether the desktop shows tray icons: a StatusNotifier host registered with
// org.kde.StatusNotifierWatcher on the session bus, or another tray that `otherTray` finds (an
// XEmbed tray under X11). Follows the watcher as it comes and goes and as hosts register with it;
// other trays are looked for at each check. GNOME as Debian ships it has neither.
class TrayAvailability : public QObject {
    Q_OBJECT

public:
    using OtherTray = std::function<bool()>;

    explicit TrayAvailability(QDBusConnection bus = QDBusConnection::sessionBus(),
                              OtherTray otherTray = {}, QObject *parent = nullptr);

    // As last heard; true until the first answer, so that no one is told of a missing tray
    // before it is known to be missing.
    bool available() const { return m_available; }

public slots:
    // Asks again; availableChanged tells the answer when it differs.
    void refresh();

signals:
    void availableChanged(bool available);

private:
    void settle(quint64 asked, bool hostRegistered);

    QDBusConnection m_bus;
    OtherTray m_otherTray;
    QDBusServiceWatcher m_watcher;
    bool m_available = true;
    // Answers come back in any order: only the latest question's counts.
    quint64 m_asked = 0;
};

} // namespace kelo
