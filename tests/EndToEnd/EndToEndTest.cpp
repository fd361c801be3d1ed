// Kelo from start to finish, the way a user meets it: files stamped from the file manager's
// command line and by hand, the real kelo program in a tray (a StatusNotifierItem host of our
// own), the Friday reminder shown by dunst on a virtual display, a click on it that opens the
// review, Return in the review that moves the expired file to the Trash, and "Stop Kelo" from
// the tray menu.
#include "StatusNotifierWatcher.h"
#include "TemporaryFolder.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>

namespace {

namespace fs = std::filesystem;

// Kelo under the sanitizers starts slowly; the reminder comes 10 seconds after its start.
constexpr int startTimeout = 20000;
constexpr int reminderTimeout = 40000;
constexpr int stepTimeout = 10000;

QString text(const fs::path &path) {
    return QString::fromStdString(path.string());
}

// Runs a short program to its end and gives its standard output, or "exit N: stderr" when it
// failed. The event loop keeps running meanwhile: kelo asks our watcher things over the bus.
QString run(const QStringList &command, bool *ok = nullptr) {
    QProcess process;
    process.start(command.front(), command.mid(1));
    const bool done =
        QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, stepTimeout);
    if (!done)
        process.kill();
    process.waitForFinished(3000);
    const bool succeeded =
        done && process.exitStatus() == QProcess::NormalExit && !process.exitCode();
    if (ok)
        *ok = succeeded;
    return succeeded ? QString::fromUtf8(process.readAllStandardOutput()).trimmed()
                     : command.join(' ') + ": exit " + QString::number(process.exitCode()) + ": " +
                           QString::fromUtf8(process.readAllStandardError());
}

// A program beside the test, stopped at the end however the test went.
struct Background : QProcess {
    ~Background() override {
        terminate();
        waitForFinished(5000);
    }
};

QDBusConnection bus() {
    return QDBusConnection::sessionBus();
}

// The tray menu's top entries (id, label, enabled) as a tray host reads them over
// com.canonical.dbusmenu; none when kelo does not answer.
struct MenuEntry {
    int id = 0;
    QString label;
    bool enabled = true;
};
std::vector<MenuEntry> menuEntries(const QString &service, const QString &path) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(service, path, "com.canonical.dbusmenu", "GetLayout");
    message << 0 << 1 << QStringList();
    const QDBusMessage reply = bus().call(message, QDBus::BlockWithGui, 5000);
    std::vector<MenuEntry> entries;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        return entries;
    const auto root = reply.arguments().at(1).value<QDBusArgument>();
    int id = 0;
    QVariantMap properties;
    root.beginStructure();
    root >> id >> properties;
    root.beginArray();
    while (!root.atEnd()) {
        QDBusVariant child;
        root >> child;
        const auto entry = child.variant().value<QDBusArgument>();
        entry.beginStructure();
        entry >> id >> properties;
        entry.beginArray(); // the entries below it: none at depth 1
        entry.endArray();
        entry.endStructure();
        entries.push_back(
            {id, properties.value("label").toString(), properties.value("enabled", true).toBool()});
    }
    root.endArray();
    root.endStructure();
    return entries;
}

const MenuEntry *find(const std::vector<MenuEntry> &entries, const QString &label) {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const MenuEntry &entry) { return entry.label == label; });
    return found == entries.end() ? nullptr : &*found;
}

// The visible top-level windows whose title starts with `title`.
QStringList visibleWindows(const QString &title) {
    bool found = false; // xdotool fails when it finds none
    const QString out = run({"xdotool", "search", "--onlyvisible", "--name", "^" + title}, &found);
    return found ? out.split(u'\n', Qt::SkipEmptyParts) : QStringList();
}

