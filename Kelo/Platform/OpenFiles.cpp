#include "OpenFiles.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>

namespace kelo {

QUrl fileUrl(const std::filesystem::path &path) {
    const std::string &native = path.native();
    const QByteArray bytes(native.data(), static_cast<qsizetype>(native.size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

bool openFile(const std::filesystem::path &path) {
    return QDesktopServices::openUrl(fileUrl(path));
}

void revealFile(const std::filesystem::path &path) {
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                       service, QStringLiteral("ShowItems"));
    call << QStringList{QString::fromLatin1(fileUrl(path).toEncoded())} << QString();
    const QUrl folder = fileUrl(path.parent_path());
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QDesktopServices::openUrl(folder);
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [folder](QDBusPendingCallWatcher *finished) {
                         if (finished->isError())
                             QDesktopServices::openUrl(folder);
                         finished->deleteLater();
                     });
}

} // namespace kelo
