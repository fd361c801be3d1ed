#include "LoginItem.h"

#include "ConfigHome.h"
#include "DesktopEntry.h"
#include "Log.h"
#include "UserDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include <unistd.h>

namespace kelo {

namespace {

const QString entryName = QStringLiteral("wex.dorvel.Kelo.desktop");

void logFailure(const QString &path, const QString &reason) {
    kelo::log(QStringLiteral("Kelo: login item: %1: %2").arg(path, reason).toStdString());
}

std::filesystem::path fileSystemPath(const QString &path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

QByteArray desktopEntry(const QString &program) {
    const QString entry =
        QStringLiteral("[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Kelo\n"
                       "Comment=Herinnert je aan bestanden die over de datum zijn\n"
                       "Exec=%1 --login-item\n"
                       "Icon=wex.dorvel.Kelo\n"
                       "Terminal=false\n"
                       "NoDisplay=true\n"
                       "X-GNOME-Autostart-enabled=true\n")
            .arg(desktopExecWord(program));
    return entry.toUtf8();
}

bool isValue(const QByteArray &value, const char *expected) {
    return value.trimmed().compare(expected, Qt::CaseInsensitive) == 0;
}

// Whether the [Desktop Entry] group turns the entry off, the two ways desktops do that.
bool disabledByEntry(QFile &file) {
    bool inDesktopEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            inDesktopEntry = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inDesktopEntry || equals < 0)
            continue;
        const QByteArray key = line.left(equals).trimmed();
        const QByteArray value = line.mid(equals + 1);
        if (key == "Hidden" && isValue(value, "true"))
            return true;
        if (key == "X-GNOME-Autostart-enabled" && isValue(value, "false"))
            return true;
    }
    return false;
}

} // namespace

LoginItem::LoginItem(QString program)
    : LoginItem(std::move(program), userConfigHome() + QStringLiteral("/autostart")) {
}

LoginItem::LoginItem(QString program, QString autostartFolder)
    : m_program(std::move(program)), m_folder(std::move(autostartFolder)) {
}

QString LoginItem::entryPath() const {
    return m_folder + u'/' + entryName;
}

bool LoginItem::isEnabled() const {
    // Only a regular file: opening a fifo at that place would block.
    if (!QFileInfo(entryPath()).isFile())
        return false;
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return !disabledByEntry(file);
}

bool LoginItem::setLoginItem(bool enabled) {
    if (!enabled) {
        // unlink rather than remove: a folder of that name is not ours to delete.
        const QByteArray path = QFile::encodeName(entryPath());
        const int error = ::unlink(path.constData()) == 0 ? 0 : errno;
        if (error == 0 || error == ENOENT)
            return true;
        logFailure(entryPath(), QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }

    std::error_code error;
    std::filesystem::create_directories(fileSystemPath(m_folder), error);
    if (error) {
        logFailure(m_folder, QString::fromStdString(error.message()));
        return false;
    }
    QSaveFile file(entryPath());
    if (!file.open(QIODevice::WriteOnly)) {
        logFailure(entryPath(), file.errorString());
        return false;
    }
    file.write(desktopEntry(m_program));
    if (file.commit())
        return true;
    logFailure(entryPath(), file.errorString());
    return false;
}

void LoginItem::offerLoginItemOnce(UserDefaults &defaults) {
    if (defaults.loginItemOffered())
        return;
    // Made only where the record of it is kept: otherwise every start would register again,
    // even after the user turned the login item off.
    if (!defaults.keepsValues())
        return;
    // Recorded first: a registration that fails is not tried again at the next start either.
    defaults.setLoginItemOffered(true);
    if (defaults.keepsValues())
        setLoginItem(true);
}

} // namespace kelo
