#include "SingleInstance.h"

#include "ApplicationAdaptor.h"

#include <QDBusMessage>

namespace kelo {

SingleInstance::SingleInstance(QDBusConnection bus, QObject *parent)
    : QObject(parent), m_bus(std::move(bus)) {
}

SingleInstance::~SingleInstance() {
    if (m_registered) {
        m_bus.unregisterObject(QLatin1String(objectPath));
        m_bus.unregisterService(QLatin1String(serviceName));
    }
}

SingleInstance::Role SingleInstance::claim() {
    if (!m_bus.isConnected())
        return Role::primary;
    new ApplicationAdaptor(this);
    // The object first, so that an activation arriving the moment the name is ours finds it.
    m_bus.registerObject(QLatin1String(objectPath), this);
    if (m_bus.registerService(QLatin1String(serviceName))) {
        m_registered = true;
        return Role::primary;
    }
    m_bus.unregisterObject(QLatin1String(objectPath));
    QDBusMessage activate = QDBusMessage::createMethodCall(
        QLatin1String(serviceName), QLatin1String(objectPath),
        QStringLiteral("org.freedesktop.Application"), QStringLiteral("Activate"));
    activate << QVariantMap{};
    // Events go on meanwhile: the running Kelo may be this very process on another connection.
    const QDBusMessage reply = m_bus.call(activate, QDBus::BlockWithGui, 5000);
    // If the running Kelo did not answer, it is stuck or going away: this one carries on alone.
    return reply.type() == QDBusMessage::ReplyMessage ? Role::secondary : Role::primary;
}

} // namespace kelo
