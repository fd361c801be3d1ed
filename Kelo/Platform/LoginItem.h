#pragma once

#include <QString>

namespace kelo {

class UserDefaults;

// Starting Kelo at login, through the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/wex.dorvel.Kelo.desktop, whose Exec starts `kelo --login-item`.
class LoginItem {
public:
    // The entry for this user, starting `program`.
    explicit LoginItem(QString program);
    // An entry in another folder (tests).
    LoginItem(QString program, QString autostartFolder);

    QString entryPath() const;
    // Registered: the entry exists and is not disabled (neither Hidden=true nor
    // X-GNOME-Autostart-enabled=false).
    bool isEnabled() const;
    // Writes or removes the entry; a failure writes "Kelo: login item: " and the reason to the
    // log, and nothing else. True when the entry was written or removed.
    bool setLoginItem(bool enabled);
    // At every start: registers once per account, the first time; never again after that, and
    // not at all while the user defaults cannot keep the record of it.
    void offerLoginItemOnce(UserDefaults &defaults);

private:
    QString m_program;
    QString m_folder;
};

} // namespace kelo
