// The window's line about a missing tray, against a StatusNotifier watcher of the test's own on a
// private bus: shown without a host, hidden with one, following the watcher as Kelo runs.
#include "ShelfWindow.h"
#include "StampedHome.h"
#include "TrayAvailability.h"

#include <QDBusConnection>
#include <QTest>

namespace {

// The desktop's watcher, on a connection of its own as if it were another process.
class FakeWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    FakeWatcher() {
        m_bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), this,
                             QDBusConnection::ExportAllProperties |
                                 QDBusConnection::ExportAllSignals);
    }
    ~FakeWatcher() override { QDBusConnection::disconnectFromBus(QStringLiteral("watcher")); }

    bool serve(bool on) {
        const QString name = QStringLiteral("org.kde.StatusNotifierWatcher");
        return on ? m_bus.registerService(name) : m_bus.unregisterService(name);
    }
    bool hostRegistered() const {
        ++reads;
        return host;
    }

    bool host = false;
    mutable int reads = 0;

signals:
    void StatusNotifierHostRegistered();

private:
    QDBusConnection m_bus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("watcher"));
};

class TrayHint : public StampedHome {
protected:
    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus";
    }
};

} // namespace

TEST_F(TrayHint, ShownWhileNoHostIsRegisteredOrOtherTrayFound) {
    loadShelf({home});
    bool otherTray = false;
    kelo::TrayAvailability trays(QDBusConnection::sessionBus(), [&] { return otherTray; });
    kelo::ShelfWindow window(*shelf);
    window.followTray(trays);
    window.show();
    const auto hintShown = [&](bool shown) {
        return QTest::qWaitFor([&] { return window.trayHintShown() == shown; }, 5000);
    };
    // No watcher on the bus.
    EXPECT_TRUE(hintShown(true));

    // A watcher without a host: asked as it comes, still no tray.
    FakeWatcher watcher;
    ASSERT_TRUE(watcher.serve(true));
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.reads > 0; }, 5000));
    QTest::qWait(100);
    EXPECT_TRUE(window.trayHintShown());

    // The shell's extension comes on as its host registers; the watcher goes with the shell.
    watcher.host = true;
    emit watcher.StatusNotifierHostRegistered();
    EXPECT_TRUE(hintShown(false));
    ASSERT_TRUE(watcher.serve(false));
    EXPECT_TRUE(hintShown(true));

    // A tray the bus does not announce is looked for when the window shows.
    otherTray = true;
    window.hide();
    window.show();
    EXPECT_TRUE(hintShown(false));
}

#include "TrayHintTest.moc"
