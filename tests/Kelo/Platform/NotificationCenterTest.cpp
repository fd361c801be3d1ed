// The notification center against a notification server of the test's own on a private bus.
#include "NotificationCenter.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

// Readable QStrings in GoogleTest's failure messages.
void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");
const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");

struct NotifyCall {
    QString appName;
    uint replacesId = 0;
    QString appIcon;
    QString summary;
    QString body;
    QStringList actions;
    QVariantMap hints;
    int expireTimeout = 0;
};

class FakeNotificationServer : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    FakeNotificationServer(QObject *parent, QStringList capabilities)
        : QDBusAbstractAdaptor(parent), m_capabilities(std::move(capabilities)) {}

    std::vector<NotifyCall> calls;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon,
                const QString &summary, const QString &body, const QStringList &actions,
                const QVariantMap &hints, int expireTimeout) {
        calls.push_back(
            {appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
        return replacesId != 0 ? replacesId : m_nextId++;
    }
    QStringList GetCapabilities() { return m_capabilities; }
    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion) {
        vendor = QStringLiteral("Kelo tests");
        version = QStringLiteral("1");
        specVersion = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }

signals:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QStringList m_capabilities;
    uint m_nextId = 41;
};

// The server's side lives on a connection of its own, as if it were another process.
class ServerOnBus {
public:
    explicit ServerOnBus(QStringList capabilities)
        : m_bus(
              QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("server"))),
          adaptor(new FakeNotificationServer(&m_object, std::move(capabilities))) {
        registered =
            m_bus.registerObject(objectPath, &m_object) && m_bus.registerService(serviceName);
    }
    ~ServerOnBus() {
        m_bus.unregisterService(serviceName);
        m_bus.unregisterObject(objectPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("server"));
    }

private:
    QDBusConnection m_bus;
    QObject m_object;

public:
    FakeNotificationServer *adaptor;
    bool registered = false;
};

struct Posted {
    bool answered = false;
    std::optional<QString> error = QStringLiteral("no answer");
};

Posted post(kelo::NotificationCenter &center, const QString &title, const QString &body) {
    Posted posted;
    center.post({title, body}, [&posted](const std::optional<QString> &error) {
        posted.answered = true;
        posted.error = error;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return posted.answered; }, 5000)) << "no answer";
    return posted;
}

class NotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus";
        ASSERT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(serviceName))
            << "a notification server already runs on this bus";
    }
};

TEST_F(NotificationCenterTest, NotifyCarriesKelosNameIconDefaultActionAndHintsAndReplaces) {
    ServerOnBus server({QStringLiteral("actions"), QStringLiteral("body")});
    ASSERT_TRUE(server.registered);
    kelo::FreedesktopNotificationCenter center;

    const Posted first = post(center, QStringLiteral("Tijd om op te ruimen"),
                              QStringLiteral("3 bestanden zijn over de datum (4,2 MB)."));
    EXPECT_EQ(first.error, std::nullopt);
    ASSERT_EQ(server.adaptor->calls.size(), 1u);
    const NotifyCall &call = server.adaptor->calls[0];
    EXPECT_EQ(call.appName, QStringLiteral("Kelo"));
    EXPECT_EQ(call.replacesId, 0u);
    EXPECT_EQ(call.appIcon, QStringLiteral("wex.dorvel.Kelo"));
    EXPECT_EQ(call.summary, QStringLiteral("Tijd om op te ruimen"));
    EXPECT_EQ(call.body, QStringLiteral("3 bestanden zijn over de datum (4,2 MB)."));
    ASSERT_EQ(call.actions.size(), 2);
    EXPECT_EQ(call.actions[0], QStringLiteral("default"));
    EXPECT_FALSE(call.actions[1].isEmpty());
    EXPECT_EQ(call.hints.value(QStringLiteral("sound-name")).toString(),
              QStringLiteral("message-new-instant"));
    EXPECT_EQ(call.hints.value(QStringLiteral("desktop-entry")).toString(),
              QStringLiteral("wex.dorvel.Kelo"));
    EXPECT_EQ(call.expireTimeout, -1);

    // Posts in quick succession each replace the one before.
    int answers = 0;
    for (int i = 0; i < 3; ++i)
        center.post({QStringLiteral("Kelo"), QString::number(i)},
                    [&answers](const std::optional<QString> &error) {
                        EXPECT_EQ(error, std::nullopt);
                        ++answers;
                    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers == 3; }, 5000));
    ASSERT_EQ(server.adaptor->calls.size(), 4u);
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(server.adaptor->calls[i].replacesId, 41u) << i;
    EXPECT_EQ(server.adaptor->calls[3].body, QStringLiteral("2"));
}

