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
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>

#include <sys/stat.h>
#include <sys/xattr.h>

// Readable QStrings in GoogleTest's failure messages.
void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

namespace fs = std::filesystem;

const QString notificationService = "org.freedesktop.Notifications";
const QString watcherService = "org.kde.StatusNotifierWatcher";

// Kelo under the sanitizers starts slowly; the reminder comes 10 seconds after its start.
constexpr int startTimeout = 20000;
constexpr int reminderTimeout = 40000;
constexpr int stepTimeout = 10000;

QString text(const fs::path &path) {
    return QString::fromStdString(path.string());
}

std::string readFile(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<std::string> attribute(const fs::path &file, const char *name) {
    char value[256];
    const ssize_t size = ::getxattr(file.c_str(), name, value, sizeof value);
    return size < 0 ? std::nullopt : std::optional(std::string(value, static_cast<size_t>(size)));
}

struct Finished {
    QStringList command;
    bool done = false;
    int exitCode = -1;
    QString out, err;

    std::string describe() const {
        return (command.join(' ') + " exited with " + QString::number(exitCode) +
                (done ? "" : " (did not finish)") + "; stdout: " + out + "; stderr: " + err)
            .toStdString();
    }
};

// Runs a short program, the first word of `command`, to its end. The event loop keeps running
// meanwhile: kelo asks our watcher things over the bus, and waits for the answers.
Finished run(const QStringList &command, int timeout = stepTimeout) {
    QProcess process;
    process.start(command.front(), command.mid(1));
    Finished finished;
    finished.command = command;
    finished.done =
        QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeout);
    if (!finished.done) {
        process.kill();
        process.waitForFinished(3000);
    }
    if (finished.done && process.exitStatus() == QProcess::NormalExit)
        finished.exitCode = process.exitCode();
    finished.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    finished.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return finished;
}

// A program that runs beside the test, stopped at the end however the test went; its output is
// collected or passed on.
class Background {
public:
    ~Background() {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(3000);
    }

    void start(const QStringList &command, bool collectOutput) {
        process.setProcessChannelMode(collectOutput ? QProcess::ForwardedErrorChannel
                                                    : QProcess::ForwardedChannels);
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { output += QString::fromUtf8(process.readAllStandardOutput()); });
        process.start(command.front(), command.mid(1));
    }
    bool running() const { return process.state() != QProcess::NotRunning; }

    QProcess process;
    QString output;
};

// ---- The tray item and its menu, over D-Bus as a tray host reads them ----

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

// One entry of a com.canonical.dbusmenu layout, with the entries below it.
struct MenuEntry {
    int id = 0;
    QVariantMap properties;
    std::vector<MenuEntry> children;

    QString label() const { return properties.value("label").toString(); }
    bool enabled() const { return properties.value("enabled", true).toBool(); }
    // The first entry below this one with that label.
    const MenuEntry *find(const QString &wanted) const {
        for (const MenuEntry &entry : children)
            if (entry.label() == wanted)
                return &entry;
        return nullptr;
    }
};

MenuEntry readEntry(const QDBusArgument &argument) {
    MenuEntry entry;
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        entry.children.push_back(readEntry(child.variant().value<QDBusArgument>()));
    }
    argument.endArray();
    argument.endStructure();
    return entry;
}

struct TrayMenu {
    QString service, path;

    // The whole menu as the tray shows it now; nullopt when kelo does not answer.
    std::optional<MenuEntry> layout() const {
        const QDBusMessage reply =
            call(service, path, "com.canonical.dbusmenu", "GetLayout", {0, -1, QStringList()});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
            return std::nullopt;
        return readEntry(reply.arguments().at(1).value<QDBusArgument>());
    }
    // The first line of the menu: what the tray says about the shelf.
    QString statusLine() const {
        const auto menu = layout();
        return !menu                    ? "(no menu)"
               : menu->children.empty() ? "(empty menu)"
                                        : menu->children.front().label();
    }
    // What a tray host sends when the user clicks the entry.
    void click(int id) const {
        QDBusMessage event =
            QDBusMessage::createMethodCall(service, path, "com.canonical.dbusmenu", "Event");
        event << id << QString("clicked") << QVariant::fromValue(QDBusVariant(0))
              << uint(QDateTime::currentSecsSinceEpoch());
        bus().asyncCall(event);
    }
};

// ---- The X screen ----

// The visible top-level windows whose title starts with `title`.
QStringList visibleWindows(const QString &title) {
    return run({"xdotool", "search", "--onlyvisible", "--name", "^" + title})
        .out.split(u'\n', Qt::SkipEmptyParts);
}

