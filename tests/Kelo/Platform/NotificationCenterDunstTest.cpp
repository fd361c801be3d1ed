// The notification center against dunst, a real notification server, on a virtual display.
#include "NotificationCenter.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

// Readable QStrings in GoogleTest's failure messages.
void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString serviceName = QStringLiteral("org.freedesktop.Notifications");

// dunst, started with the markup setting of its shipped configuration and nothing of the user's,
// printing every notification it shows.
class Dunst {
public:
    Dunst() {
        if (!m_config.open())
            return;
        m_config.write("[global]\n    markup = full\n");
        m_config.flush();
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            output += QString::fromUtf8(m_process.readAllStandardOutput());
        });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral("dunst"),
                        {QStringLiteral("-print"), QStringLiteral("-config"), m_config.fileName()});
    }
    ~Dunst() {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

    bool waitUntilServing() {
        return QTest::qWaitFor(
            [] {
                return QDBusConnection::sessionBus()
                    .interface()
                    ->isServiceRegistered(serviceName)
                    .value();
            },
            10000);
    }
    bool waitForOutput(const QString &text) {
        return QTest::qWaitFor([&] { return output.contains(text); }, 5000);
    }

    QString output;

private:
    QTemporaryFile m_config;
    QProcess m_process;
};

// The value dunst -print gives for `field` in the last notification it printed.
QString lastPrinted(const QString &output, const QString &field) {
    QString value;
    for (const QString &line : output.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(field + QStringLiteral(": ")))
            value = trimmed.mid(field.size() + 2);
    }
    return value;
}

QString dunstctl(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral("dunstctl"), arguments);
    EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 5000))
        << "dunstctl did not finish";
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

std::optional<QString> post(kelo::NotificationCenter &center, const QString &title,
                            const QString &body) {
    bool answered = false;
    std::optional<QString> error = QStringLiteral("no answer");
    center.post({title, body}, [&](const std::optional<QString> &answer) {
        answered = true;
        error = answer;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 5000)) << "no answer";
    return error;
}

TEST(NotificationCenterWithDunst, ShowsReplacesAndReportsTheClick) {
    if (QStandardPaths::findExecutable(QStringLiteral("dunst")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dunstctl")).isEmpty())
        GTEST_SKIP() << "dunst is not installed";
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display";
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    ASSERT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(serviceName))
        << "a notification server already runs on this bus";

    Dunst dunst;
    ASSERT_TRUE(dunst.waitUntilServing());
    kelo::FreedesktopNotificationCenter center;
    QSignalSpy clicks(&center, &kelo::NotificationCenter::clicked);

    std::optional<bool> allowed;
    center.checkServer([&](bool answer, const QString &) { allowed = answer; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return allowed.has_value(); }, 5000));
    EXPECT_TRUE(*allowed);

    // What dunst shows of a notification is checked end to end; here: the replacement.
    EXPECT_EQ(post(center, QStringLiteral("Tijd om op te ruimen"),
                   QStringLiteral("3 bestanden zijn over de datum (4,2 MB).")),
              std::nullopt);
    ASSERT_TRUE(dunst.waitForOutput(QStringLiteral("(4,2 MB)")));
    const QString firstOutput = dunst.output;
    const QString firstId = lastPrinted(firstOutput, QStringLiteral("id"));
    EXPECT_FALSE(firstId.isEmpty()) << firstOutput.toStdString();

    EXPECT_EQ(post(center, QStringLiteral("Tijd om op te ruimen"),
                   QStringLiteral("1 bestand is over de datum (12 kB) & wacht.")),
              std::nullopt);
    // dunst reads markup (as its shipped configuration says), so it gets "&amp;" and shows "&".
    ASSERT_TRUE(dunst.waitForOutput(QStringLiteral("(12 kB)")));
    const QString secondOutput = dunst.output.mid(firstOutput.size());
    EXPECT_EQ(lastPrinted(secondOutput, QStringLiteral("body")),
              QStringLiteral("'1 bestand is over de datum (12 kB) &amp; wacht.'"));
    EXPECT_EQ(lastPrinted(secondOutput, QStringLiteral("id")), firstId);
    EXPECT_EQ(dunstctl({QStringLiteral("count"), QStringLiteral("displayed")}),
              QStringLiteral("1"));

    dunstctl({QStringLiteral("action"), QStringLiteral("0")});
    ASSERT_TRUE(clicks.count() == 1 || clicks.wait(5000));
    EXPECT_EQ(clicks.count(), 1);
}

} // namespace
