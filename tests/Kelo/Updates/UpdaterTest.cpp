// The updater against a small HTTP server on 127.0.0.1: checks on request and on schedule,
// downloads, their signature and length, and the network rules.
#include "Updater.h"
#include "NotificationCenter.h"
#include "RecordingCenter.h"
#include "SafeFetch.h"
#include "ScopedEnvironment.h"
#include "TemporaryFolder.h"
#include "UpdaterUi.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <sodium.h>

#include <map>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono_literals;

namespace {

// A tiny HTTP/1.1 server with a canned response per path; 404 for the others.
class TestServer : public QObject {
public:
    // A body; a redirect to the text; no answer at all; half the body, then the end; 404; the
    // body one byte every 200 ms.
    enum class Kind { body, redirect, silent, closeEarly, notFound, drip };

    TestServer() {
        if (!m_server.listen(QHostAddress::LocalHost))
            throw std::runtime_error("listen failed");
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
            }
        });
    }
    QUrl url(const QString &path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    void serve(const QByteArray &path, const QByteArray &text, Kind kind = Kind::body) {
        m_routes[path] = {kind, text};
    }
    int hits(const QByteArray &path) { return m_hits[path]; }

private:
    void read(QTcpSocket *socket) {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n"))
            return;
        const QByteArray path = buffer.left(buffer.indexOf("\r\n")).split(' ').value(1);
        buffer.clear();
        ++m_hits[path];
        const auto found = m_routes.find(path);
        const auto [kind, text] =
            found != m_routes.end() ? found->second : std::pair(Kind::notFound, QByteArray());
        const QByteArray close = "\r\nConnection: close\r\n\r\n";
        if (kind == Kind::silent)
            return;
        if (kind == Kind::drip) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(text.size()) +
                          close);
            auto *timer = new QTimer(socket);
            connect(timer, &QTimer::timeout, socket, [socket, text, sent = qsizetype(0)]() mutable {
                if (sent < text.size())
                    socket->write(text.mid(sent++, 1));
            });
            connect(socket, &QTcpSocket::disconnected, timer, &QTimer::stop);
            timer->start(200);
            return;
        }
        if (kind == Kind::notFound)
            socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0" + close);
        else if (kind == Kind::redirect)
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + text + "\r\nContent-Length: 0" +
                          close);
        else
            socket->write("HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(text.size()) +
                          close + (kind == Kind::closeEarly ? text.left(text.size() / 2) : text));
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    std::map<QByteArray, std::pair<Kind, QByteArray>> m_routes;
    std::map<QByteArray, int> m_hits;
    std::map<QTcpSocket *, QByteArray> m_buffers;
};

// What the updater showed; it answers "Installeren" when told to.
struct RecordingUi : UpdaterUi {
    void showUpdate(const AppcastItem &item, const QString &,
                    std::function<void(bool install)> answer) override {
        updates.push_back(item);
        answer(install);
    }
    void showUpToDate(const QString &version) override { upToDate.push_back(version); }
    void showError(const QString &title, const QString &message) override {
        errors.emplace_back(title, message);
    }
    void startProgress(const QString &, qint64, std::function<void()> cancelIt) override {
        ++progressStarted;
        cancel = std::move(cancelIt);
    }
    void setProgress(qint64) override {}
    void endProgress() override { ++progressEnded; }
    bool open(const QString &path) override {
        opened.push_back(path);
        return true;
    }

    std::vector<AppcastItem> updates;
    std::vector<QString> upToDate;
    std::vector<std::pair<QString, QString>> errors;
    std::vector<QString> opened;
    int progressStarted = 0;
    int progressEnded = 0;
    bool install = false;
    std::function<void()> cancel;
};

class UpdaterTest : public ::testing::Test {
protected:
    UpdaterTest() {
        if (sodium_init() < 0)
            throw std::runtime_error("sodium_init failed");
        crypto_sign_keypair(m_publicKey, m_secretKey);
    }

    QByteArray sign(const QByteArray &data) const {
        unsigned char signature[crypto_sign_BYTES];
        crypto_sign_detached(signature, nullptr,
                             reinterpret_cast<const unsigned char *>(data.data()),
                             static_cast<unsigned long long>(data.size()), m_secretKey);
        return QByteArray(reinterpret_cast<const char *>(signature), crypto_sign_BYTES).toBase64();
    }

    Updater::Options options() const {
        Updater::Options options;
        options.feed = server.url(QStringLiteral("/appcast.xml"));
        options.currentVersion = QStringLiteral("0.1.0");
        options.publicKey =
            QByteArray(reinterpret_cast<const char *>(m_publicKey), crypto_sign_PUBLICKEYBYTES)
                .toBase64();
        options.timeout = 500ms;
        return options;
    }

