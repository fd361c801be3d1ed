#pragma once

#include <QDateTime>
#include <QSettings>
#include <QString>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace kelo {

// Kelo's user defaults, each with its name and default in one place. Stored with QSettings
// under organisation "wex.dorvel", application "Kelo" ($XDG_CONFIG_HOME/wex.dorvel/Kelo.conf).
// Anything but a regular file at that place (a FIFO, a folder) is left alone, with one log line:
// the values then live in memory for this run only.
class UserDefaults {
public:
    // The user's own settings file.
    UserDefaults();
    // Settings kept in `file` (tests).
    explicit UserDefaults(const QString &file);
    ~UserDefaults();

    // Whether what is set now will be read back at the next start: false while the values live
    // in memory only, or the file could not be read or written.
    bool keepsValues() const;

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
    QVariant value(const QString &key) const;
    // Stores and writes the value at once; an invalid value removes the key.
    void store(const QString &key, const QVariant &value);
    // Leaves the file alone from now on, keeping the values read so far in memory.
    void keepInMemory(const QString &why);
    void reportStatus();
    std::optional<QDateTime> dateTime(const QString &key) const;
    void setDateTime(const QString &key, const QDateTime &when);

    QString m_file;
    // None while the values live in m_memory.
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_memory;
    bool m_reported = false;
};

} // namespace kelo
