// The notification center against a notification server of the test's own on a private bus.
#include "NotificationCenter.h"

#include <QDBusConnection>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

namespace {

// The server lives on a connection of its own, as if it were another process.
class FakeServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit FakeServer(QStringList capabilities) : m_capabilities(std::move(capabilities)) {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                             QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals);
        if (!m_bus.registerService(QStringLiteral("org.freedesktop.Notifications")))
            throw std::runtime_error("cannot serve notifications");
    }
    ~FakeServer() override { QDBusConnection::disconnectFromBus(QStringLiteral("server")); }

    // Of each call: what the user sees of it, and the notification it replaces.
    QList<QStringList> calls;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int) {
        calls << QStringList{appName,
                             appIcon,
                             summary,
                             body,
                             actions.value(0),
                             hints.value("desktop-entry").toString(),
                             QString::number(replacesId)};
        return replacesId != 0 ? replacesId : 41;
    }
    QStringList GetCapabilities() { return m_capabilities; }
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion) {
        vendor = version = specVersion = QStringLiteral("1");
        return QStringLiteral("fake");
    }

signals:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("server"));
    QStringList m_capabilities;
};

// What the center answered to a post, or "no answer".
std::optional<QString> post(kelo::NotificationCenter &center, const QString &body) {
    std::optional<std::optional<QString>> answer;
    center.post({QStringLiteral("Tijd om op te ruimen"), body},
                [&answer](const std::optional<QString> &error) { answer = error; });
    return QTest::qWaitFor([&] { return answer.has_value(); }, 5000) ? *answer
                                                                     : QStringLiteral("no answer");
}

class NotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The fake server refuses to start where another one serves already.
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus";
    }
};

TEST_F(NotificationCenterTest, NotifyCarriesKelosNameIconActionAndHintsAndEscapes) {
    const QString body = QStringLiteral("Foto's & <video> (4,2 MB).");
    for (const bool markup : {false, true}) {
        FakeServer server(markup ? QStringList{"body", "body-markup"} : QStringList{"body"});
        kelo::FreedesktopNotificationCenter center;
        EXPECT_EQ(post(center, body), std::nullopt);
        // Servers that read markup get it escaped.
        EXPECT_EQ(server.calls.value(0),
                  QStringList({"Kelo", "wex.dorvel.Kelo", "Tijd om op te ruimen",
                               markup ? "Foto's &amp; &lt;video&gt; (4,2 MB)." : body, "default",
                               "wex.dorvel.Kelo", "0"}));
    }
}

// A notification server that answers counts as permission; without one, the check and posts
// fail with the reason, and a server that comes later is used by the next posts, which in quick
// succession each replace the one before.
TEST_F(NotificationCenterTest, WithoutAServerTheErrorAndWithOneTheNotification) {
    kelo::FreedesktopNotificationCenter center;
    const auto check = [&center] {
        std::optional<std::pair<bool, QString>> answer;
        center.checkServer([&](bool allowed, const QString &why) { answer.emplace(allowed, why); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
        return answer.value_or(std::pair(true, QStringLiteral("no answer")));
    };
    const auto refused = check();
    EXPECT_TRUE(!refused.first && !refused.second.isEmpty());
    EXPECT_FALSE(post(center, QStringLiteral("body")).value_or(QString()).isEmpty());
    FakeServer server({QStringLiteral("body")});
    EXPECT_EQ(check(), std::pair(true, QString()));
    int answers = 0;
    for (int i = 0; i < 3; ++i)
        center.post({QStringLiteral("Kelo"), QString::number(i)},
                    [&answers](const std::optional<QString> &error) { answers += !error; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers == 3; }, 5000));
    for (qsizetype i = 0; i < 3; ++i)
        EXPECT_EQ(server.calls.value(i).value(6), i == 0 ? "0" : "41");
}

TEST_F(NotificationCenterTest, OnlyTheDefaultActionOfKelosCurrentNotificationIsAClick) {
    FakeServer server({QStringLiteral("actions")});
    kelo::FreedesktopNotificationCenter center;
    QSignalSpy clicks(&center, &kelo::NotificationCenter::clicked);
    ASSERT_EQ(post(center, QStringLiteral("body")), std::nullopt);
    // Signals arrive in the order they were sent: once the last one is in, so are the others.
    // Closing does not forget the notification: a click on it when shown again still counts.
    emit server.ActionInvoked(42, QStringLiteral("default"));
    emit server.ActionInvoked(41, QStringLiteral("other"));
    emit server.NotificationClosed(41, 2);
    emit server.ActionInvoked(41, QStringLiteral("default"));
    ASSERT_TRUE(clicks.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(clicks.count(), 1);
}

} // namespace

#include "NotificationCenterTest.moc"
