// The updater against a small HTTP server on 127.0.0.1: checks on request and on schedule,
// downloads, their signature and length, and the network rules.
#include "Updater.h"
#include "NotificationCenter.h"
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

#include <sodium.h>

#include <map>

#include <gtest/gtest.h>

using namespace kelo;
using namespace std::chrono_literals;

namespace {

// A tiny HTTP/1.1 server with a canned response per path.
class TestServer : public QObject {
public:
    enum class Kind { body, redirect, silent, closeEarly };
    struct Response {
        Kind kind = Kind::body;
        QByteArray body;
        QByteArray location;
    };

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
    void serve(const QByteArray &path, Response response) { m_routes[path] = std::move(response); }
    int hits(const QByteArray &path) const {
        const auto found = m_hits.find(path);
        return found == m_hits.end() ? 0 : found->second;
    }

private:
    void read(QTcpSocket *socket) {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        buffer.clear();
        const QByteArray path = requestLine.value(1);
        ++m_hits[path];
        const auto found = m_routes.find(path);
        if (found == m_routes.end()) {
            socket->write(
                "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
            return;
        }
        const Response &response = found->second;
        switch (response.kind) {
        case Kind::silent:
            return;
        case Kind::redirect:
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + response.location +
                          "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            break;
        case Kind::body:
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                "\r\nConnection: close\r\n\r\n" + response.body);
            break;
        case Kind::closeEarly:
            socket->write(
                "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                "\r\nConnection: close\r\n\r\n" + response.body.left(response.body.size() / 2));
            break;
        }
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    std::map<QByteArray, Response> m_routes;
    std::map<QByteArray, int> m_hits;
    std::map<QTcpSocket *, QByteArray> m_buffers;
};

class RecordingCenter : public NotificationCenter {
public:
    void requestAuthorization(AuthorizationAnswer answer) override { answer(true, {}); }
    void post(const Notification &notification, PostAnswer answer) override {
        posted.push_back(notification);
        answer(std::nullopt);
    }
    std::vector<Notification> posted;
};

// What the updater showed; it answers "Installeren" when told to.
struct Shown {
    std::vector<AppcastItem> updates;
    std::vector<QString> upToDate;
    std::vector<std::pair<QString, QString>> errors;
    std::vector<QString> opened;
    int progressStarted = 0;
    int progressEnded = 0;
    bool install = false;
    bool openSucceeds = true;
    std::function<void()> cancel;
};

class RecordingUi : public UpdaterUi {
public:
    explicit RecordingUi(Shown &shown) : m_shown(shown) {}
    void showUpdate(const AppcastItem &item, const QString &,
                    std::function<void(bool install)> answer) override {
        m_shown.updates.push_back(item);
        answer(m_shown.install);
    }
    void showUpToDate(const QString &version) override { m_shown.upToDate.push_back(version); }
    void showError(const QString &title, const QString &message) override {
        m_shown.errors.emplace_back(title, message);
    }
    void startProgress(const QString &, qint64, std::function<void()> cancel) override {
        ++m_shown.progressStarted;
        m_shown.cancel = std::move(cancel);
    }
    void setProgress(qint64) override {}
    void endProgress() override { ++m_shown.progressEnded; }
    bool open(const QString &path) override {
        m_shown.opened.push_back(path);
        return m_shown.openSucceeds;
    }

private:
    Shown &m_shown;
};

struct FeedItem {
    QString version;
    QUrl url;
    qint64 length;
    QByteArray signature;
    QString description = QStringLiteral("<p>Beter <b>dan</b> ooit.</p>");
};

QByteArray feed(const std::vector<FeedItem> &items) {
    QByteArray xml = R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
<channel><title>Kelo</title>)";
    for (const FeedItem &item : items) {
        xml += "<item><title>Kelo " + item.version.toUtf8() + "</title><sparkle:version>" +
               item.version.toUtf8() + "</sparkle:version><description>" +
               item.description.toHtmlEscaped().toUtf8() + "</description><enclosure url=\"" +
               item.url.toString(QUrl::FullyEncoded).toHtmlEscaped().toUtf8() + "\" length=\"" +
               QByteArray::number(item.length) +
               "\" type=\"application/vnd.debian.binary-package\" sparkle:edSignature=\"" +
               item.signature + "\"/></item>";
    }
    return xml + "</channel></rss>";
}

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

    std::unique_ptr<Updater> makeUpdater(Updater::Options options) {
        auto updater = std::make_unique<Updater>(std::move(options), defaults, notifications);
        updater->setUi(std::make_unique<RecordingUi>(shown));
        return updater;
    }
    std::unique_ptr<Updater> makeUpdater() { return makeUpdater(options()); }

