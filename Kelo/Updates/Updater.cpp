#include "Updater.h"

#include "Clock.h"
#include "FetchProcess.h"
#include "Log.h"
#include "NotificationCenter.h"
#include "UpdaterUi.h"
#include "UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>

namespace kelo {

namespace {

constexpr std::chrono::milliseconds checkInterval = std::chrono::hours(24);
const QString fallbackFileName = QStringLiteral("kelo-update.deb");

// The last segment of the URL's path, as a plain file name in the download folder.
QString downloadFileName(const QUrl &url) {
    QString name = url.fileName(QUrl::FullyDecoded);
    name.removeIf(
        [](QChar c) { return c == u'/' || c == u'\\' || c.category() == QChar::Other_Control; });
    while (name.startsWith(u'.'))
        name.remove(0, 1);
    if (name.isEmpty() || name.toUtf8().size() > 200)
        return fallbackFileName;
    return name;
}

QString downloadFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    return base + QStringLiteral("/kelo-update");
}

} // namespace

struct Updater::Private {
    Private(Options o, UserDefaults &d, NotificationCenter &n)
        : options(std::move(o)), defaults(d), notifications(n), ui(UpdaterUi::makeDefault()) {}

    Options options;
    UserDefaults &defaults;
    NotificationCenter &notifications;
    std::unique_ptr<UpdaterUi> ui;
    QTimer schedule;
    std::optional<AppcastItem> available;
    // The version the last notification announced, so that a daily check does not repeat it.
    QString announcedVersion;

    QPointer<FetchProcess> check;
    bool checkIsScheduled = false;
    bool checkAnswersWithDialog = false;

    QPointer<FetchProcess> download;
    std::unique_ptr<QFile> downloadFile;
};

Updater::Options Updater::builtInOptions() {
    Options options;
    const QString feed = qEnvironmentVariable("KELO_UPDATE_FEED");
    options.feed = QUrl(feed.isEmpty() ? QStringLiteral(KELO_UPDATE_FEED_URL) : feed);
    options.currentVersion = QStringLiteral(KELO_VERSION);
    options.publicKey = QByteArrayLiteral(KELO_UPDATE_PUBLIC_KEY);
    options.fetchHelper = fetchHelperPath();
    return options;
}

Updater::Updater(Options options, UserDefaults &defaults, NotificationCenter &notifications,
                 QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(std::move(options), defaults, notifications)) {
    d->schedule.setSingleShot(true);
    connect(&d->schedule, &QTimer::timeout, this, [this] {
        d->schedule.start(checkInterval);
        runCheck(true, false);
    });
}

Updater::~Updater() {
    delete d->check.data();
    delete d->download.data();
    if (d->downloadFile) {
        d->downloadFile->remove();
        d->ui->endProgress();
    }
}

void Updater::setUi(std::unique_ptr<UpdaterUi> ui) {
    if (ui)
        d->ui = std::move(ui);
}

namespace {

QDateTime clockNow() {
    return QDateTime::fromMSecsSinceEpoch(Clock::now().time_since_epoch().count(), Qt::UTC);
}

} // namespace

void Updater::start() {
    const QDateTime now = clockNow();
    std::chrono::milliseconds wait{0};
    // A last check in the future (the clock was set back) counts as no check.
    if (const auto last = d->defaults.lastUpdateCheck(); last && *last <= now)
        wait = std::max(std::chrono::milliseconds(0),
                        checkInterval - std::chrono::milliseconds(last->msecsTo(now)));
    d->schedule.start(wait);
}

void Updater::checkForUpdates() {
    runCheck(false, true);
}

std::optional<AppcastItem> Updater::availableUpdate() const {
    return d->available;
}

void Updater::runCheck(bool scheduled, bool withDialog) {
    if (d->check) {
        // Joined: the running check answers with the dialog.
        d->checkAnswersWithDialog = d->checkAnswersWithDialog || withDialog;
        return;
    }
    d->checkIsScheduled = scheduled;
    d->checkAnswersWithDialog = withDialog;
    auto *fetch =
        new FetchProcess(d->options.fetchHelper, d->options.feed, d->options.maximumFeedSize,
                         d->options.timeout, d->options.feedDeadline, {}, this);
    d->check = fetch;
    connect(fetch, &FetchProcess::finished, this, [this, fetch](const QString &fetchError) {
        fetch->deleteLater();
        d->check = nullptr;
        QString error = fetchError;
        std::optional<AppcastItem> update;
        if (error.isEmpty()) {
            const auto parsed = parseAppcast(fetch->body(), d->options.maximumFeedSize);
            if (const auto *problem = std::get_if<AppcastError>(&parsed))
                error = tr("De updatefeed is onleesbaar: %1").arg(problem->description);
            else
                update = newestUpdate(std::get<std::vector<AppcastItem>>(parsed),
                                      d->options.currentVersion);
        }
        finishCheck(error, update);
    });
}

