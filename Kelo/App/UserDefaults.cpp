#include "UserDefaults.h"

#include "ConfigHome.h"

namespace kelo {

namespace {

const QString loginItemOfferedKey = QStringLiteral("loginItemOffered");
const QString lastReminderKey = QStringLiteral("lastReminder");

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
    const QString text = m_settings->value(lastReminderKey).toString().trimmed();
    QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid())
        when = QDateTime::fromString(text, Qt::ISODate);
    if (!when.isValid())
        return std::nullopt;
    return when.toUTC();
}

void UserDefaults::setLastReminder(const QDateTime &when) {
    if (when.isValid())
        m_settings->setValue(lastReminderKey, when.toUTC().toString(Qt::ISODateWithMs));
    else
        m_settings->remove(lastReminderKey);
    m_settings->sync();
}

bool UserDefaults::hasLastReminder() const {
    return m_settings->contains(QStringLiteral("lastReminder"));
}

} // namespace kelo
