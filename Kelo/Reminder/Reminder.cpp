#include "Reminder.h"

#include "ByteCount.h"
#include "Clock.h"
#include "DiskUsage.h"
#include "Log.h"
#include "NotificationCenter.h"
#include "Shelf.h"
#include "UserDefaults.h"

#include <QDBusConnection>
#include <QDateTime>
#include <QTimeZone>

namespace kelo {
namespace {

Instant toInstant(const QDateTime &when) {
    return Instant(std::chrono::milliseconds(when.toMSecsSinceEpoch()));
}

QDateTime toDateTime(Instant instant) {
    return QDateTime::fromMSecsSinceEpoch(instant.time_since_epoch().count(), Qt::UTC);
}

} // namespace

Reminder::Reminder(Shelf &shelf, UserDefaults &defaults, NotificationCenter &center,
                   Options options)
    : m_shelf(shelf), m_defaults(defaults), m_center(center), m_options(std::move(options)) {
    // A first start reminds no earlier than the first Friday 16:00 after it.
    if (!m_defaults.hasLastReminder())
        m_defaults.setLastReminder(toDateTime(Clock::now()));

    m_center.checkServer([](bool allowed, const QString &error) {
        log(("Kelo: notification server answers: " +
             QString::fromLatin1(allowed ? "true" : "false") + QLatin1Char(' ') + error)
                .toStdString());
    });
    // A click on the reminder opens the window and starts the review.
    connect(&m_center, &NotificationCenter::clicked, this, &Reminder::reviewRequested);

    connect(&m_shelf.diskUsage(), &DiskUsage::sizesChanged, this, &Reminder::postWhenSized);
    connect(&m_shelf, &Shelf::itemsChanged, this, &Reminder::postWhenSized);

    m_timer.setInterval(m_options.interval);
    connect(&m_timer, &QTimer::timeout, this, &Reminder::check);
    m_timer.start();

    // Without a system bus there are no wake checks; the timer still runs.
    if (m_options.watchWake)
        QDBusConnection::systemBus().connect(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"),
            this, SLOT(prepareForSleep(bool)));

    if (m_options.testReminder)
        QTimer::singleShot(m_options.testDelay, this, [this] { send(true); });
    else
        QTimer::singleShot(m_options.startDelay, this, &Reminder::check);
}

Reminder::~Reminder() = default;

void Reminder::prepareForSleep(bool sleeping) {
    if (!sleeping)
        check();
}

void Reminder::check() {
    if (!m_shelf.loaded())
        return;
    const Instant now = Clock::now();
    const auto stored = m_defaults.lastReminder();
    // Stored by a clock that was wrong, or restored from elsewhere: kept, it would silence the
    // reminder until that date.
    if (stored && toInstant(*stored) > now) {
        m_defaults.setLastReminder(toDateTime(now));
        return;
    }
    const Instant last = stored ? toInstant(*stored) : distantPast();
    const Instant mostRecent = moment.mostRecent(now, Calendar::current());
    if (!(last < mostRecent))
        return;
    // The week counts as handled before anything is shown, and also when nothing is expired.
    m_defaults.setLastReminder(toDateTime(now));
    send(false);
}

QString Reminder::body(long long expired, qint64 bytes) {
    if (expired < 1)
        return tr("Er is nu niets over de datum. Zo ziet de melding er op vrijdag uit.");
    if (expired == 1)
        return tr("1 bestand is over de datum (%1).").arg(byteCountText(bytes));
    return tr("%1 bestanden zijn over de datum (%2).").arg(expired).arg(byteCountText(bytes));
}

void Reminder::send(bool test) {
    if (m_waiting)
        return;
    m_waiting = test;
    postWhenSized();
}

void Reminder::postWhenSized() {
    if (!m_waiting)
        return;
    const bool test = *m_waiting;
    DiskUsage &usage = m_shelf.diskUsage();
    const auto expired = m_shelf.items(Freshness::expired);
    std::vector<std::filesystem::path> files;
    files.reserve(expired.size());
    for (const auto &item : expired)
        files.push_back(item.path);
    if (!test && files.empty()) {
        m_waiting.reset();
        usage.want(this, {});
        return;
    }
    usage.want(this, files);
    if (!usage.allKnown(files))
        return;
    qint64 bytes = 0;
    for (const auto &file : files)
        bytes += usage.size(file).value_or(0);
    m_waiting.reset();
    usage.want(this, {});
    const NotificationCenter::Notification notification{
        test ? tr("Tijd om op te ruimen (proefmelding)") : tr("Tijd om op te ruimen"),
        body(static_cast<long long>(files.size()), bytes)};
    m_center.post(notification, [](const std::optional<QString> &error) {
        log(error ? ("Kelo: reminder sent with error " + *error).toStdString()
                  : std::string("Kelo: reminder sent ok"));
    });
}

} // namespace kelo
