// The updater against a small HTTP server on 127.0.0.1: checks on request and on schedule,
// downloads, their signature and length, and the network rules, all through the helper
// kelo-fetch; and the helper's process held to its limits.
#include "Updater.h"
#include "FetchProcess.h"
#include "RecordingCenter.h"
#include "SafeFetch.h"
#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"
#include "UpdaterUi.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <sodium.h>

#include <map>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono_literals;

namespace {

// A tiny HTTP/1.1 server with a canned answer per path; 404 for the others.
class TestServer : public QObject {
public:
    // A body; a redirect to the text; no answer; 404.
    enum class Kind { body, redirect, silent, notFound };

    TestServer() {
        if (!m_server.listen(QHostAddress::LocalHost))
            throw std::runtime_error("listen failed");
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }
    QUrl url(const QString &path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    void serve(const QByteArray &path, const QByteArray &text, Kind kind = Kind::body) {
        m_routes[path] = {kind, text};
    }
    std::map<QByteArray, int> hits;

private:
    void read(QTcpSocket *socket) {
        const QByteArray request = socket->peek(socket->bytesAvailable());
        if (!request.contains("\r\n\r\n"))
            return;
        socket->readAll();
        const QByteArray path = request.split(' ').value(1);
        ++hits[path];
        const auto [kind, text] =
            m_routes.contains(path) ? m_routes[path] : std::pair(Kind::notFound, QByteArray());
        if (kind == Kind::silent)
            return;
        const QByteArray body = kind == Kind::body ? text : QByteArray();
        socket->write((kind == Kind::notFound   ? "HTTP/1.1 404 Not Found\r\n"
                       : kind == Kind::redirect ? "HTTP/1.1 302 Found\r\nLocation: " + text + "\r\n"
                                                : QByteArray("HTTP/1.1 200 OK\r\n")) +
                      "Content-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    std::map<QByteArray, std::pair<Kind, QByteArray>> m_routes;
};

// What the updater showed, one line a call; it answers "Installeren" (later, as a user would)
// when told to.
struct RecordingUi : UpdaterUi {
    void showUpdate(const AppcastItem &item, const QString &,
                    std::function<void(bool install)> answer) override {
        calls << "update " + item.version;
        QTimer::singleShot(0, [answer = std::move(answer), yes = install] { answer(yes); });
    }
    void showUpToDate(const QString &version) override { calls << "up to date " + version; }
    void showError(const QString &title, const QString &why) override {
        calls << title + ": " + why;
    }
    void startProgress(const QString &, qint64, std::function<void()>) override {}
    void setProgress(qint64) override {}
    void endProgress() override { calls << QStringLiteral("end"); }
    bool open(const QString &path) override { return (calls << "open " + path, true); }

    QStringList calls;
    bool install = false;
};

class UpdaterTest : public ::testing::Test {
protected:
    UpdaterTest() {
        unsigned char publicKey[crypto_sign_PUBLICKEYBYTES], secretKey[crypto_sign_SECRETKEYBYTES];
        if (sodium_init() < 0 || crypto_sign_keypair(publicKey, secretKey) != 0)
            throw std::runtime_error("no ed25519 keys");
        m_signature.resize(crypto_sign_BYTES);
        crypto_sign_detached(reinterpret_cast<unsigned char *>(m_signature.data()), nullptr,
                             reinterpret_cast<const unsigned char *>(payload.data()),
                             static_cast<unsigned long long>(payload.size()), secretKey);
        options.publicKey =
            QByteArray(reinterpret_cast<const char *>(publicKey), sizeof publicKey).toBase64();
        options.feed = server.url(QStringLiteral("/appcast.xml"));
        options.fetchHelper = QStringLiteral(KELO_FETCH_HELPER);
        options.currentVersion = QStringLiteral("0.1.0");
        options.timeout = 500ms;
    }

    // The updater on `options`, showing what it shows in `shown`.
    std::unique_ptr<Updater> makeUpdater() {
        auto updater = std::make_unique<Updater>(options, defaults, notifications);
        auto ui = std::make_unique<RecordingUi>();
        shown = ui.get();
        updater->setUi(std::move(ui));
        return updater;
    }

    // Serves the payload, and a feed offering it, signed, as each of `versions`, with the
    // payload's length unless told otherwise.
    void serveRelease(const QStringList &versions = {QStringLiteral("0.2.0")}, qint64 length = 0) {
        server.serve(downloadPath, payload);
        QByteArray xml = "<rss xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/"
                         "sparkle\"><channel>";
        for (const QString &version : versions)
            xml += "<item><sparkle:version>" + version.toUtf8() +
                   "</sparkle:version><enclosure url=\"" +
                   server.url(QString::fromLatin1(downloadPath)).toEncoded() + "\" length=\"" +
                   QByteArray::number(length ? length : payload.size()) +
                   "\" sparkle:edSignature=\"" + m_signature.toBase64() + "\"/></item>";
        server.serve("/appcast.xml", xml + "</channel></rss>");
    }

    // Runs `call` and waits up to `wait` ms for the check it starts; its error, empty on success.
    QString check(Updater &updater, void (Updater::*call)() = &Updater::checkForUpdates,
                  int wait = 5000) {
        QSignalSpy finished(&updater, &Updater::checkFinished);
        (updater.*call)();
        return finished.wait(wait) ? finished.first().first().toString()
                                   : QStringLiteral("no answer");
    }

    TemporaryFolder folder;
    ScopedEnvironment cache{"XDG_CACHE_HOME", (folder.path() / "cache").c_str()};
    // The helper speaks the user's language; these tests read its Dutch.
    ScopedEnvironment language{"LANGUAGE", "nl"};
    UserDefaults defaults{QString::fromStdString((folder.path() / "Kelo.conf").string())};
    RecordingCenter notifications;
    TestServer server;
    Updater::Options options;
    RecordingUi *shown = nullptr;
    const QByteArray payload = QByteArray("!<arch>\nKelo 0.2.0 ").repeated(1000);
    const QByteArray downloadPath = "/kelo_0.2.0_amd64.deb";
    const QString downloaded = QString::fromStdString(folder.path().string()) +
                               QStringLiteral("/cache/%1/kelo-update/kelo_0.2.0_amd64.deb")
                                   .arg(QCoreApplication::applicationName());

private:
    QByteArray m_signature;
};

} // namespace

// Plain http only on this machine (the test server is on 127.0.0.1).
TEST(UpdateUrls, HttpsOrThisMachineAndTheBuiltInFeed) {
    for (const char *refused :
         {"http://128.0.0.1/a", "http://localhost.example.com/a", "file:///etc/passwd"})
        EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QString::fromLatin1(refused)))) << refused;
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl("http://[::1]:80/a")));
    const ScopedEnvironment unset{"KELO_UPDATE_FEED", nullptr};
    EXPECT_EQ(Updater::builtInOptions().feed.scheme(), QStringLiteral("https"));
    const ScopedEnvironment feed{"KELO_UPDATE_FEED", "https://example.invalid/feed.xml"};
    EXPECT_EQ(Updater::builtInOptions().feed.toString(), "https://example.invalid/feed.xml");
}

