// Kelo from start to finish, the way a user meets it: files stamped from the file manager's
// command line and by hand, the real kelo program in a tray (a StatusNotifierItem host of our
// own), the Friday reminder shown by dunst on a virtual display, a click on it that opens the
// review, Return in the review that moves the expired file to the Trash, and "Stop Kelo" from
// the tray menu.
#include "StatusNotifierWatcher.h"
#include "TemporaryFolder.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
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
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/xattr.h>

// Readable QStrings in GoogleTest's failure messages.
void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

namespace fs = std::filesystem;

const QString expiresAttribute = QStringLiteral("user.wex.dorvel.kelo.expires");
const QString tagsAttribute = QStringLiteral("user.xdg.tags");
const QString notificationService = QStringLiteral("org.freedesktop.Notifications");
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");

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

std::optional<std::string> attribute(const fs::path &file, const QString &name) {
    char value[256];
    const ssize_t size = ::getxattr(file.c_str(), name.toLatin1().constData(), value, sizeof value);
    if (size < 0)
        return std::nullopt;
    return std::string(value, static_cast<size_t>(size));
}

struct Finished {
    bool done = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs a short program to its end. The event loop keeps running meanwhile: kelo asks our
// watcher things over the bus, and waits for the answers.
Finished run(const QString &program, const QStringList &arguments, int timeout = stepTimeout) {
    QProcess process;
    process.start(program, arguments);
    Finished finished;
    finished.done =
        QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeout);
    if (!finished.done) {
        process.kill();
        process.waitForFinished(3000);
    }
    finished.exitCode =
        process.exitStatus() == QProcess::NormalExit && finished.done ? process.exitCode() : -1;
    finished.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    finished.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return finished;
}

std::string describe(const QString &program, const Finished &finished) {
    return (program + QStringLiteral(" exited with ") + QString::number(finished.exitCode) +
            (finished.done ? QString() : QStringLiteral(" (did not finish)")) +
            QStringLiteral("; stdout: ") + finished.out + QStringLiteral("; stderr: ") +
            finished.err)
        .toStdString();
}

// A program that runs beside the test, stopped at the end however the test went.
class Background {
public:
    ~Background() { stop(); }

    void start(const QString &program, const QStringList &arguments,
               const std::optional<QProcessEnvironment> &environment = std::nullopt,
               bool collectOutput = false) {
        if (environment)
            m_process.setProcessEnvironment(*environment);
        if (collectOutput) {
            m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
                output += QString::fromUtf8(m_process.readAllStandardOutput());
            });
        } else {
            m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        }
        m_process.start(program, arguments);
    }

    // Ends the program: politely first, then by force.
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

    bool waitForExit(int timeout) {
        return QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; },
                               timeout);
    }
    bool running() const { return m_process.state() != QProcess::NotRunning; }
    QProcess &process() { return m_process; }

    QString output;

private:
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

// ---- The tray item and its menu, over D-Bus as a tray host reads them ----

QDBusConnection bus() {
    return QDBusConnection::sessionBus();
}

// A call into kelo; events keep flowing while it waits.
QDBusMessage call(QDBusMessage message) {
    return bus().call(message, QDBus::BlockWithGui, 5000);
}

