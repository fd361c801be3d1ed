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
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

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

struct Finished {
    int exitCode = -1; // also when it did not finish, or crashed
    QString out;
    std::string describe;
};

// Runs a short program, the first word of `command`, to its end. The event loop keeps running
// meanwhile: kelo asks our watcher things over the bus, and waits for the answers.
Finished run(const QStringList &command) {
    QProcess process;
    process.start(command.front(), command.mid(1));
    const bool done =
        QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, stepTimeout);
    if (!done)
        process.kill();
    process.waitForFinished(3000);
    Finished finished;
    finished.exitCode =
        done && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    finished.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    finished.describe = (command.join(' ') + " exited with " + QString::number(finished.exitCode) +
                         "; stdout: " + finished.out +
                         "; stderr: " + QString::fromUtf8(process.readAllStandardError()))
                            .toStdString();
    return finished;
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

// A call into kelo; events keep flowing while it waits.
QDBusMessage call(const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QVariantList &arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return bus().call(message, QDBus::BlockWithGui, 5000);
}

// One entry of the tray menu, as a tray host reads it over com.canonical.dbusmenu.
struct MenuEntry {
    int id = 0;
    QString label;
    bool enabled = true;
};

// The menu's top entries as the tray shows them now; none when kelo does not answer.
std::vector<MenuEntry> menuEntries(const QString &service, const QString &path) {
    const QDBusMessage reply =
        call(service, path, "com.canonical.dbusmenu", "GetLayout", {0, 1, QStringList()});
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
    return run({"xdotool", "search", "--onlyvisible", "--name", "^" + title})
        .out.split(u'\n', Qt::SkipEmptyParts);
}