// Requests in quick succession share one check, through a redirect; the newest newer version is
// offered in a dialog (no notification), which installs it.
TEST_F(UpdaterTest, NewerVersionOnRequestThenInstall) {
    server.serve("/old.xml", "/appcast.xml", TestServer::Kind::redirect);
    serveRelease({"0.0.9", "0.2.0", "0.10.0", "0.9.1"});
    options.feed = server.url(QStringLiteral("/old.xml"));
    auto updater = makeUpdater();
    shown->install = true;
    updater->checkForUpdates();
    EXPECT_EQ(check(*updater), QString());
    ASSERT_TRUE(QTest::qWaitFor([this] { return shown->calls.contains("end"); }, 5000));
    EXPECT_EQ(shown->calls, QStringList({"update 0.10.0", "end", "open " + downloaded}));
    EXPECT_TRUE(notifications.posted.empty());
    EXPECT_EQ(server.hits["/appcast.xml"], 1);
    QFile file(downloaded);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll() == payload);
}

// The boxes open from the network's answer and return: no event loop of their own runs under
// it while the user reads.
TEST_F(UpdaterTest, DialogsDoNotWaitForTheUserInsideTheNetworksAnswer) {
    const struct {
        QString version, text;
        QByteArray feed = {}; // instead of one offering the version
    } cases[] = {{"0.2.0", "Kelo 0.2.0 is beschikbaar"},
                 {"0.1.0", "Kelo is bij de tijd"},
                 {"0.2.0", "Kon niet op updates controleren", "nonsense"}};
    for (const auto &c : cases) {
        serveRelease({c.version});
        if (!c.feed.isEmpty())
            server.serve("/appcast.xml", c.feed);
        Updater updater(options, defaults, notifications);
        // The depth of event loops under the box, and the box, answered once seen.
        int depth = -1;
        QPointer<QMessageBox> box;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!box)
                box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box && depth < 0) {
                depth = QThread::currentThread()->loopLevel();
                EXPECT_EQ(box->text(), c.text);
                box->reject();
            }
        });
        timer.start(10);
        updater.checkForUpdates();
        ASSERT_TRUE(QTest::qWaitFor([&] { return depth >= 0; }, 5000)) << c.text.toStdString();
        EXPECT_EQ(depth, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(box);
        EXPECT_EQ(server.hits[downloadPath], 0);
    }
}