std::optional<QVariant> itemProperty(const StatusNotifierWatcher::Item &item, const QString &name) {
    QDBusMessage get = QDBusMessage::createMethodCall(
        item.service, item.path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierItem") << name;
    const QDBusMessage reply = call(get);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

// The title of the item's tool tip: (icon name, icon pixmaps, title, text).
QString toolTipTitle(const StatusNotifierWatcher::Item &item) {
    const auto toolTip = itemProperty(item, QStringLiteral("ToolTip"));
    if (!toolTip || !toolTip->canConvert<QDBusArgument>())
        return QStringLiteral("(no tool tip)");
    const QDBusArgument argument = toolTip->value<QDBusArgument>();
    QString iconName, title, body;
    argument.beginStructure();
    argument >> iconName;
    argument.beginArray();
    while (!argument.atEnd()) {
        int width = 0, height = 0;
        QByteArray pixels;
        argument.beginStructure();
        argument >> width >> height >> pixels;
        argument.endStructure();
    }
    argument.endArray();
    argument >> title >> body;
    argument.endStructure();
    return title;
}

// One entry of a com.canonical.dbusmenu layout, with the entries below it.
struct MenuEntry {
    int id = 0;
    QVariantMap properties;
    std::vector<MenuEntry> children;

    QString label() const { return properties.value(QStringLiteral("label")).toString(); }
    bool enabled() const { return properties.value(QStringLiteral("enabled"), true).toBool(); }
    bool separator() const {
        return properties.value(QStringLiteral("type")).toString() == QLatin1String("separator");
    }
    // The first entry below this one with that label.
    const MenuEntry *find(const QString &wanted) const {
        const auto found =
            std::find_if(children.begin(), children.end(),
                         [&](const MenuEntry &entry) { return entry.label() == wanted; });
        return found == children.end() ? nullptr : &*found;
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

class TrayMenu {
public:
    TrayMenu(QString service, QString path)
        : m_service(std::move(service)), m_path(std::move(path)) {}

    // The whole menu as the tray shows it now; nullopt when kelo does not answer.
    std::optional<MenuEntry> layout() const {
        QDBusMessage getLayout = QDBusMessage::createMethodCall(
            m_service, m_path, QStringLiteral("com.canonical.dbusmenu"),
            QStringLiteral("GetLayout"));
        getLayout << 0 << -1 << QStringList();
        const QDBusMessage reply = call(getLayout);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
            return std::nullopt;
        return readEntry(reply.arguments().at(1).value<QDBusArgument>());
    }

    // The first line of the menu: what the tray says about the shelf.
    QString statusLine() const {
        const auto menu = layout();
        if (!menu)
            return QStringLiteral("(no menu)");
        if (menu->children.empty())
            return QStringLiteral("(empty menu)");
        return menu->children.front().label();
    }

    // What a tray host sends when the user clicks the entry.
    void click(int id) const {
        QDBusMessage event = QDBusMessage::createMethodCall(
            m_service, m_path, QStringLiteral("com.canonical.dbusmenu"), QStringLiteral("Event"));
        event << id << QStringLiteral("clicked") << QVariant::fromValue(QDBusVariant(0))
              << uint(QDateTime::currentSecsSinceEpoch());
        bus().asyncCall(event);
    }

private:
    QString m_service;
    QString m_path;
};

// ---- The X screen ----

// The visible top-level windows whose title starts with `title`.
QStringList visibleWindows(const QString &title) {
    const Finished search =
        run(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--name"), QLatin1Char('^') + title});
    return search.out.split(u'\n', Qt::SkipEmptyParts);
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

std::optional<Geometry> windowGeometry(const QString &window) {
    const Finished shell = run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                           QStringLiteral("--shell"), window});
    if (shell.exitCode != 0)
        return std::nullopt;
    QVariantMap values;
    for (const QString &line : shell.out.split(u'\n')) {
        const auto parts = line.split(u'=');
        if (parts.size() == 2)
            values[parts[0]] = parts[1].toInt();
    }
    return Geometry{values.value(QStringLiteral("X")).toInt(),
                    values.value(QStringLiteral("Y")).toInt(),
                    values.value(QStringLiteral("WIDTH")).toInt(),
                    values.value(QStringLiteral("HEIGHT")).toInt()};
}

// Pixels in `area` whose lightness stands well apart from the area's most common lightness:
// text, symbols and button faces; none in a blank window.
int inkPixels(const QImage &picture, const Geometry &area) {
    const QRect rect = QRect(area.x, area.y, area.width, area.height).intersected(picture.rect());
    std::vector<int> histogram(256);
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            ++histogram[static_cast<size_t>(picture.pixelColor(x, y).lightness())];
    const int background =
        static_cast<int>(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
    int ink = 0;
    for (int lightness = 0; lightness < 256; ++lightness)
        if (std::abs(lightness - background) > 60)
            ink += histogram[static_cast<size_t>(lightness)];
    return ink;
}

bool installed(const char *program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

// ---- The test ----

TEST(EndToEnd, StampedFilesReminderReviewTrashAndQuit) {
    for (const char *program : {"dunst", "dunstctl", "xdotool", "import", "setfattr"})
        if (!installed(program))
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
    const fs::path cache = home / ".cache";
    const fs::path data = home / ".local/share";
    const fs::path runtime = root.path() / "runtime";
    const fs::path documents = root.path() / "Documenten";
    for (const auto &folder : {config / "wex.dorvel", cache, data, runtime, documents})
        fs::create_directories(folder);
    ::chmod(runtime.c_str(), 0700);

    // One file for a month, through the file manager's command; one long past its date, by hand.
    const fs::path fresh = documents / "notities.txt";
    const fs::path expired = documents / "oud rapport.txt";
    std::ofstream(fresh) << "boodschappen\n";
    std::ofstream(expired) << std::string(5000, 'x');
    const QString finder = QStringLiteral(KELO_FINDER);
    const Finished picked = run(
        finder, {QStringLiteral("pick"), QStringLiteral("1"), QStringLiteral("--"), text(fresh)});
    ASSERT_EQ(picked.exitCode, 0) << describe(finder, picked);
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const auto freshDate = attribute(fresh, expiresAttribute);
    ASSERT_TRUE(freshDate.has_value()) << "kelo-finder pick 1 left no date on " << fresh;
    EXPECT_GT(QString::fromStdString(*freshDate), today) << "1 maand should lie ahead";
    EXPECT_NE(attribute(fresh, tagsAttribute).value_or("").find("Kelo"), std::string::npos)
        << "kelo-finder pick 1 did not tag the file Kelo";
    for (const auto &[name, value] : {std::pair{expiresAttribute, QStringLiteral("2020-01-01")},
                                      std::pair{tagsAttribute, QStringLiteral("Kelo")}}) {
        const QString setfattr = QStringLiteral("setfattr");
        const Finished set =
            run(setfattr, {QStringLiteral("-n"), name, QStringLiteral("-v"), value, text(expired)});
        ASSERT_EQ(set.exitCode, 0) << describe(setfattr, set);
    }

    // The last reminder went out long ago, so this week's is due at the first check. An update
    // check was just made, so Kelo leaves the network alone.
    const fs::path defaults = config / "wex.dorvel/Kelo.conf";
    std::ofstream(defaults)
        << "[General]\n"
           "lastReminder=2020-01-03T15:00:00.000Z\n"
           "lastUpdateCheck="
        << QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString()
        << "\nloginItemOffered=true\n";

    // The tray host must be there before kelo makes its tray icon, or Qt falls back to the old
    // X11 tray, which nobody hosts here.
    StatusNotifierWatcher watcher(bus());
    ASSERT_TRUE(watcher.start()) << "could not take " << watcherService.toStdString();

    TemporaryFolder dunstFolder;
    std::ofstream(dunstFolder.path() / "dunstrc") << "[global]\n    markup = full\n";
    Background dunst;
    dunst.start(
        QStringLiteral("dunst"),
        {QStringLiteral("-print"), QStringLiteral("-config"), text(dunstFolder.path() / "dunstrc")},
        std::nullopt, true);
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return bus().interface()->isServiceRegistered(notificationService).value(); },
        stepTimeout))
        << "dunst did not start serving notifications";

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), text(home));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), text(config));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), text(cache));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), text(data));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), text(runtime));
    environment.insert(QStringLiteral("KELO_SEARCH_SCOPES"), text(documents));
    environment.insert(QStringLiteral("LANGUAGE"), QStringLiteral("nl"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME",
                             "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION"})
        environment.remove(QString::fromLatin1(name));

    // As the autostart entry starts it: into the tray, without the window.
    const QString program = QStringLiteral(KELO_PROGRAM);
    Background kelo;
    QElapsedTimer sinceStart;
    sinceStart.start();
    kelo.start(program, {QStringLiteral("--login-item")}, environment);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !watcher.items().empty() || !kelo.running(); }, startTimeout))
        << "kelo put no item in the tray within " << startTimeout / 1000 << " s";
    ASSERT_TRUE(kelo.running()) << "kelo ended right after its start, with exit code "
                                << kelo.process().exitCode();
    ASSERT_EQ(watcher.items().size(), 1u);
    const StatusNotifierWatcher::Item item = watcher.items().front();
    std::cout << "end-to-end: tray item " << item.service.toStdString() << item.path.toStdString()
              << " after " << sinceStart.elapsed() << " ms" << std::endl;

    // The tray menu, read as a tray host reads it.
    const auto menuPath = itemProperty(item, QStringLiteral("Menu"));
    ASSERT_TRUE(menuPath.has_value()) << "the tray item has no Menu property";
    const QString menuObject = menuPath->value<QDBusObjectPath>().path();
    ASSERT_TRUE(menuObject.startsWith(u'/') && menuObject != QLatin1String("/NO_DBUSMENU"))
        << "the tray item has no menu: " << menuObject.toStdString();
    const TrayMenu menu(item.service, menuObject);

    // The shelf loads, and the status line counts the one expired file.
    QString status;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            status = menu.statusLine();
            return status == QLatin1String("1 over de datum");
        },
        startTimeout))
        << "the status line said " << status.toStdString() << ", not \"1 over de datum\"";
    {
        const auto layout = menu.layout();
        ASSERT_TRUE(layout.has_value());
        ASSERT_FALSE(layout->children.empty());
        EXPECT_FALSE(layout->children.front().enabled()) << "the status line is no command";
        const MenuEntry *cleanUp = layout->find(QStringLiteral("Opruimen…"));
        ASSERT_NE(cleanUp, nullptr) << "no \"Opruimen…\" in the tray menu";
        EXPECT_TRUE(cleanUp->enabled()) << "\"Opruimen…\" is off with an expired file";
        EXPECT_NE(layout->find(QStringLiteral("Stop Kelo")), nullptr);
    }
    EXPECT_EQ(toolTipTitle(item), QStringLiteral("Kelo — 1 over de datum"));

    // Nothing of Kelo is on screen yet: what opens next, the click opened.
    EXPECT_EQ(visibleWindows(QStringLiteral("Opruimen")), QStringList())
        << "the review was open before the reminder was clicked";

    // The weekly reminder.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dunst.output.contains(QLatin1String("Tijd om op te ruimen")); },
        std::max(1000, reminderTimeout - static_cast<int>(sinceStart.elapsed()))))
        << "no reminder within " << reminderTimeout / 1000 << " s of kelo's start; dunst printed:\n"
        << dunst.output.toStdString();
    std::cout << "end-to-end: reminder after " << sinceStart.elapsed() << " ms; dunst printed:\n"
              << dunst.output.toStdString() << std::endl;
    EXPECT_EQ(lastPrinted(dunst.output, QStringLiteral("appname")), QStringLiteral("'Kelo'"));
    EXPECT_EQ(lastPrinted(dunst.output, QStringLiteral("summary")),
              QStringLiteral("'Tijd om op te ruimen'"));
    EXPECT_TRUE(lastPrinted(dunst.output, QStringLiteral("body"))
                    .startsWith(QLatin1String("'1 bestand is over de datum (")))
        << lastPrinted(dunst.output, QStringLiteral("body")).toStdString();
    {
        // The week counts as handled.
        const QSettings stored(text(defaults), QSettings::IniFormat);
        const QDateTime last = QDateTime::fromString(
            stored.value(QStringLiteral("lastReminder")).toString(), Qt::ISODateWithMs);
        EXPECT_TRUE(last.isValid() && std::abs(last.secsTo(QDateTime::currentDateTimeUtc())) < 120)
            << "lastReminder is "
            << stored.value(QStringLiteral("lastReminder")).toString().toStdString();
    }

    // A click on the reminder opens the review over the shelf window.
    const QString dunstctl = QStringLiteral("dunstctl");
    const Finished clicked = run(dunstctl, {QStringLiteral("action"), QStringLiteral("0")});
    ASSERT_EQ(clicked.exitCode, 0) << describe(dunstctl, clicked);
    QStringList reviews;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            reviews = visibleWindows(QStringLiteral("Opruimen"));
            return !reviews.isEmpty();
        },
        startTimeout))
        << "no review window came up after the click on the reminder";
    ASSERT_EQ(reviews.size(), 1) << reviews.join(u' ').toStdString();
    const QString review = reviews.front();
    EXPECT_EQ(visibleWindows(QStringLiteral("Kelo$")).size(), 1)
        << "the shelf window is not on screen under its review";
    const auto geometry = windowGeometry(review);
    ASSERT_TRUE(geometry.has_value()) << "no geometry for window " << review.toStdString();
    EXPECT_EQ(geometry->width, 560);
    EXPECT_EQ(geometry->height, 480);

    // A picture of the screen with the review on it, kept with the test's output.
    const fs::path picturePath = fs::path(KELO_TEST_OUTPUT) / "review-on-screen.png";
    QImage picture;
    int ink = 0;
    // The window may be mapped before it is painted.
    const bool painted = QTest::qWaitFor(
        [&] {
            const Finished taken =
                run(QStringLiteral("import"), {QStringLiteral("-silent"), QStringLiteral("-window"),
                                               QStringLiteral("root"), text(picturePath)});
            picture = taken.exitCode == 0 ? QImage(text(picturePath)) : QImage();
            ink = picture.isNull() ? 0 : inkPixels(picture, *geometry);
            return ink > 400;
        },
        stepTimeout);
    std::cout << "end-to-end: the screen with the review (" << ink
              << " pixels stand out in it): " << picturePath.string() << std::endl;
    ASSERT_FALSE(picture.isNull()) << "import took no picture of the screen";
    EXPECT_TRUE(
        picture.rect().contains(QRect(geometry->x, geometry->y, geometry->width, geometry->height)))
        << "the review lies outside the screen";
    EXPECT_TRUE(painted) << "the review's area of the screen is about blank: " << ink
                         << " pixels stand out";

    // Return presses the review's default button: the ticked file goes to the Trash.
    const QString xdotool = QStringLiteral("xdotool");
    const Finished focused =
        run(xdotool, {QStringLiteral("windowfocus"), QStringLiteral("--sync"), review});
    ASSERT_EQ(focused.exitCode, 0) << describe(xdotool, focused);
    const Finished pressed = run(xdotool, {QStringLiteral("key"), QStringLiteral("Return")});
    ASSERT_EQ(pressed.exitCode, 0) << describe(xdotool, pressed);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !fs::exists(expired); }, stepTimeout))
        << expired << " is still in its folder after Return in the review";
    EXPECT_TRUE(fs::exists(fresh)) << "the file that is still fresh went as well";

    const fs::path trashed = data / "Trash/files" / expired.filename();
    ASSERT_TRUE(fs::exists(trashed)) << "not in the Trash: " << trashed;
    EXPECT_EQ(readFile(trashed), std::string(5000, 'x'));
    const fs::path info = data / "Trash/info" / (expired.filename().string() + ".trashinfo");
    ASSERT_TRUE(fs::exists(info)) << "no .trashinfo: " << info;
    const QStringList infoLines = QString::fromStdString(readFile(info)).split(u'\n');
    EXPECT_EQ(infoLines.value(0), QStringLiteral("[Trash Info]"));
    const auto pathLine = std::find_if(infoLines.begin(), infoLines.end(), [](const QString &l) {
        return l.startsWith(QLatin1String("Path="));
    });
    ASSERT_NE(pathLine, infoLines.end()) << "no Path= in " << info;
    const QString recorded = pathLine->mid(5);
    EXPECT_FALSE(recorded.contains(u' '))
        << "the path is not percent-encoded: " << recorded.toStdString();
    EXPECT_TRUE(recorded.contains(QLatin1String("oud%20rapport.txt"))) << recorded.toStdString();
    EXPECT_EQ(QUrl::fromPercentEncoding(recorded.toUtf8()), text(expired));
    EXPECT_TRUE(std::any_of(infoLines.begin(), infoLines.end(),
                            [](const QString &l) {
                                return l.startsWith(QLatin1String("DeletionDate=")) &&
                                       QDateTime::fromString(l.mid(13), Qt::ISODate).isValid();
                            }))
        << "no readable DeletionDate in " << info;

    // The review closes, and the tray no longer counts the file.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return visibleWindows(QStringLiteral("Opruimen")).isEmpty(); }, stepTimeout))
        << "the review stayed open after moving the file";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            status = menu.statusLine();
            return status == QLatin1String("Alles is nog vers");
        },
        stepTimeout))
        << "after the Trash the status line said " << status.toStdString();
    {
        const auto layout = menu.layout();
        ASSERT_TRUE(layout.has_value());
        const MenuEntry *cleanUp = layout->find(QStringLiteral("Opruimen…"));
        ASSERT_NE(cleanUp, nullptr);
        EXPECT_FALSE(cleanUp->enabled()) << "\"Opruimen…\" is on with nothing expired";
    }
    EXPECT_EQ(toolTipTitle(item), QStringLiteral("Kelo — Alles is nog vers"));

    // "Stop Kelo" in the tray menu ends kelo, and its item leaves the tray.
    const auto layout = menu.layout();
    ASSERT_TRUE(layout.has_value());
    const MenuEntry *quit = layout->find(QStringLiteral("Stop Kelo"));
    ASSERT_NE(quit, nullptr) << "no \"Stop Kelo\" in the tray menu";
    menu.click(quit->id);
    ASSERT_TRUE(kelo.waitForExit(startTimeout)) << "kelo still runs after \"Stop Kelo\"";
    EXPECT_EQ(kelo.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(kelo.process().exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return watcher.items().empty(); }, stepTimeout))
        << "kelo's item is still in the tray";
    std::cout << "end-to-end: kelo stopped after " << sinceStart.elapsed() << " ms" << std::endl;
}

} // namespace