TEST(EndToEnd, StampedFilesReminderReviewTrashAndQuit) {
    for (const char *program : {"dunst", "dunstctl", "xdotool", "import", "setfattr", "dbus-send"})
        if (QStandardPaths::findExecutable(program).isEmpty())
            GTEST_SKIP() << program << " is not installed (scripts/bootstrap installs it)";
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !bus().isConnected())
        GTEST_SKIP() << "no X display or no session bus";
    const QString notifications = "org.freedesktop.Notifications";
    ASSERT_FALSE(bus().interface()->isServiceRegistered(notifications).value())
        << "a notification server already runs on this bus";

    // A user of our own: home, settings, cache, Trash and runtime folder, and one folder of
    // documents that is all Kelo searches.
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
        const Finished done = run(command);
        ASSERT_EQ(done.exitCode, 0) << done.describe;
    }

    // The last reminder went out long ago, so this week's is due at the first check. An update
    // check was just made, so Kelo leaves the network alone.
    const fs::path defaults = config / "wex.dorvel/Kelo.conf";
    std::ofstream(defaults)
        << "[General]\nlastReminder=2020-01-03T15:00:00.000Z\nlastUpdateCheck="
        << QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString()
        << "\nloginItemOffered=true\n";

    // The tray host must be there before kelo makes its tray icon, or Qt falls back to the old
    // X11 tray, which nobody hosts here.
    StatusNotifierWatcher watcher(bus());
    ASSERT_TRUE(watcher.start()) << "a tray host already runs on this bus";

    std::ofstream(root.path() / "dunstrc") << "[global]\n    markup = full\n";
    Background dunst;
    dunst.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    dunst.start("dunst", {"-print", "-config", text(root.path() / "dunstrc")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return bus().interface()->isServiceRegistered(notifications).value(); }, stepTimeout))
        << "dunst did not start serving notifications";

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const std::pair<const char *, QString> variables[] = {{"HOME", text(home)},
                                                          {"XDG_CONFIG_HOME", text(config)},
                                                          {"XDG_CACHE_HOME", text(home / ".cache")},
                                                          {"XDG_DATA_HOME", text(data)},
                                                          {"XDG_RUNTIME_DIR", text(runtime)},
                                                          {"KELO_SEARCH_SCOPES", text(documents)},
                                                          {"LANGUAGE", "nl"},
                                                          {"LANG", "C.UTF-8"}};
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
        << "kelo put no item in the tray within " << startTimeout / 1000 << " s";
    ASSERT_TRUE(keloRuns()) << "kelo ended right after its start, with exit code "
                            << kelo.exitCode();
    ASSERT_EQ(watcher.items().size(), 1u);
    const StatusNotifierWatcher::Item item = watcher.items().front();
    std::cout << "end-to-end: tray item after " << sinceStart.elapsed() << " ms" << std::endl;

    // The tray menu, read as a tray host reads it.
    const QDBusMessage menuProperty =
        call(item.service, item.path, "org.freedesktop.DBus.Properties", "Get",
             {"org.kde.StatusNotifierItem", "Menu"});
    const QString menu = menuProperty.arguments()
                             .value(0)
                             .value<QDBusVariant>()
                             .variant()
                             .value<QDBusObjectPath>()
                             .path();
    ASSERT_TRUE(menu.startsWith(u'/') && menu != "/NO_DBUSMENU")
        << "the tray item has no menu: " << menu.toStdString();

    // The tray's status line, "Opruimen…" and the tool tip, waited for until they say `status`.
    const auto checkTray = [&](const QString &status, bool cleanUpEnabled, int timeout) {
        std::vector<MenuEntry> entries;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                entries = menuEntries(item.service, menu);
                return !entries.empty() && entries.front().label == status;
            },
            timeout))
            << "the status line said "
            << (entries.empty() ? "nothing" : entries.front().label.toStdString()) << ", not "
            << status.toStdString();
        ASSERT_FALSE(entries.empty());
        EXPECT_FALSE(entries.front().enabled) << "the status line is no command";
        const MenuEntry *cleanUp = find(entries, "Opruimen…");
        ASSERT_NE(cleanUp, nullptr) << "no \"Opruimen…\" in the tray menu";
        EXPECT_EQ(cleanUp->enabled, cleanUpEnabled)
            << "\"Opruimen…\" with " << status.toStdString();
        // The tool tip's title, as the tray host's own D-Bus client reads it.
        const Finished toolTip =
            run({"dbus-send", "--session", "--print-reply", "--dest=" + item.service, item.path,
                 "org.freedesktop.DBus.Properties.Get", "string:org.kde.StatusNotifierItem",
                 "string:ToolTip"});
        EXPECT_TRUE(toolTip.out.contains("string \"Kelo — " + status + "\"")) << toolTip.describe;
    };
    // The shelf loads, and the status line counts the one expired file.
    checkTray("1 over de datum", true, startTimeout);
    EXPECT_TRUE(visibleWindows("Opruimen").isEmpty())
        << "the review was open before the reminder was clicked";

    // The weekly reminder; the week counts as handled.
    QString printed;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            printed += QString::fromUtf8(dunst.readAllStandardOutput());
            return printed.contains("Tijd om op te ruimen");
        },
        std::max(1000, reminderTimeout - static_cast<int>(sinceStart.elapsed()))))
        << "no reminder within " << reminderTimeout / 1000 << " s of kelo's start; dunst printed:\n"
        << printed.toStdString();
    for (const char *line : {"appname: 'Kelo'", "summary: 'Tijd om op te ruimen'",
                             "body: '1 bestand is over de datum ("})
        EXPECT_TRUE(printed.contains(line)) << line << " not in:\n" << printed.toStdString();
    const QDateTime last =
        QSettings(text(defaults), QSettings::IniFormat).value("lastReminder").toDateTime();
    EXPECT_LT(std::abs(last.secsTo(QDateTime::currentDateTimeUtc())), 120)
        << "lastReminder is " << last.toString(Qt::ISODate).toStdString();

    // A click on the reminder opens the review over the shelf window.
    const Finished clicked = run({"dunstctl", "action", "0"});
    ASSERT_EQ(clicked.exitCode, 0) << clicked.describe;
    QStringList reviews;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(reviews = visibleWindows("Opruimen")).isEmpty(); },
                                startTimeout))
        << "no review window came up after the click on the reminder";
    ASSERT_EQ(reviews.size(), 1) << reviews.join(u' ').toStdString();
    const QString review = reviews.front();
    EXPECT_EQ(visibleWindows("Kelo$").size(), 1)
        << "the shelf window is not on screen under its review";
    QMap<QString, int> shell;
    for (const QString &line :
         run({"xdotool", "getwindowgeometry", "--shell", review}).out.split(u'\n'))
        shell[line.section(u'=', 0, 0)] = line.section(u'=', 1).toInt();
    const QRect geometry(shell["X"], shell["Y"], shell["WIDTH"], shell["HEIGHT"]);
    EXPECT_EQ(geometry.size(), QSize(560, 480));

    // A picture of the screen with the review on it, kept with the test's output. The window may
    // be mapped before it is painted: a blank or unpainted area has a colour or two.
    const QString picturePath = text(fs::path(KELO_TEST_OUTPUT) / "review-on-screen.png");
    QImage screen;
    std::set<QRgb> colours;
    const bool painted = QTest::qWaitFor(
        [&] {
            run({"import", "-silent", "-window", "root", picturePath});
            screen = QImage(picturePath);
            colours.clear();
            if (!screen.rect().contains(geometry))
                return false;
            for (int y = geometry.top(); y <= geometry.bottom(); ++y)
                for (int x = geometry.left(); x <= geometry.right(); ++x)
                    colours.insert(screen.pixel(x, y));
            return colours.size() > 16;
        },
        stepTimeout);
    std::cout << "end-to-end: the screen with the review: " << picturePath.toStdString()
              << std::endl;
    EXPECT_TRUE(screen.rect().contains(geometry)) << "the review lies outside the screen";
    EXPECT_TRUE(painted) << "the review's area of the screen is about blank: " << colours.size()
                         << " colours";

    // Return presses the review's default button: the ticked file goes to the Trash, and the
    // Trash records where it came from.
    for (const QStringList &command : {QStringList{"xdotool", "windowfocus", "--sync", review},
                                       QStringList{"xdotool", "key", "Return"}}) {
        const Finished done = run(command);
        ASSERT_EQ(done.exitCode, 0) << done.describe;
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fs::exists(expired); }, stepTimeout))
        << expired << " is still in its folder after Return in the review";
    EXPECT_TRUE(fs::exists(fresh)) << "the file that is still fresh went as well";
    std::ifstream trashed(data / "Trash/files" / expired.filename());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(trashed), {}), std::string(5000, 'x'));
    std::ifstream info(data / "Trash/info/oud rapport.txt.trashinfo");
    const std::string infoText(std::istreambuf_iterator<char>(info), {});
    EXPECT_NE(infoText.find("\nPath=" + text(expired).replace(" ", "%20").toStdString() + "\n"),
              std::string::npos)
        << infoText;

    // The review closes, and the tray no longer counts the file.
    EXPECT_TRUE(QTest::qWaitFor([&] { return visibleWindows("Opruimen").isEmpty(); }, stepTimeout))
        << "the review stayed open after moving the file";
    checkTray("Alles is nog vers", false, stepTimeout);

    // "Stop Kelo" in the tray menu ends kelo, and its item leaves the tray.
    const std::vector<MenuEntry> entries = menuEntries(item.service, menu);
    const MenuEntry *quit = find(entries, "Stop Kelo");
    ASSERT_NE(quit, nullptr) << "no \"Stop Kelo\" in the tray menu";
    QDBusMessage event =
        QDBusMessage::createMethodCall(item.service, menu, "com.canonical.dbusmenu", "Event");
    event << quit->id << QString("clicked") << QVariant::fromValue(QDBusVariant(0))
          << uint(QDateTime::currentSecsSinceEpoch());
    bus().asyncCall(event);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !keloRuns(); }, startTimeout))
        << "kelo still runs after \"Stop Kelo\"";
    EXPECT_EQ(kelo.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelo.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.items().empty(); }, stepTimeout))
        << "kelo's item is still in the tray";
}

} // namespace