// Every failed check on request, and every download that is not exactly what the feed
// promised, says why in one dialog and leaves nothing behind.
TEST_F(UpdaterTest, FailuresAreOneErrorDialogAndLeaveNothing) {
    using Kind = TestServer::Kind;
    const QByteArray feed = "/appcast.xml", download = downloadPath;
    const struct {
        QByteArray path; // the one that fails
        QByteArray text;
        Kind kind;
        QString mention;
        int hits = 1; // of the feed
        qint64 lengthChange = 0;
    } cases[] = {
        {feed, {}, Kind::notFound, "HTTP-status 404"},
        {feed, QByteArray(4096, ' '), Kind::body, "groter dan de 1024 bytes"},
        {feed, {}, Kind::silent, "geen antwoord"},
        {feed, "http://example.invalid/a.xml", Kind::redirect, "a.xml komt niet via https"},
        // Five redirects are followed, the sixth is refused.
        {feed, feed, Kind::redirect, "Te veel omleidingen", 6},
        {download, QByteArray(payload.size(), 'x'), Kind::body, "handtekening"},
        {download, payload, Kind::body, "bytes", 1, 1}};
    options.maximumFeedSize = 1024;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mention.toStdString());
        const int hitsBefore = server.hits[feed];
        serveRelease({"0.2.0"}, payload.size() + c.lengthChange);
        server.serve(c.path, c.text, c.kind);
        auto updater = makeUpdater();
        check(*updater);
        EXPECT_EQ(updater->availableUpdate().has_value(), c.path == download);
        if (c.path == download) {
            shown->calls.clear();
            updater->installAvailableUpdate();
            EXPECT_TRUE(QTest::qWaitFor([this] { return shown->calls.contains("end"); }, 5000));
            shown->calls.removeOne("end");
        }
        EXPECT_EQ(shown->calls.size(), 1);
        EXPECT_TRUE(shown->calls.join(u'|').contains(c.mention))
            << shown->calls.join(u'|').toStdString();
        EXPECT_EQ(server.hits[feed] - hitsBefore, c.hits);
        EXPECT_FALSE(QFile::exists(downloaded));
    }
}

// At start and then daily, quietly: a notification for an update, errors only logged, and no
// check within a day of the last.
TEST_F(UpdaterTest, ScheduledChecksAreDailyAndQuiet) {
    serveRelease();
    auto updater = makeUpdater();
    EXPECT_EQ(check(*updater, &Updater::start), QString());
    ASSERT_EQ(notifications.posted.size(), 1u);
    EXPECT_EQ(notifications.posted[0].title, QStringLiteral("Kelo 0.2.0 is beschikbaar"));
    EXPECT_TRUE(shown->calls.empty());
    // A second start within the day checks nothing.
    EXPECT_EQ(check(*makeUpdater(), &Updater::start, 300), QStringLiteral("no answer"));

    // A day later it checks again; a failure is no dialog and no notification.
    server.serve("/appcast.xml", "nonsense");
    defaults.setLastUpdateCheck(QDateTime::currentDateTimeUtc().addSecs(-25 * 3600));
    const auto late = makeUpdater();
    EXPECT_NE(check(*late, &Updater::start), QString());
    EXPECT_EQ(server.hits["/appcast.xml"], 2);
    EXPECT_EQ(notifications.posted.size(), 1u);
    EXPECT_TRUE(shown->calls.empty());
}

