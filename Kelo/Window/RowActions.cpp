#include "RowActions.h"

#include "FreshnessStyle.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QMenu>

namespace kelo {

FileOperations FileOperations::desktop() {
    return {openFile, revealFile};
}

QUrl fileUrl(const std::filesystem::path &path) {
    const std::string &native = path.native();
    const QByteArray bytes(native.data(), static_cast<qsizetype>(native.size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"), QUrl::StrictMode);
}

void openFile(const std::filesystem::path &path) {
    QDesktopServices::openUrl(fileUrl(path));
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

QMenu *RowActions::menu(const Shelf::Item &item, Shelf &shelf, const FileOperations &operations,
                        QWidget *parent) {
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Each entry keeps its own copy of the item: the shelf may change while the menu is open.
    menu->addAction(tr("Open"), menu, [item, open = operations.open] { open(item.path); });
    menu->addAction(tr("Toon in map"), menu,
                    [item, reveal = operations.reveal] { reveal(item.path); });
    menu->addSeparator();
    QMenu *extend = menu->addMenu(tr("Verlengen"));
    for (const Term term : allTerms) {
        const QString text = tr("%1 vanaf vandaag").arg(termLabel(term));
        extend->addAction(text, menu, [item, term, &shelf] {
            shelf.perform(Shelf::extend(item.path, term), item);
        });
    }
    menu->addAction(tr("Altijd houden"), menu,
                    [item, &shelf] { shelf.perform(Shelf::keepForever(item.path), item); });
    menu->addSeparator();
    menu->addAction(tr("Naar prullenbak"), menu, [item, &shelf] { shelf.trash({item}); });
    return menu;
}

} // namespace kelo