    // Serves the feed with one release, 0.2.0, and its payload.
    void serveRelease(const QByteArray &signature, qint64 claimedLength) {
        server.serve("/kelo_0.2.0_amd64.deb", {TestServer::Kind::body, payload, {}});
        server.serve("/appcast.xml", {TestServer::Kind::body,
                                      feed({{QStringLiteral("0.2.0"),
                                             server.url(QStringLiteral("/kelo_0.2.0_amd64.deb")),
                                             claimedLength, signature}}),
                                      {}});
    }

    // Checks on request and waits for the check.
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
        EXPECT_TRUE(QTest::qWaitFor([this] { return shown.progressEnded > 0; }, 5000));
        QCoreApplication::processEvents();
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
    Shown shown;
    const QByteArray payload = QByteArray("!<arch>\nKelo 0.2.0 ").repeated(1000);

private:
    unsigned char m_publicKey[crypto_sign_PUBLICKEYBYTES];
    unsigned char m_secretKey[crypto_sign_SECRETKEYBYTES];
};

} // namespace

TEST(UpdateUrls, HttpsOrThisMachine) {
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QStringLiteral("https://dorvel.wex/kelo/appcast.xml"))));
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://127.0.0.1:8080/a"))));
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://127.1.2.3/a"))));
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://[::1]:80/a"))));
    EXPECT_TRUE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://LocalHost/a"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://dorvel.wex/kelo/appcast.xml"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://128.0.0.1/a"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QStringLiteral("http://localhost.example.com/a"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QStringLiteral("ftp://127.0.0.1/a"))));
    EXPECT_FALSE(isAllowedUpdateUrl(QUrl(QStringLiteral("file:///etc/passwd"))));
}

TEST_F(UpdaterTest, NewerVersionOnRequestThenInstall) {
    serveRelease(sign(payload), payload.size());
    auto updater = makeUpdater();
    QSignalSpy changed(updater.get(), &Updater::availableUpdateChanged);
    EXPECT_EQ(check(*updater), QString());
    ASSERT_EQ(shown.updates.size(), 1u);
    EXPECT_EQ(shown.updates[0].version, QStringLiteral("0.2.0"));
    EXPECT_TRUE(shown.upToDate.empty());
    EXPECT_TRUE(shown.errors.empty());
    EXPECT_EQ(changed.size(), 1);
    ASSERT_TRUE(updater->availableUpdate());
    // On request the answer is the dialog, not a notification.
    EXPECT_TRUE(notifications.posted.empty());

    install(*updater);
    EXPECT_TRUE(shown.errors.empty())
        << (shown.errors.empty() ? "" : shown.errors[0].second.toStdString());
    ASSERT_EQ(shown.opened.size(), 1u);
    EXPECT_EQ(shown.opened[0], downloadedFile());
    QFile file(shown.opened[0]);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), payload);
}

TEST_F(UpdaterTest, InstallFromTheDialog) {
    serveRelease(sign(payload), payload.size());
    auto updater = makeUpdater();
    shown.install = true;
    check(*updater);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !shown.opened.empty(); }, 5000));
}

TEST_F(UpdaterTest, SameAndOlderVersionsAreNone) {
    for (const char *version : {"0.1.0", "0.0.9"}) {
        shown = {};
        server.serve("/appcast.xml", {TestServer::Kind::body,
                                      feed({{QString::fromLatin1(version),
                                             server.url(QStringLiteral("/k.deb")), 10, sign("x")}}),
                                      {}});
        auto updater = makeUpdater();
        EXPECT_EQ(check(*updater), QString());
        EXPECT_TRUE(shown.updates.empty()) << version;
        ASSERT_EQ(shown.upToDate.size(), 1u) << version;
        EXPECT_EQ(shown.upToDate[0], QStringLiteral("0.1.0"));
        EXPECT_FALSE(updater->availableUpdate());
    }
}

TEST_F(UpdaterTest, SeveralItemsGiveTheNewest) {
    const QUrl url = server.url(QStringLiteral("/k.deb"));
    server.serve("/appcast.xml", {TestServer::Kind::body,
                                  feed({{QStringLiteral("0.2.0"), url, 10, sign("x")},
                                        {QStringLiteral("0.10.0"), url, 10, sign("x")},
                                        {QStringLiteral("0.9.1"), url, 10, sign("x")}}),
                                  {}});
    auto updater = makeUpdater();
    check(*updater);
    ASSERT_EQ(shown.updates.size(), 1u);
    EXPECT_EQ(shown.updates[0].version, QStringLiteral("0.10.0"));
    EXPECT_EQ(updater->availableUpdate()->version, QStringLiteral("0.10.0"));
}

