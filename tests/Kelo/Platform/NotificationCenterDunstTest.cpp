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

namespace {

// The value dunst -print gives for `field` in the last notification it printed in `output`.
std::string lastPrinted(const QString &output, const QString &field) {
    QString value;
    for (const QString &line : output.split(u'\n'))
        if (line.trimmed().startsWith(field + ": "))
            value = line.trimmed().mid(field.size() + 2);
    return value.toStdString();
}

QString dunstctl(const QStringList &arguments) {
    QProcess process;
    process.start("dunstctl", arguments);
    EXPECT_TRUE(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 5000));
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// The center's answer to a post: empty when it went through.
std::string post(kelo::NotificationCenter &center, const QString &body) {
    std::optional<std::optional<QString>> answer;
    center.post({"Tijd om op te ruimen", body},
                [&](const std::optional<QString> &error) { answer = error; });
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, 5000))
        return "no answer";
    return answer->has_value() ? "error: " + (*answer)->toStdString() : "";
}

TEST(NotificationCenterWithDunst, ShowsReplacesAndReportsTheClick) {
    if (QStandardPaths::findExecutable("dunst").isEmpty() ||
        QStandardPaths::findExecutable("dunstctl").isEmpty())
        GTEST_SKIP() << "dunst is not installed";
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no X display or no session bus";
    const auto serving = [] {
        return QDBusConnection::sessionBus()
            .interface()
            ->isServiceRegistered("org.freedesktop.Notifications")
            .value();
    };
    ASSERT_FALSE(serving()) << "a notification server already runs on this bus";

    // dunst with the markup setting of its shipped configuration and nothing of the user's,
    // printing every notification it shows.
    QTemporaryFile config;
    ASSERT_TRUE(config.open() && config.write("[global]\n    markup = full\n") > 0 &&
                config.flush());
    QProcess dunst;
    dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    dunst.start("dunst", {"-print", "-config", config.fileName()});
    ASSERT_TRUE(QTest::qWaitFor(serving, 10000));
    QString output;
    const auto printed = [&](const QString &text) {
        return QTest::qWaitFor(
            [&] { return (output += dunst.readAllStandardOutput()).contains(text); }, 5000);
    };

    kelo::FreedesktopNotificationCenter center;
    QSignalSpy clicks(&center, &kelo::NotificationCenter::clicked);
    bool allowed = false;
    center.checkServer([&](bool answer, const QString &) { allowed = answer; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return allowed; }, 5000));

    // What dunst shows of a notification is checked end to end; here: the replacement, and the
    // markup dunst reads (as its shipped configuration says): it gets "&amp;" and shows "&".
    EXPECT_EQ(post(center, "3 bestanden zijn over de datum (4,2 MB)."), "");
    ASSERT_TRUE(printed("(4,2 MB)"));
    const auto first = output.size();
    const std::string firstId = lastPrinted(output, "id");
    EXPECT_FALSE(firstId.empty()) << output.toStdString();
    EXPECT_EQ(post(center, "1 bestand is over de datum (12 kB) & wacht."), "");
    ASSERT_TRUE(printed("(12 kB)"));
    EXPECT_EQ(lastPrinted(output.mid(first), "body"),
              "'1 bestand is over de datum (12 kB) &amp; wacht.'");
    EXPECT_EQ(lastPrinted(output.mid(first), "id"), firstId);
    EXPECT_EQ(dunstctl({"count", "displayed"}), "1");

    dunstctl({"action", "0"});
    ASSERT_TRUE(clicks.count() == 1 || clicks.wait(5000));
    EXPECT_EQ(clicks.count(), 1);
    dunst.terminate();
    dunst.waitForFinished(3000);
}

} // namespace