    // The updater; `shown` is what its user interface showed.
    std::unique_ptr<Updater> makeUpdater(Updater::Options options) {
        auto updater = std::make_unique<Updater>(std::move(options), defaults, notifications);
        auto ui = std::make_unique<RecordingUi>();
        shown = ui.get();
        updater->setUi(std::move(ui));
        return updater;
    }
    std::unique_ptr<Updater> makeUpdater() { return makeUpdater(options()); }

    // Serves a feed offering `versions` (by default 0.2.0), each with the payload as its
    // download, signed and with the payload's length unless told otherwise; and the payload.
    void serveRelease(QByteArray signature = {}, qint64 claimedLength = 0,
                      TestServer::Kind kind = TestServer::Kind::body,
                      const std::vector<QString> &versions = {QStringLiteral("0.2.0")}) {
        const QByteArray path = "/kelo_0.2.0_amd64.deb";
        server.serve(path, payload, kind);
        QByteArray xml = "<rss version=\"2.0\" "
                         "xmlns:sparkle=\"http://www.andymatuschak.org/xml-namespaces/sparkle\">"
                         "<channel><title>Kelo</title>";
        for (const QString &version : versions) {
            xml += "<item><title>Kelo " + version.toUtf8() + "</title><sparkle:version>" +
                   version.toUtf8() + "</sparkle:version><enclosure url=\"" +
                   server.url(QString::fromLatin1(path)).toEncoded() + "\" length=\"" +
                   QByteArray::number(claimedLength ? claimedLength : payload.size()) +
                   "\" type=\"application/vnd.debian.binary-package\" sparkle:edSignature=\"" +
                   (signature.isEmpty() ? sign(payload) : signature) + "\"/></item>";
        }
        server.serve("/appcast.xml", xml + "</channel></rss>");
    }

    // Checks on request and waits for the check; its error, empty on success.
    QString check(Updater &updater) {
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.checkForUpdates();
        EXPECT_TRUE(finished.wait(5000));
        return finished.isEmpty() ? QStringLiteral("no answer")
                                  : finished.first().first().toString();
    }

    // Installs and waits until the download was opened or refused.
    void install(Updater &updater) {
        updater.installAvailableUpdate();
        EXPECT_TRUE(QTest::qWaitFor([this] { return shown->progressEnded > 0; }, 5000));
        QCoreApplication::processEvents();
    }

    // Starts the schedule and waits for its check.
    void startAndWait(Updater &updater) {
        QSignalSpy finished(&updater, &Updater::checkFinished);
        updater.start();
        ASSERT_TRUE(finished.wait(5000));
    }

    QString downloadedFile() const {
        return QString::fromStdString(folder.path().string()) +
               QStringLiteral("/cache/%1/kelo-update/kelo_0.2.0_amd64.deb")
                   .arg(QCoreApplication::applicationName());
    }

    TemporaryFolder folder;
    ScopedEnvironment cache{"XDG_CACHE_HOME", (folder.path() / "cache").c_str()};
    UserDefaults defaults{QString::fromStdString((folder.path() / "Kelo.conf").string())};
    RecordingCenter notifications;
    TestServer server;
    RecordingUi *shown = nullptr;
    const QByteArray payload = QByteArray("!<arch>\nKelo 0.2.0 ").repeated(1000);

private:
    unsigned char m_publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char m_secretKey[crypto_sign_SECRETKEYBYTES];
};

} // namespace

TEST(UpdateUrls, HttpsOrThisMachine) {
    for (const char *allowed : {"https://dorvel.wex/kelo/appcast.xml", "http://127.0.0.1:8080/a",
                                "http://127.1.2.3/a", "http://[::1]:80/a", "http://LocalHost/a"})
        EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QString::fromLatin1(allowed)))) << allowed;
    for (const char *refused :
         {"http://dorvel.wex/kelo/appcast.xml", "http://128.0.0.1/a",
          "http://localhost.example.com/a", "ftp://127.0.0.1/a", "file:///etc/passwd"})
        EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QString::fromLatin1(refused)))) << refused;
}