TEST_F(UpdaterTest, MalformedFeedIsAnError) {
    server.serve("/appcast.xml", {TestServer::Kind::body, "<rss><channel><item>", {}});
    auto updater = makeUpdater();
    EXPECT_FALSE(check(*updater).isEmpty());
    ASSERT_EQ(shown.errors.size(), 1u);
    EXPECT_EQ(shown.errors[0].first, QStringLiteral("Kon niet op updates controleren"));
    EXPECT_TRUE(shown.updates.empty());
    EXPECT_TRUE(shown.upToDate.empty());
}

TEST_F(UpdaterTest, MissingFeedIsAnError) {
    auto updater = makeUpdater();
    EXPECT_TRUE(check(*updater).contains(QStringLiteral("404")));
    EXPECT_EQ(shown.errors.size(), 1u);
}

TEST_F(UpdaterTest, FeedLargerThanItsMaximumIsRefused) {
    server.serve("/appcast.xml", {TestServer::Kind::body, QByteArray(4096, ' '), {}});
    auto options = this->options();
    options.maximumFeedSize = 1024;
    auto updater = makeUpdater(options);
    EXPECT_TRUE(check(*updater).contains(QStringLiteral("groter")));
}

TEST_F(UpdaterTest, WrongSignatureIsRefused) {
    serveRelease(sign("another payload"), payload.size());
    auto updater = makeUpdater();
    check(*updater);
    install(*updater);
    EXPECT_TRUE(shown.opened.empty());
    ASSERT_EQ(shown.errors.size(), 1u);
    EXPECT_EQ(shown.errors[0].first, QStringLiteral("Kon de update niet installeren"));
    EXPECT_TRUE(shown.errors[0].second.contains(QStringLiteral("handtekening")));
    EXPECT_FALSE(QFile::exists(downloadedFile()));
}

TEST_F(UpdaterTest, ShorterClaimedLengthIsRefused) {
    serveRelease(sign(payload), payload.size() - 1);
    auto updater = makeUpdater();
    check(*updater);
    install(*updater);
    EXPECT_TRUE(shown.opened.empty());
    EXPECT_EQ(shown.errors.size(), 1u);
    EXPECT_FALSE(QFile::exists(downloadedFile()));
}

TEST_F(UpdaterTest, LongerClaimedLengthIsRefused) {
    serveRelease(sign(payload), payload.size() + 1);
    auto updater = makeUpdater();
    check(*updater);
    install(*updater);
    EXPECT_TRUE(shown.opened.empty());
    ASSERT_EQ(shown.errors.size(), 1u);
    EXPECT_TRUE(shown.errors[0].second.contains(QStringLiteral("bytes")));
    EXPECT_FALSE(QFile::exists(downloadedFile()));
}

TEST_F(UpdaterTest, DownloadCutShortIsRefused) {
    serveRelease(sign(payload), payload.size());
    server.serve("/kelo_0.2.0_amd64.deb", {TestServer::Kind::closeEarly, payload, {}});
    auto updater = makeUpdater();
    check(*updater);
    install(*updater);
    EXPECT_TRUE(shown.opened.empty());
    EXPECT_EQ(shown.errors.size(), 1u);
    EXPECT_FALSE(QFile::exists(downloadedFile()));
}

TEST_F(UpdaterTest, CancelledDownloadLeavesNothing) {
    serveRelease(sign(payload), payload.size());
    server.serve("/kelo_0.2.0_amd64.deb", {TestServer::Kind::silent, {}, {}});
    auto options = this->options();
    options.timeout = 10s;
    auto updater = makeUpdater(options);
    check(*updater);
    updater->installAvailableUpdate();
    ASSERT_EQ(shown.progressStarted, 1);
    EXPECT_TRUE(QFile::exists(downloadedFile()));
    shown.cancel();
    EXPECT_TRUE(QTest::qWaitFor([this] { return shown.progressEnded > 0; }, 5000));
    EXPECT_TRUE(shown.errors.empty());
    EXPECT_TRUE(shown.opened.empty());
    EXPECT_FALSE(QFile::exists(downloadedFile()));
}

