#pragma once

#include <QObject>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

#include "Appcast.h"

class QFile;

namespace kelo {

class NotificationCenter;
class UpdaterUi;
class UserDefaults;

// Kelo's own updater on a Sparkle-format appcast. One per process, made at start-up: it checks
// at launch and once a day; a scheduled check that finds an update never puts a window in front
// of the user (it shows a notification and a tray entry); "Zoek naar updates…" checks now and
// answers with a dialog. The helper kelo-fetch fetches the feed and the updates over HTTPS;
// updates are checked against their length and their ed25519 signature, and only then handed to
// the desktop's installer.
class Updater : public QObject {
    Q_OBJECT

public:
    struct Options {
        // The feed; KELO_UPDATE_FEED replaces the built-in address.
        QUrl feed;
        QString currentVersion;
        QByteArray publicKey; // base64 ed25519
        // The helper program that fetches (kelo-fetch).
        QString fetchHelper;
        // A transfer that stalls this long fails.
        std::chrono::milliseconds timeout{30000};
        // The longest a check or a download may take in all, however steadily bytes come: the
        // largest feed arrives in two minutes at 9 kB/s, and a download shows its progress
        // (and can be cancelled), so an hour leaves a slow line room for the largest one.
        std::chrono::milliseconds feedDeadline = std::chrono::minutes(2);
        std::chrono::milliseconds downloadDeadline = std::chrono::hours(1);
        qint64 maximumFeedSize = 1 << 20;
        qint64 maximumDownloadSize = qint64(512) << 20;
    };

    // The options this build of Kelo runs with.
    static Options builtInOptions();

    Updater(Options options, UserDefaults &defaults, NotificationCenter &notifications,
            QObject *parent = nullptr);
    ~Updater() override;

    // Replaces the dialogs and the desktop hand-over (tests); the default shows message boxes.
    void setUi(std::unique_ptr<UpdaterUi> ui);

    // Starts the schedule: a check now if the last one is a day old, then once a day.
    void start();
    // "Zoek naar updates…": check now, with a dialog for every outcome. A request while a check
    // runs joins it.
    void checkForUpdates();
    // The update a scheduled check found, if any (the tray shows an entry for it).
    std::optional<AppcastItem> availableUpdate() const;
    // Downloads the available update, checks it and opens it with the desktop's installer.
    void installAvailableUpdate();

signals:
    void availableUpdateChanged();
    // For tests: a check finished; `error` is empty on success.
    void checkFinished(const QString &error);

private:
    void runCheck(bool scheduled, bool withDialog);
    void finishCheck(const QString &error, const std::optional<AppcastItem> &update);
    // Empty when the download has the feed's length and signature; else why not.
    QString checkDownload(QFile &file, const AppcastItem &item) const;

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kelo