namespace {

// Runs a fetch to its end; its error, or "no answer".
QString fetchError(FetchProcess &fetch, int wait = 5000) {
    QSignalSpy finished(&fetch, &FetchProcess::finished);
    return finished.wait(wait) ? finished.first().first().toString() : QStringLiteral("no answer");
}

// This process's children named kelo-fetch that have not ended.
int runningHelpers() {
    int count = 0;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.find("(kelo-fetch) ") == std::string::npos)
            continue;
        // pid (comm) state ppid ...
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t parent = 0;
        rest >> state >> parent;
        count += parent == ::getpid() && state != 'Z';
    }
    return count;
}

// An executable shell script standing in for the helper.
QString fakeHelper(const TemporaryFolder &folder, const char *name, const std::string &script) {
    const auto path = folder.path() / name;
    std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
    ::chmod(path.c_str(), 0700);
    return QString::fromStdString(path.string());
}

} // namespace

// The helper speaks the user's language: its reasons come from Kelo's translations.
TEST(FetchHelper, ReasonsInTheUsersLanguage) {
    TestServer server;
    for (const auto &[language, reason] : {std::pair("en", "answered with HTTP status 404"),
                                           std::pair("nl", "antwoordde met HTTP-status 404")}) {
        const ScopedEnvironment set{"LANGUAGE", language};
        FetchProcess fetch(QStringLiteral(KELO_FETCH_HELPER), server.url(QStringLiteral("/none")),
                           1024, 1s, 5s);
        EXPECT_TRUE(fetchError(fetch).contains(QString::fromLatin1(reason))) << language;
    }
}

// Kelo's side does not take the helper's word for it: a helper that cannot start, dies, or
// sends more than was asked for is a failed fetch, and a cancelled fetch leaves no helper behind.
TEST(FetchHelper, HeldToItsLimits) {
    TemporaryFolder folder;
    const QUrl url(QStringLiteral("https://example.invalid/feed.xml"));
    const struct {
        QString helper;
        const char *mention;
        QByteArray body = {};
    } cases[] = {
        {QString::fromStdString((folder.path() / "missing").string()), "start niet"},
        {fakeHelper(folder, "killed", "printf abc; kill -9 $$"), "stopte onverwacht"},
        {fakeHelper(folder, "reason",
                    "printf abc; echo 'first' >&2; echo 'the reason' >&2; exit 1"),
         "the reason"},
        {fakeHelper(folder, "flood", "head -c 5000 /dev/zero"), "groter dan de 1024 bytes"},
        {fakeHelper(folder, "fine", "printf abc"), "", "abc"},
    };
    for (const auto &c : cases) {
        FetchProcess fetch(c.helper, url, 1024, 1s, 5s);
        const QString error = fetchError(fetch);
        EXPECT_EQ(error.isEmpty(), !*c.mention) << error.toStdString();
        EXPECT_TRUE(error.contains(QString::fromLatin1(c.mention))) << error.toStdString();
        if (error.isEmpty()) {
            EXPECT_EQ(fetch.body(), c.body);
        }
    }

    // A server that never answers: the helper waits until cancelled, and is gone after.
    TestServer server;
    server.serve("/slow", {}, TestServer::Kind::silent);
    FetchProcess fetch(QStringLiteral(KELO_FETCH_HELPER), server.url(QStringLiteral("/slow")), 1024,
                       60s, 60s);
    QSignalSpy finished(&fetch, &FetchProcess::finished);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.hits["/slow"] == 1; }, 5000));
    EXPECT_EQ(runningHelpers(), 1);
    fetch.cancel();
    EXPECT_TRUE(QTest::qWaitFor([] { return runningHelpers() == 0; }, 2000));
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.first().first().toString(), QStringLiteral("Geannuleerd."));
    EXPECT_TRUE(fetch.wasCancelled());
}