TEST_F(NotificationCenterTest, BodyIsEscapedOnlyForServersThatReadMarkup) {
    const QString body = QStringLiteral("Foto's & <video> van \"vakantie\"");
    for (const bool markup : {true, false}) {
        ServerOnBus server(markup ? QStringList{"body", "body-markup"} : QStringList{"body"});
        ASSERT_TRUE(server.registered);
        kelo::FreedesktopNotificationCenter center;
        post(center, QStringLiteral("Kelo"), body);
        ASSERT_EQ(server.adaptor->calls.size(), 1u);
        EXPECT_EQ(server.adaptor->calls[0].body,
                  markup ? QStringLiteral("Foto's &amp; &lt;video&gt; van \"vakantie\"") : body);
    }
}

// A notification server that answers counts as permission; without one, authorization and posts
// are refused with the reason, and a server that comes later is used by the next post.
TEST_F(NotificationCenterTest, WithoutAServerTheErrorAndWithOneTheNotification) {
    kelo::FreedesktopNotificationCenter center;
    const auto authorize = [&center] {
        std::optional<std::pair<bool, QString>> answer;
        center.checkServer([&](bool allowed, const QString &why) { answer.emplace(allowed, why); });
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.has_value(); }, 5000));
        return answer.value_or(std::pair(false, QStringLiteral("no answer")));
    };
    const auto refused = authorize();
    EXPECT_FALSE(refused.first);
    EXPECT_FALSE(refused.second.isEmpty());
    const Posted posted = post(center, QStringLiteral("Kelo"), QStringLiteral("body"));
    ASSERT_TRUE(posted.error.has_value());
    EXPECT_FALSE(posted.error->isEmpty());

    ServerOnBus server({QStringLiteral("body")});
    ASSERT_TRUE(server.registered);
    EXPECT_EQ(authorize(), std::pair(true, QString()));
    EXPECT_EQ(post(center, QStringLiteral("Kelo"), QStringLiteral("body")).error, std::nullopt);
    EXPECT_EQ(server.adaptor->calls.size(), 1u);
}

TEST_F(NotificationCenterTest, OnlyTheDefaultActionOfKelosCurrentNotificationIsAClick) {
    ServerOnBus server({QStringLiteral("actions")});
    ASSERT_TRUE(server.registered);
    kelo::FreedesktopNotificationCenter center;
    QSignalSpy clicks(&center, &kelo::NotificationCenter::clicked);
    ASSERT_EQ(post(center, QStringLiteral("Kelo"), QStringLiteral("body")).error, std::nullopt);

    // Signals arrive in the order they were sent: once the last one is in, so are the others.
    emit server.adaptor->ActionInvoked(42, QStringLiteral("default"));
    emit server.adaptor->ActionInvoked(41, QStringLiteral("other"));
    emit server.adaptor->ActionInvoked(41, QStringLiteral("default"));
    ASSERT_TRUE(clicks.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(clicks.count(), 1);

    // Closing does not forget the notification: a click on it when shown again still counts.
    emit server.adaptor->NotificationClosed(41, 2);
    emit server.adaptor->ActionInvoked(41, QStringLiteral("default"));
    ASSERT_TRUE(clicks.wait(5000));
    EXPECT_EQ(clicks.count(), 2);
}

} // namespace

#include "NotificationCenterTest.moc"
