#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

namespace kelo {

// Kelo runs once per session. The first process owns the bus name wex.dorvel.Kelo and serves
// org.freedesktop.Application on /wex/dorvel/Kelo; a later start finds the name taken, asks the
// running Kelo to activate (show its window) and leaves. Without a session bus Kelo runs alone.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    static constexpr const char *serviceName = "wex.dorvel.Kelo";
    static constexpr const char *objectPath = "/wex/dorvel/Kelo";

    enum class Role {
        // This process is Kelo: it owns the name (or there is no bus to own it on).
        primary,
        // Another process is Kelo and has been asked to activate: this one should exit.
        secondary,
    };

    explicit SingleInstance(QDBusConnection bus = QDBusConnection::sessionBus(),
                            QObject *parent = nullptr);
    ~SingleInstance() override;

    // Claims the name, or hands over to the Kelo that has it.
    Role claim();

    // org.freedesktop.Application, served through the generated adaptor: every way the desktop
    // may open Kelo shows its window.
    void Activate(const QVariantMap &) { emit activated(); }
    void Open(const QStringList &, const QVariantMap &) { emit activated(); }
    void ActivateAction(const QString &, const QVariantList &, const QVariantMap &) {
        emit activated();
    }

signals:
    // Another start (or the desktop) asked this Kelo to come forward.
    void activated();

private:
    QDBusConnection m_bus;
    bool m_registered = false;
};

} // namespace kelo
