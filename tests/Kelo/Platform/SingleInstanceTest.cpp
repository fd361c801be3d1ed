#include "SingleInstance.h"

#include <QDBusConnection>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace kelo;

// Runs on a private session bus (the test is started by dbus-run-session).
TEST(SingleInstance, ASecondClaimActivatesTheFirst) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    SingleInstance first(QDBusConnection::sessionBus());
    ASSERT_EQ(first.claim(), SingleInstance::Role::primary);
    QSignalSpy activated(&first, &SingleInstance::activated);

    // Another process, as far as the bus can tell: a connection of its own.
    const auto other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second");
    {
        SingleInstance second(other);
        EXPECT_EQ(second.claim(), SingleInstance::Role::secondary);
    }
    EXPECT_EQ(activated.count(), 1);
    QDBusConnection::disconnectFromBus("second");
}

TEST(SingleInstance, WithoutABusKeloRunsAlone) {
    const auto nowhere = QDBusConnection::connectToBus(
        QStringLiteral("unix:path=/nonexistent/kelo-test-bus"), "nowhere");
    SingleInstance alone(nowhere);
    EXPECT_EQ(alone.claim(), SingleInstance::Role::primary);
    QDBusConnection::disconnectFromBus("nowhere");
}