void Updater::finishCheck(const QString &error, const std::optional<AppcastItem> &update) {
    const bool withDialog = d->checkAnswersWithDialog;
    if (d->checkIsScheduled)
        d->defaults.setLastUpdateCheck(clockNow());
    if (!error.isEmpty()) {
        kelo::log("Kelo: update check: " + error.toStdString());
    } else {
        const bool changed = update.has_value() != d->available.has_value() ||
                             (update && update->version != d->available->version);
        d->available = update;
        if (changed)
            emit availableUpdateChanged();
    }
    emit checkFinished(error);

    if (!error.isEmpty()) {
        if (withDialog)
            d->ui->showError(tr("Kon niet op updates controleren"), error);
        return;
    }
    if (!update) {
        if (withDialog)
            d->ui->showUpToDate(d->options.currentVersion);
        return;
    }
    if (withDialog) {
        d->ui->showUpdate(*update, d->options.currentVersion,
                          [self = QPointer(this)](bool install) {
                              if (install && self)
                                  self->installAvailableUpdate();
                          });
    } else if (update->version != d->announcedVersion) {
        d->announcedVersion = update->version;
        d->notifications.post({tr("Kelo %1 is beschikbaar").arg(update->displayVersion()),
                               tr("Klik om de update te bekijken.")},
                              [](const std::optional<QString> &postError) {
                                  if (postError)
                                      kelo::log("Kelo: update notification: " +
                                                postError->toStdString());
                              });
    }
}

void Updater::installAvailableUpdate() {
    if (!d->available || d->download)
        return;
    const AppcastItem item = *d->available;
    const auto refuse = [this](const QString &why) {
        kelo::log("Kelo: update installation: " + why.toStdString());
        d->ui->showError(tr("Kon de update niet installeren"), why);
    };
    if (item.enclosureLength <= 0) {
        refuse(tr("De updatefeed noemt de grootte van de update niet."));
        return;
    }
    if (item.enclosureLength > d->options.maximumDownloadSize) {
        refuse(tr("De update is groter dan de %1 bytes die Kelo toestaat.")
                   .arg(d->options.maximumDownloadSize));
        return;
    }
    if (item.edSignature.isEmpty()) {
        refuse(tr("De update is niet ondertekend."));
        return;
    }
    const QString folder = downloadFolder();
    if (!QDir().mkpath(folder)) {
        refuse(tr("Kon de map %1 niet aanmaken.").arg(folder));
        return;
    }
    auto file = std::make_unique<QFile>(folder + u'/' + downloadFileName(item.enclosureUrl));
    file->remove();
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        refuse(tr("Kon %1 niet aanmaken: %2").arg(file->fileName(), file->errorString()));
        return;
    }
    QFile *target = file.get();
    d->downloadFile = std::move(file);
    auto *fetch = new FetchProcess(
        d->options.fetchHelper, item.enclosureUrl, item.enclosureLength, d->options.timeout,
        d->options.downloadDeadline,
        [target](const QByteArray &piece) { return target->write(piece) == piece.size(); }, this);
    d->download = fetch;
    connect(fetch, &FetchProcess::progress, this,
            [this](qint64 received) { d->ui->setProgress(received); });
    connect(fetch, &FetchProcess::finished, this, [this, fetch, item](const QString &error) {
        fetch->deleteLater();
        d->download = nullptr;
        const std::unique_ptr<QFile> downloaded = std::move(d->downloadFile);
        d->ui->endProgress();
        const bool written = downloaded->flush();
        downloaded->close();
        if (fetch->wasCancelled()) {
            downloaded->remove();
            return;
        }
        const QString problem = !error.isEmpty() ? error
                                : !written       ? tr("Kon de download niet wegschrijven.")
                                                 : checkDownload(*downloaded, item);
        if (!problem.isEmpty()) {
            downloaded->remove();
            kelo::log("Kelo: update installation: " + problem.toStdString());
            d->ui->showError(tr("Kon de update niet installeren"), problem);
            return;
        }
        if (!d->ui->open(downloaded->fileName()))
            d->ui->showError(
                tr("Kon de update niet installeren"),
                tr("Geen programma op deze computer opent %1.").arg(downloaded->fileName()));
    });
    QPointer<FetchProcess> cancellable = fetch;
    d->ui->startProgress(tr("Kelo %1 downloaden…").arg(item.displayVersion()), item.enclosureLength,
                         [cancellable] {
                             if (cancellable)
                                 cancellable->cancel();
                         });
}

QString Updater::checkDownload(QFile &file, const AppcastItem &item) const {
    if (file.size() != item.enclosureLength)
        return tr("De download is %1 bytes, de updatefeed noemt er %2.")
            .arg(file.size())
            .arg(item.enclosureLength);
    if (!file.open(QIODevice::ReadOnly))
        return tr("Kon %1 niet lezen: %2").arg(file.fileName(), file.errorString());
    bool signed_ = false;
    if (uchar *mapped = file.map(0, file.size())) {
        signed_ = verifyEd25519(
            QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), file.size()),
            item.edSignature, d->options.publicKey);
        file.unmap(mapped);
    } else {
        signed_ = verifyEd25519(file.readAll(), item.edSignature, d->options.publicKey);
    }
    file.close();
    if (!signed_)
        return tr("De handtekening van de update klopt niet; Kelo heeft de download verwijderd.");
    return {};
}

} // namespace kelo