TEST(EndToEnd, StampedFilesReminderReviewTrashAndQuit) {
    for (const char *program : {"dunst", "dunstctl", "xdotool", "setfattr", "dbus-send"})
        if (QStandardPaths::findExecutable(program).isEmpty())
            GTEST_SKIP() << program << " is not installed (scripts/bootstrap installs it)";
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !bus().isConnected())
        GTEST_SKIP() << "no X display or no session bus";
    const QString notifications = "org.freedesktop.Notifications";
    ASSERT_FALSE(bus().interface()->isServiceRegistered(notifications).value())
        << "a notification server already runs on this bus";

    // A user of our own, and one folder of documents that is all Kelo searches.
    TemporaryFolder root;
    const fs::path home = root.path() / "home", config = home / ".config";
    const fs::path data = home / ".local/share", runtime = root.path() / "runtime";
    const fs::path documents = root.path() / "Documenten";
    for (const auto &folder : {config / "wex.dorvel", home / ".cache", data, runtime, documents})
        fs::create_directories(folder);
    ::chmod(runtime.c_str(), 0700);

    // One file for a month, through the file manager's command; one long past its date, by hand.
    const fs::path fresh = documents / "notities.txt";
    const fs::path expired = documents / "oud rapport.txt";
    std::ofstream(fresh) << "boodschappen\n";
    std::ofstream(expired) << std::string(5000, 'x');
    for (const QStringList &command :
         {QStringList{KELO_FINDER, "pick", "1", "--", text(fresh)},
          {"setfattr", "-n", "user.wex.dorvel.kelo.expires", "-v", "2020-01-01", text(expired)},
          {"setfattr", "-n", "user.xdg.tags", "-v", "Kelo", text(expired)}}) {
        bool ok = false;
        const QString out = run(command, &ok);
        ASSERT_TRUE(ok) << out.toStdString();
    }

    // The last reminder went out long ago, so this week's is due at the first check. An update
    // check was just made, so Kelo leaves the network alone.
    std::ofstream(config / "wex.dorvel/Kelo.conf")
        << "[General]\nlastReminder=2020-01-03T15:00:00.000Z\nlastUpdateCheck="
        << QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString()
        << "\nloginItemOffered=true\n";

    // The tray host must be there before kelo makes its tray icon, or Qt falls back to the old
    // X11 tray, which nobody hosts here.
    StatusNotifierWatcher watcher(bus());
    ASSERT_TRUE(watcher.start()) << "a tray host already runs on this bus";
    Background dunst;
    dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    std::ofstream(root.path() / "dunstrc") << "[global]\n    markup = full\n";
    dunst.start("dunst", {"-print", "-config", text(root.path() / "dunstrc")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return bus().interface()->isServiceRegistered(notifications).value(); }, stepTimeout))
        << "dunst did not start serving notifications";

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const std::pair<const char *, QString> variables[] = {{"HOME", text(home)},
                                                          {"XDG_CONFIG_HOME", text(config)},
                                                          {"XDG_DATA_HOME", text(data)},
                                                          {"XDG_CACHE_HOME", text(home / ".cache")},
                                                          {"LANGUAGE", "nl"},
                                                          {"XDG_RUNTIME_DIR", text(runtime)},
                                                          {"LANG", "C.UTF-8"},
                                                          {"KELO_SEARCH_SCOPES", text(documents)}};
    for (const auto &[name, value] : variables)
        environment.insert(name, value);
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME",
                             "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
        environment.remove(name);

    // As the autostart entry starts it: into the tray, without the window.
    Background kelo;
    kelo.setProcessEnvironment(environment);
    kelo.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer sinceStart;
    sinceStart.start();
    kelo.start(KELO_PROGRAM, {"--login-item"});
    const auto keloRuns = [&] { return kelo.state() != QProcess::NotRunning; };
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !watcher.items().empty() || !keloRuns(); }, startTimeout))
        << "kelo put no item in the tray";
    ASSERT_TRUE(keloRuns()) << "kelo ended right after its start: " << kelo.exitCode();
    ASSERT_EQ(watcher.items().size(), 1u);
    const auto [service, path] = watcher.items().front();

    // The tray menu, read as a tray host reads them.
    QDBusMessage get =
        QDBusMessage::createMethodCall(service, path, "org.freedesktop.DBus.Properties", "Get");
    get << "org.kde.StatusNotifierItem"
        << "Menu";
    const QString menu = bus()
                             .call(get, QDBus::BlockWithGui, 5000)
                             .arguments()
                             .value(0)
                             .value<QDBusVariant>()
                             .variant()
                             .value<QDBusObjectPath>()
                             .path();
    ASSERT_TRUE(menu.startsWith(u'/') && menu != "/NO_DBUSMENU")
        << "no tray menu: " << menu.toStdString();
    // The status line (no command) and "Opruimen…", waited for until they say
    // `status`.
    const auto checkTray = [&](const QString &status, bool cleanUpEnabled, int timeout) {
        std::vector<MenuEntry> entries;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                entries = menuEntries(service, menu);
                return !entries.empty() && entries.front().label == status;
            },
            timeout))
            << "the status line is not " << status.toStdString();
        ASSERT_FALSE(entries.empty());
        EXPECT_FALSE(entries.front().enabled);
        const MenuEntry *cleanUp = find(entries, "Opruimen…");
        ASSERT_NE(cleanUp, nullptr);
        EXPECT_EQ(cleanUp->enabled, cleanUpEnabled) << status.toStdString();
    };
    checkTray("1 over de datum", true, startTimeout);
    EXPECT_TRUE(visibleWindows("Opruimen").isEmpty()) << "the review opened before the click";

    // The weekly reminder, and a click on it that opens the review over the shelf window.
    QString printed;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            printed += QString::fromUtf8(dunst.readAllStandardOutput());
            return printed.contains("Tijd om op te ruimen");
        },
        std::max(1000, reminderTimeout - static_cast<int>(sinceStart.elapsed()))))
        << "no reminder; dunst printed:\n"
        << printed.toStdString();
    EXPECT_TRUE(printed.contains("body: '1 bestand is over de datum (")) << printed.toStdString();
    bool clicked = false;
    const QString action = run({"dunstctl", "action", "0"}, &clicked);
    ASSERT_TRUE(clicked) << action.toStdString();
    QStringList reviews;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(reviews = visibleWindows("Opruimen")).isEmpty(); },
                                startTimeout))
        << "no review window came up after the click on the reminder";
    ASSERT_EQ(reviews.size(), 1);
    const QString review = reviews.front();
    EXPECT_EQ(visibleWindows("Kelo$").size(), 1) << "no shelf window under the review";

    // Return presses the review's default button: the ticked file goes to the Trash, the review
    // closes and the tray no longer counts it.
    for (const QStringList &command :
         {QStringList{"xdotool", "windowfocus", "--sync", review}, {"xdotool", "key", "Return"}}) {
        bool ok = false;
        const QString out = run(command, &ok);
        ASSERT_TRUE(ok) << out.toStdString();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fs::exists(expired); }, stepTimeout));
    EXPECT_TRUE(fs::exists(fresh)) << "the file that is still fresh went as well";
    std::ifstream trashed(data / "Trash/files" / expired.filename());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(trashed), {}), std::string(5000, 'x'));
    EXPECT_TRUE(QTest::qWaitFor([&] { return visibleWindows("Opruimen").isEmpty(); }, stepTimeout))
        << "the review stayed open after moving the file";
    checkTray("Alles is nog vers", false, stepTimeout);

    // "Stop Kelo" in the tray menu ends kelo.
    const std::vector<MenuEntry> entries = menuEntries(service, menu);
    const MenuEntry *quit = find(entries, "Stop Kelo");
    ASSERT_NE(quit, nullptr) << "no \"Stop Kelo\" in the tray menu";
    QDBusMessage event =
        QDBusMessage::createMethodCall(service, menu, "com.canonical.dbusmenu", "Event");
    event << quit->id << QString("clicked") << QVariant::fromValue(QDBusVariant(0))
          << uint(QDateTime::currentSecsSinceEpoch());
    bus().asyncCall(event);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keloRuns(); }, startTimeout))
        << "kelo still runs after \"Stop Kelo\"";
    EXPECT_EQ(kelo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelo.exitCode(), 0);
}

} // namespace
