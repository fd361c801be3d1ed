#pragma once

#include <QDateTime>
#include <QSettings>
#include <QString>

#include <memory>
#include <optional>

namespace kelo {

// Kelo's user defaults, each with its name and default in one place. Stored with QSettings
// under organisation "wex.dorvel", application "Kelo" ($XDG_CONFIG_HOME/wex.dorvel/Kelo.conf).
class UserDefaults {
public:
    // The user's own settings file.
    UserDefaults();
    // Settings kept in `file` (tests).
    explicit UserDefaults(const QString &file);
    ~UserDefaults();

    // Whether the one automatic login-item registration has been made; absent reads false.
    bool loginItemOffered() const;
    void setLoginItemOffered(bool offered);

    // When the last weekly reminder went out (UTC); a missing or unreadable value is none.
    std::optional<QDateTime> lastReminder() const;
    // Whether anything at all is stored under "lastReminder", date or not.
    bool hasLastReminder() const;
    void setLastReminder(const QDateTime &when);

    // When the updater last finished a scheduled check (UTC); a missing or unreadable value is
    // none.
    std::optional<QDateTime> lastUpdateCheck() const;
    void setLastUpdateCheck(const QDateTime &when);

private:
    std::optional<QDateTime> dateTime(const QString &key) const;
    void setDateTime(const QString &key, const QDateTime &when);

    std::unique_ptr<QSettings> m_settings;
};

} // namespace kelo
