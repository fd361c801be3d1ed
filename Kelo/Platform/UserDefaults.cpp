#include "UserDefaults.h"

#include "ConfigHome.h"
#include "Log.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace kelo {

namespace {

const QString loginItemOfferedKey = QStringLiteral("loginItemOffered");
const QString lastReminderKey = QStringLiteral("lastReminder");
const QString lastUpdateCheckKey = QStringLiteral("lastUpdateCheck");

// Empty when QSettings may use `file`: a regular file, or nothing yet. QSettings would block
// opening a FIFO for good, and can keep nothing in a folder or a device.
QString whyUnusable(const QString &file) {
    struct stat info {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0)
        return errno == ENOENT ? QString() : QString::fromLocal8Bit(std::strerror(errno));
    return S_ISREG(info.st_mode) ? QString() : QStringLiteral("not a regular file");
}

QString statusText(QSettings::Status status) {
    return status == QSettings::FormatError ? QStringLiteral("cannot be read")
                                            : QStringLiteral("cannot be read or written");
}

} // namespace

// The path is worked out here rather than left to QSettings, which reads XDG_CONFIG_HOME only
// once per process.
UserDefaults::UserDefaults()
    : UserDefaults(userConfigHome() + QStringLiteral("/wex.dorvel/Kelo.conf")) {
}

UserDefaults::UserDefaults(const QString &file) : m_file(file) {
    if (const QString why = whyUnusable(m_file); !why.isEmpty()) {
        keepInMemory(why);
        return;
    }
    m_settings = std::make_unique<QSettings>(m_file, QSettings::IniFormat);
    // QSettings parses the file at its first use: all of it now, so that the status tells
    // whether it could.
    m_settings->allKeys();
    reportStatus();
}

UserDefaults::~UserDefaults() = default;

bool UserDefaults::keepsValues() const {
    return m_settings && m_settings->status() == QSettings::NoError;
}

QVariant UserDefaults::value(const QString &key) const {
    return m_settings ? m_settings->value(key) : m_memory.value(key);
}

void UserDefaults::store(const QString &key, const QVariant &value) {
    // Checked again before each write: the file may have been replaced since the start.
    if (m_settings) {
        if (const QString why = whyUnusable(m_file); !why.isEmpty())
            keepInMemory(why);
    }
    if (!m_settings) {
        if (value.isValid())
            m_memory.insert(key, value);
        else
            m_memory.remove(key);
        return;
    }
    if (value.isValid())
        m_settings->setValue(key, value);
    else
        m_settings->remove(key);
    m_settings->sync();
    reportStatus();
}

void UserDefaults::keepInMemory(const QString &why) {
    if (m_settings) {
        for (const QString &key : m_settings->allKeys())
            m_memory.insert(key, m_settings->value(key));
        m_settings.reset();
    }
    if (m_reported)
        return;
    m_reported = true;
    kelo::log(
        QStringLiteral("Kelo: settings: %1: %2; Kelo runs with its defaults and leaves it alone")
            .arg(m_file, why)
            .toStdString());
}

void UserDefaults::reportStatus() {
    if (m_reported || !m_settings || m_settings->status() == QSettings::NoError)
        return;
    m_reported = true;
    kelo::log(QStringLiteral("Kelo: settings: %1 %2; what Kelo learns now may be forgotten")
                  .arg(m_file, statusText(m_settings->status()))
                  .toStdString());
}

bool UserDefaults::loginItemOffered() const {
    // Strict on purpose: QVariant::toBool would take any text but "0" and "false" as true.
    const QString text = value(loginItemOfferedKey).toString().trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           text == QLatin1String("1");
}

void UserDefaults::setLoginItemOffered(bool offered) {
    store(loginItemOfferedKey, offered);
}

std::optional<QDateTime> UserDefaults::lastReminder() const {
    return dateTime(lastReminderKey);
}

void UserDefaults::setLastReminder(const QDateTime &when) {
    setDateTime(lastReminderKey, when);
}

std::optional<QDateTime> UserDefaults::lastUpdateCheck() const {
    return dateTime(lastUpdateCheckKey);
}

void UserDefaults::setLastUpdateCheck(const QDateTime &when) {
    setDateTime(lastUpdateCheckKey, when);
}

std::optional<QDateTime> UserDefaults::dateTime(const QString &key) const {
    const QString text = value(key).toString().trimmed();
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime::fromString(text, Qt::ISODate);
    if (!when.isValid())
        return std::nullopt;
    return when.toUTC();
}

void UserDefaults::setDateTime(const QString &key, const QDateTime &when) {
    store(key, when.isValid() ? QVariant(when.toUTC().toString(Qt::ISODateWithMs)) : QVariant());
}

bool UserDefaults::hasLastReminder() const {
    return m_settings ? m_settings->contains(lastReminderKey) : m_memory.contains(lastReminderKey);
}

} // namespace kelo