TEST_F(UpdaterTest, SilentServerTimesOut) {
    server.serve("/appcast.xml", {TestServer::Kind::silent, {}, {}});
    auto updater = makeUpdater();
    QElapsedTimer timer;
    timer.start();
    const QString error = check(*updater);
    EXPECT_LT(timer.elapsed(), 4000);
    EXPECT_TRUE(error.contains(QStringLiteral("geen antwoord"))) << error.toStdString();
    EXPECT_EQ(shown.errors.size(), 1u);
}

TEST_F(UpdaterTest, RedirectIsFollowed) {
    server.serve("/old.xml", {TestServer::Kind::redirect, {}, "/appcast.xml"});
    server.serve(
        "/appcast.xml",
        {TestServer::Kind::body,
         feed({{QStringLiteral("0.2.0"), server.url(QStringLiteral("/k.deb")), 10, sign("x")}}),
         {}});
    auto options = this->options();
    options.feed = server.url(QStringLiteral("/old.xml"));
    auto updater = makeUpdater(options);
    EXPECT_EQ(check(*updater), QString());
    EXPECT_EQ(shown.updates.size(), 1u);
}

TEST_F(UpdaterTest, RedirectToPlainHttpElsewhereIsRefused) {
    server.serve("/appcast.xml",
                 {TestServer::Kind::redirect, {}, "http://example.invalid/appcast.xml"});
    auto updater = makeUpdater();
    const QString error = check(*updater);
    EXPECT_TRUE(error.contains(QStringLiteral("niet via https"))) << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("example.invalid")));
    EXPECT_EQ(shown.errors.size(), 1u);
}

TEST_F(UpdaterTest, RedirectLoopIsRefused) {
    server.serve("/appcast.xml", {TestServer::Kind::redirect, {}, "/appcast.xml"});
    auto updater = makeUpdater();
    EXPECT_TRUE(check(*updater).contains(QStringLiteral("omleidingen")));
    EXPECT_EQ(server.hits("/appcast.xml"), 6);
}

TEST_F(UpdaterTest, PlainHttpFeedElsewhereIsRefused) {
    auto options = this->options();
    options.feed = QUrl(QStringLiteral("http://example.invalid/appcast.xml"));
    auto updater = makeUpdater(options);
    EXPECT_TRUE(check(*updater).contains(QStringLiteral("niet via https")));
}

TEST_F(UpdaterTest, RequestsInQuickSuccessionShareOneCheck) {
    serveRelease(sign(payload), payload.size());
    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    updater->checkForUpdates();
    updater->checkForUpdates();
    ASSERT_TRUE(finished.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(server.hits("/appcast.xml"), 1);
    EXPECT_EQ(shown.updates.size(), 1u);
}

TEST_F(UpdaterTest, ScheduledCheckIsGentle) {
    serveRelease(sign(payload), payload.size());
    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    QSignalSpy changed(updater.get(), &Updater::availableUpdateChanged);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    updater->start();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(shown.updates.empty());
    EXPECT_TRUE(shown.upToDate.empty());
    EXPECT_TRUE(shown.errors.empty());
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

TEST_F(UpdaterTest, ScheduledCheckAfterADay) {
    serveRelease(sign(payload), payload.size());
    defaults.setLastUpdateCheck(QDateTime::currentDateTimeUtc().addSecs(-25 * 3600));
    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    updater->start();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(server.hits("/appcast.xml"), 1);
    EXPECT_GT(*defaults.lastUpdateCheck(), QDateTime::currentDateTimeUtc().addSecs(-60));
}

TEST_F(UpdaterTest, ScheduledErrorsAreOnlyLogged) {
    server.serve("/appcast.xml", {TestServer::Kind::body, "nonsense", {}});
    auto updater = makeUpdater();
    QSignalSpy finished(updater.get(), &Updater::checkFinished);
    updater->start();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finished.first().first().toString().isEmpty());
    EXPECT_TRUE(shown.errors.empty());
    EXPECT_TRUE(notifications.posted.empty());
}

TEST_F(UpdaterTest, BuiltInOptions) {
    {
        ScopedEnvironment unset{"KELO_UPDATE_FEED", nullptr};
        const auto options = Updater::builtInOptions();
        EXPECT_EQ(options.feed.scheme(), QStringLiteral("https"));
        EXPECT_EQ(options.currentVersion, QStringLiteral("0.1.0"));
        EXPECT_EQ(QByteArray::fromBase64(options.publicKey).size(), 32);
    }
    ScopedEnvironment feed{"KELO_UPDATE_FEED", "https://example.invalid/feed.xml"};
    EXPECT_EQ(Updater::builtInOptions().feed,
              QUrl(QStringLiteral("https://example.invalid/feed.xml")));
}