// Requests in quick succession share one check; its dialog installs the update.
TEST_F(UpdaterTest, NewerVersionOnRequestThenInstall) {
    serveRelease();
    auto updater = makeUpdater();
    shown->install = true;
    QSignalSpy changed(updater.get(), &Updater::availableUpdateChanged);
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    updater->checkForUpdates();
    updater->checkForUpdates();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(finished.first().first().toString(), QString());
    ASSERT_EQ(shown->updates.size(), 1u);
    EXPECT_EQ(shown->updates[0].version, QStringLiteral("0.2.0"));
    EXPECT_TRUE(shown->upToDate.empty());
    EXPECT_EQ(changed.size(), 1);
    ASSERT_TRUE(updater->availableUpdate());
    // On request the answer is the dialog, not a notification.
    EXPECT_TRUE(notifications.posted.empty());

    ASSERT_TRUE(QTest::qWaitFor([this] { return shown->progressEnded > 0; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(server.hits("/appcast.xml"), 1);
    EXPECT_TRUE(shown->errors.empty())
        << (shown->errors.empty() ? "" : shown->errors[0].second.toStdString());
    ASSERT_EQ(shown->opened.size(), 1u);
    EXPECT_EQ(shown->opened[0], downloadedFile());
    QFile file(shown->opened[0]);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), payload);
}

TEST_F(UpdaterTest, OnlyTheNewestNewerVersionIsOffered) {
    const std::pair<std::vector<QString>, QString> cases[] = {
        {{"0.1.0"}, {}}, {{"0.0.9"}, {}}, {{"0.2.0", "0.10.0", "0.9.1"}, "0.10.0"}};
    for (const auto &[versions, offered] : cases) {
        SCOPED_TRACE(versions.back().toStdString());
        serveRelease({}, 0, TestServer::Kind::body, versions);
        auto updater = makeUpdater();
        EXPECT_EQ(check(*updater), QString());
        EXPECT_EQ(updater->availableUpdate().value_or(AppcastItem{}).version, offered);
        if (offered.isEmpty()) {
            EXPECT_TRUE(shown->updates.empty());
            EXPECT_EQ(shown->upToDate, std::vector<QString>{QStringLiteral("0.1.0")});
        } else {
            ASSERT_EQ(shown->updates.size(), 1u);
            EXPECT_EQ(shown->updates[0].version, offered);
        }
    }
}

TEST_F(UpdaterTest, RedirectIsFollowed) {
    server.serve("/old.xml", "/appcast.xml", TestServer::Kind::redirect);
    serveRelease();
    auto options = this->options();
    options.feed = server.url(QStringLiteral("/old.xml"));
    auto updater = makeUpdater(options);
    EXPECT_EQ(check(*updater), QString());
    EXPECT_EQ(shown->updates.size(), 1u);
}

// Every failed check on request says why in one dialog, and offers nothing.
TEST_F(UpdaterTest, FailedChecksAreOneErrorDialog) {
    using Kind = TestServer::Kind;
    const struct {
        QByteArray text;
        Kind kind;
        QString mention;
        int hits;
        const char *feed = nullptr; // instead of the test server's
    } cases[] = {{"<rss><channel><item>", Kind::body, "onleesbaar", 1},
                 {{}, Kind::notFound, "HTTP-status 404", 1},
                 {QByteArray(4096, ' '), Kind::body, "groter dan de 1024 bytes", 1},
                 {{}, Kind::silent, "geen antwoord", 1},
                 // Every byte in time for the transfer timeout, the whole not within the deadline.
                 {QByteArray(100, ' '), Kind::drip, "na 1.5 seconden nog niet binnen", 1},
                 {"http://example.invalid/a.xml", Kind::redirect, "a.xml komt niet via https", 1},
                 // Five redirects are followed, the sixth is refused.
                 {"/appcast.xml", Kind::redirect, "Te veel omleidingen", 6},
                 {{}, Kind::body, "a.xml komt niet via https", 0, "http://example.invalid/a.xml"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mention.toStdString());
        const int hitsBefore = server.hits("/appcast.xml");
        server.serve("/appcast.xml", c.text, c.kind);
        auto options = this->options();
        options.maximumFeedSize = 1024;
        options.feedDeadline = 1500ms;
        if (c.feed)
            options.feed = QUrl(QString::fromLatin1(c.feed));
        auto updater = makeUpdater(options);
        QElapsedTimer timer;
        timer.start();
        const QString error = check(*updater);
        EXPECT_LT(timer.elapsed(), 4000);
        EXPECT_TRUE(error.contains(c.mention)) << error.toStdString();
        ASSERT_EQ(shown->errors.size(), 1u);
        EXPECT_EQ(shown->errors[0].first, QStringLiteral("Kon niet op updates controleren"));
        EXPECT_EQ(shown->errors[0].second, error);
        EXPECT_TRUE(shown->updates.empty() && shown->upToDate.empty());
        EXPECT_FALSE(updater->availableUpdate());
        EXPECT_EQ(server.hits("/appcast.xml") - hitsBefore, c.hits);
    }
}

// A download that is not exactly what the feed promised is refused and removed.
TEST_F(UpdaterTest, ADownloadThatDoesNotMatchTheFeedIsRemoved) {
    const struct {
        QByteArray signature;
        qint64 lengthChange;
        TestServer::Kind kind;
        QString mention;
    } cases[] = {{sign("another payload"), 0, TestServer::Kind::body, "handtekening"},
                 {sign(payload), -1, TestServer::Kind::body, "bytes"},
                 {sign(payload), 1, TestServer::Kind::body, "bytes"},
                 {sign(payload), 0, TestServer::Kind::closeEarly, ""},
                 {sign(payload), 0, TestServer::Kind::drip, "na 1.5 seconden nog niet binnen"}};
    auto options = this->options();
    options.downloadDeadline = 1500ms;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.mention.toStdString() + " " + std::to_string(c.lengthChange));
        serveRelease(c.signature, payload.size() + c.lengthChange, c.kind);
        auto updater = makeUpdater(options);
        check(*updater);
        install(*updater);
        EXPECT_TRUE(shown->opened.empty());
        ASSERT_EQ(shown->errors.size(), 1u);
        EXPECT_EQ(shown->errors[0].first, QStringLiteral("Kon de update niet installeren"));
        EXPECT_TRUE(shown->errors[0].second.contains(c.mention));
        EXPECT_FALSE(QFile::exists(downloadedFile()));
    }
}