std::optional<QRect> windowGeometry(const QString &window) {
    QMap<QString, int> shell;
    for (const QString &line :
         run({"xdotool", "getwindowgeometry", "--shell", window}).out.split(u'\n'))
        shell[line.section(u'=', 0, 0)] = line.section(u'=', 1).toInt();
    if (!shell.contains("WIDTH"))
        return std::nullopt;
    return QRect(shell["X"], shell["Y"], shell["WIDTH"], shell["HEIGHT"]);
}

// Pixels in `area` whose lightness stands well apart from the area's most common lightness:
// text, symbols and button faces; none in a blank window.
int inkPixels(const QImage &picture, const QRect &area) {
    const QRect rect = area.intersected(picture.rect());
    std::vector<int> histogram(256);
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ++histogram[static_cast<size_t>(picture.pixelColor(x, y).lightness())];
    const auto background = std::max_element(histogram.begin(), histogram.end());
    int ink = 0;
    for (auto count = histogram.begin(); count != histogram.end(); ++count)
        ink += std::abs(count - background) > 60 ? *count : 0;
    return ink;
}

// ---- The test ----

TEST(EndToEnd, StampedFilesReminderReviewTrashAndQuit) {
    for (const char *program : {"dunst", "dunstctl", "xdotool", "import", "setfattr", "dbus-send"})
        if (QStandardPaths::findExecutable(program).isEmpty())
            GTEST_SKIP() << program << " is not installed (scripts/bootstrap installs it)";
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "no X display";
    if (!bus().isConnected())
        GTEST_SKIP() << "no session bus";
    ASSERT_FALSE(bus().interface()->isServiceRegistered(notificationService).value())
        << "a notification server already runs on this bus";
    ASSERT_FALSE(bus().interface()->isServiceRegistered(watcherService).value())
        << "a tray host already runs on this bus";

    // A user of our own: home, settings, cache, Trash and runtime folder, and one folder of
    // documents that is all Kelo searches.
    TemporaryFolder root;
    const fs::path home = root.path() / "home";
    const fs::path config = home / ".config";
    const fs::path data = home / ".local/share";
    const fs::path runtime = root.path() / "runtime";
    const fs::path documents = root.path() / "Documenten";
    for (const auto &folder : {config / "wex.dorvel", home / ".cache", data, runtime, documents})
        fs::create_directories(folder);
    ::chmod(runtime.c_str(), 0700);

    // One file for a month, through the file manager's command; one long past its date, by hand.
    const fs::path fresh = documents / "notities.txt";
    const fs::path expired = documents / "oud rapport.txt";
    std::ofstream(fresh) << "boodschappen\n";
    std::ofstream(expired) << std::string(5000, 'x');
    const Finished picked = run({KELO_FINDER, "pick", "1", "--", text(fresh)});
    ASSERT_EQ(picked.exitCode, 0) << picked.describe();
    const auto freshDate = attribute(fresh, "user.wex.dorvel.kelo.expires");
    ASSERT_TRUE(freshDate.has_value()) << "kelo-finder pick 1 left no date on " << fresh;
    EXPECT_GT(QString::fromStdString(*freshDate), QDate::currentDate().toString(Qt::ISODate))
        << "1 maand should lie ahead";
    EXPECT_NE(attribute(fresh, "user.xdg.tags").value_or("").find("Kelo"), std::string::npos)
        << "kelo-finder pick 1 did not tag the file Kelo";
    for (const auto &[name, value] : {std::pair{"user.wex.dorvel.kelo.expires", "2020-01-01"},
                                      std::pair{"user.xdg.tags", "Kelo"}}) {
        const Finished set = run({"setfattr", "-n", name, "-v", value, text(expired)});
        ASSERT_EQ(set.exitCode, 0) << set.describe();
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
    ASSERT_TRUE(watcher.start()) << "could not take " << watcherService.toStdString();

    TemporaryFolder dunstFolder;
    std::ofstream(dunstFolder.path() / "dunstrc") << "[global]\n    markup = full\n";
    Background dunst;
    dunst.start({"dunst", "-print", "-config", text(dunstFolder.path() / "dunstrc")}, true);
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return bus().interface()->isServiceRegistered(notificationService).value(); },
        stepTimeout))
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
    kelo.process.setProcessEnvironment(environment);
    QElapsedTimer sinceStart;
    sinceStart.start();
    kelo.start({KELO_PROGRAM, "--login-item"}, false);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !watcher.items().empty() || !kelo.running(); }, startTimeout))
        << "kelo put no item in the tray within " << startTimeout / 1000 << " s";
    ASSERT_TRUE(kelo.running()) << "kelo ended right after its start, with exit code "
                                << kelo.process.exitCode();
    ASSERT_EQ(watcher.items().size(), 1u);
    const StatusNotifierWatcher::Item item = watcher.items().front();
    std::cout << "end-to-end: tray item " << item.service.toStdString() << item.path.toStdString()
              << " after " << sinceStart.elapsed() << " ms" << std::endl;

    // The tray menu, read as a tray host reads it.
    const QDBusMessage menuPath = call(item.service, item.path, "org.freedesktop.DBus.Properties",
                                       "Get", {"org.kde.StatusNotifierItem", "Menu"});
    ASSERT_TRUE(menuPath.type() == QDBusMessage::ReplyMessage && !menuPath.arguments().isEmpty())
        << "the tray item has no Menu property";
    const TrayMenu menu{
        item.service,
        menuPath.arguments()[0].value<QDBusVariant>().variant().value<QDBusObjectPath>().path()};
    ASSERT_TRUE(menu.path.startsWith(u'/') && menu.path != "/NO_DBUSMENU")
        << "the tray item has no menu: " << menu.path.toStdString();

    // The tray's status line, "Opruimen…" and the tool tip, waited for until they say `status`.
    const auto checkTray = [&](const QString &status, bool cleanUpEnabled, int timeout) {
        QString said;
        EXPECT_TRUE(QTest::qWaitFor([&] { return (said = menu.statusLine()) == status; }, timeout))
            << "the status line said " << said.toStdString() << ", not " << status.toStdString();
        const auto layout = menu.layout();
        ASSERT_TRUE(layout.has_value() && !layout->children.empty());
        EXPECT_FALSE(layout->children.front().enabled()) << "the status line is no command";
        const MenuEntry *cleanUp = layout->find("Opruimen…");
        ASSERT_NE(cleanUp, nullptr) << "no \"Opruimen…\" in the tray menu";
        EXPECT_EQ(cleanUp->enabled(), cleanUpEnabled)
            << "\"Opruimen…\" with " << said.toStdString();
        // The tool tip's title, as the tray host's own D-Bus client reads it.
        const Finished toolTip =
            run({"dbus-send", "--session", "--print-reply", "--dest=" + item.service, item.path,
                 "org.freedesktop.DBus.Properties.Get", "string:org.kde.StatusNotifierItem",
                 "string:ToolTip"});
        EXPECT_TRUE(toolTip.out.contains("string \"Kelo — " + status + "\"")) << toolTip.describe();
    };
    // The shelf loads, and the status line counts the one expired file.
    checkTray("1 over de datum", true, startTimeout);

    // Nothing of Kelo is on screen yet: what opens next, the click opened.
    EXPECT_EQ(visibleWindows("Opruimen"), QStringList())
        << "the review was open before the reminder was clicked";

    // The weekly reminder.
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return dunst.output.contains("Tijd om op te ruimen"); },
                        std::max(1000, reminderTimeout - static_cast<int>(sinceStart.elapsed()))))
        << "no reminder within " << reminderTimeout / 1000 << " s of kelo's start; dunst printed:\n"
        << dunst.output.toStdString();
    std::cout << "end-to-end: reminder after " << sinceStart.elapsed() << " ms; dunst printed:\n"
              << dunst.output.toStdString() << std::endl;
    for (const char *printed : {"appname: 'Kelo'", "summary: 'Tijd om op te ruimen'",
                                "body: '1 bestand is over de datum ("})
        EXPECT_TRUE(dunst.output.contains(printed)) << printed;
    // The week counts as handled.
    const QString lastReminder =
        QSettings(text(defaults), QSettings::IniFormat).value("lastReminder").toString();
    const QDateTime last = QDateTime::fromString(lastReminder, Qt::ISODateWithMs);
    EXPECT_TRUE(last.isValid() && std::abs(last.secsTo(QDateTime::currentDateTimeUtc())) < 120)
        << "lastReminder is " << lastReminder.toStdString();

    // A click on the reminder opens the review over the shelf window.
    const Finished clicked = run({"dunstctl", "action", "0"});
    ASSERT_EQ(clicked.exitCode, 0) << clicked.describe();
    QStringList reviews;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !(reviews = visibleWindows("Opruimen")).isEmpty(); },
                                startTimeout))
        << "no review window came up after the click on the reminder";
    ASSERT_EQ(reviews.size(), 1) << reviews.join(u' ').toStdString();
    const QString review = reviews.front();
    EXPECT_EQ(visibleWindows("Kelo$").size(), 1)
        << "the shelf window is not on screen under its review";
    const auto geometry = windowGeometry(review);
    ASSERT_TRUE(geometry.has_value()) << "no geometry for window " << review.toStdString();
    EXPECT_EQ(geometry->size(), QSize(560, 480));

    // A picture of the screen with the review on it, kept with the test's output. The window may
    // be mapped before it is painted.
    const QString picturePath = text(fs::path(KELO_TEST_OUTPUT) / "review-on-screen.png");
    QImage picture;
    int ink = 0;
    const bool painted = QTest::qWaitFor(
        [&] {
            const Finished taken = run({"import", "-silent", "-window", "root", picturePath});
            picture = taken.exitCode == 0 ? QImage(picturePath) : QImage();
            ink = picture.isNull() ? 0 : inkPixels(picture, *geometry);
            return ink > 400;
        },
        stepTimeout);
    std::cout << "end-to-end: the screen with the review (" << ink
              << " pixels stand out in it): " << picturePath.toStdString() << std::endl;
    ASSERT_FALSE(picture.isNull()) << "import took no picture of the screen";
    EXPECT_TRUE(picture.rect().contains(*geometry)) << "the review lies outside the screen";
    EXPECT_TRUE(painted) << "the review's area of the screen is about blank: " << ink
                         << " pixels stand out";

    // Return presses the review's default button: the ticked file goes to the Trash.
    for (const QStringList &command : {QStringList{"xdotool", "windowfocus", "--sync", review},
                                       QStringList{"xdotool", "key", "Return"}}) {
        const Finished done = run(command);
        ASSERT_EQ(done.exitCode, 0) << done.describe();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fs::exists(expired); }, stepTimeout))
        << expired << " is still in its folder after Return in the review";
    EXPECT_TRUE(fs::exists(fresh)) << "the file that is still fresh went as well";

    const fs::path trashed = data / "Trash/files" / expired.filename();
    ASSERT_TRUE(fs::exists(trashed)) << "not in the Trash: " << trashed;
    EXPECT_EQ(readFile(trashed), std::string(5000, 'x'));
    const fs::path info = data / "Trash/info" / (expired.filename().string() + ".trashinfo");
    ASSERT_TRUE(fs::exists(info)) << "no .trashinfo: " << info;
    const QStringList infoLines = QString::fromStdString(readFile(info)).split(u'\n');
    EXPECT_EQ(infoLines.value(0), "[Trash Info]");
    const QStringList paths = infoLines.filter(QRegularExpression("^Path="));
    ASSERT_EQ(paths.size(), 1) << "no Path= in " << info;
    const QString recorded = paths.front().mid(5);
    EXPECT_FALSE(recorded.contains(u' '))
        << "the path is not percent-encoded: " << recorded.toStdString();
    EXPECT_TRUE(recorded.contains("oud%20rapport.txt")) << recorded.toStdString();
    EXPECT_EQ(QUrl::fromPercentEncoding(recorded.toUtf8()), text(expired));
    const QStringList dates = infoLines.filter(QRegularExpression("^DeletionDate="));
    EXPECT_TRUE(dates.size() == 1 && QDateTime::fromString(dates[0].mid(13), Qt::ISODate).isValid())
        << "no readable DeletionDate in " << info;

    // The review closes, and the tray no longer counts the file.
    EXPECT_TRUE(QTest::qWaitFor([&] { return visibleWindows("Opruimen").isEmpty(); }, stepTimeout))
        << "the review stayed open after moving the file";
    checkTray("Alles is nog vers", false, stepTimeout);

    // "Stop Kelo" in the tray menu ends kelo, and its item leaves the tray.
    const auto layout = menu.layout();
    ASSERT_TRUE(layout.has_value());
    const MenuEntry *quit = layout->find("Stop Kelo");
    ASSERT_NE(quit, nullptr) << "no \"Stop Kelo\" in the tray menu";
    menu.click(quit->id);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !kelo.running(); }, startTimeout))
        << "kelo still runs after \"Stop Kelo\"";
    EXPECT_EQ(kelo.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelo.process.exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.items().empty(); }, stepTimeout))
        << "kelo's item is still in the tray";
    std::cout << "end-to-end: kelo stopped after " << sinceStart.elapsed() << " ms" << std::endl;
}

} // namespace
