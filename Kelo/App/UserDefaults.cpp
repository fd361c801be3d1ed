#include "UserDefaults.h"

#include "ConfigHome.h"

namespace kelo {

namespace {

const QString loginItemOfferedKey = QStringLiteral("loginItemOffered");
const QString lastReminderKey = QStringLiteral("lastReminder");
const QString lastUpdateCheckKey = QStringLiteral("lastUpdateCheck");

} // namespace

// The path is worked out here rather than left to QSettings, which reads XDG_CONFIG_HOME only
// once per process.
UserDefaults::UserDefaults()
    : UserDefaults(userConfigHome() + QStringLiteral("/wex.dorvel/Kelo.conf")) {
}

UserDefaults::UserDefaults(const QString &file)
    : m_settings(std::make_unique<QSettings>(file, QSettings::IniFormat)) {
}

UserDefaults::~UserDefaults() = default;

bool UserDefaults::loginItemOffered() const {
    // Strict on purpose: QVariant::toBool would take any text but "0" and "false" as true.
    const QString text = m_settings->value(loginItemOfferedKey).toString().trimmed();
    return text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
           text == QLatin1String("1");
}

void UserDefaults::setLoginItemOffered(bool offered) {
    m_settings->setValue(loginItemOfferedKey, offered);
    m_settings->sync();
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
    const QString text = m_settings->value(key).toString().trimmed();
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime::fromString(text, Qt::ISODate);
    if (!when.isValid())
        return std::nullopt;
    return when.toUTC();
}

void UserDefaults::setDateTime(const QString &key, const QDateTime &when) {
    if (when.isValid())
        m_settings->setValue(key, when.toUTC().toString(Qt::ISODateWithMs));
    else
        m_settings->remove(key);
    m_settings->sync();
}

bool UserDefaults::hasLastReminder() const {
    return m_settings->contains(QStringLiteral("lastReminder"));
}

} // namespace kelo