TEST_F(UpdaterTest, CancelledDownloadLeavesNothing) {
    serveRelease({}, 0, TestServer::Kind::silent);
    auto options = this->options();
    options.timeout = 10s;
    auto updater = makeUpdater(options);
    check(*updater);
    updater->installAvailableUpdate();
    ASSERT_EQ(shown->progressStarted, 1);
    EXPECT_TRUE(QFile::exists(downloadedFile()));
    shown->cancel();
    EXPECT_TRUE(QTest::qWaitFor([this] { return shown->progressEnded > 0; }, 5000));
    EXPECT_TRUE(shown->errors.empty());
    EXPECT_TRUE(shown->opened.empty());
    EXPECT_FALSE(QFile::exists(downloadedFile()));
}

TEST_F(UpdaterTest, ScheduledCheckIsGentle) {
    serveRelease();
    auto updater = makeUpdater();
    QSignalSpy changed(updater.get(), &Updater::availableUpdateChanged);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    startAndWait(*updater);
    EXPECT_TRUE(shown->updates.empty() && shown->upToDate.empty() && shown->errors.empty());
    ASSERT_EQ(notifications.posted.size(), 1u);
    EXPECT_EQ(notifications.posted[0].title, QStringLiteral("Kelo 0.2.0 is beschikbaar"));
    EXPECT_EQ(notifications.posted[0].body, QStringLiteral("Klik om de update te bekijken."));
    EXPECT_EQ(changed.size(), 1);
    ASSERT_TRUE(updater->availableUpdate());
    EXPECT_EQ(updater->availableUpdate()->version, QStringLiteral("0.2.0"));
    ASSERT_TRUE(defaults.lastUpdateCheck());
    EXPECT_GE(*defaults.lastUpdateCheck(), before.addMSecs(-1));

    // A second start within the day checks nothing.
    auto again = makeUpdater();
    again->start();
    QTest::qWait(300);
    EXPECT_EQ(server.hits("/appcast.xml"), 1);
    EXPECT_FALSE(again->availableUpdate());
}

TEST_F(UpdaterTest, ScheduledCheckAfterADayOnlyLogsItsErrors) {
    server.serve("/appcast.xml", "nonsense");
    defaults.setLastUpdateCheck(QDateTime::currentDateTimeUtc().addSecs(-25 * 3600));
    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    startAndWait(*updater);
    EXPECT_EQ(server.hits("/appcast.xml"), 1);
    EXPECT_FALSE(finished.first().first().toString().isEmpty());
    EXPECT_TRUE(shown->errors.empty());
    EXPECT_TRUE(notifications.posted.empty());
    EXPECT_GT(*defaults.lastUpdateCheck(), QDateTime::currentDateTimeUtc().addSecs(-60));
}

TEST_F(UpdaterTest, BuiltInOptions) {
    {
        ScopedEnvironment unset{"KELO_UPDATE_FEED", nullptr};
        const auto options = Updater::builtInOptions();
        EXPECT_EQ(options.feed.scheme(), QStringLiteral("https"));
        EXPECT_EQ(QByteArray::fromBase64(options.publicKey).size(), 32);
    }
    ScopedEnvironment feed{"KELO_UPDATE_FEED", "https://example.invalid/feed.xml"};
    EXPECT_EQ(Updater::builtInOptions().feed,
              QUrl(QStringLiteral("https://example.invalid/feed.xml")));
}
