#include "FileManagerIntegration.h"

#include "DesktopEntry.h"
#include "UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <utility>

#include <unistd.h>

#ifndef KELO_NAUTILUS_EXTENSION_DIR
#define KELO_NAUTILUS_EXTENSION_DIR "/usr/lib/x86_64-linux-gnu/nautilus/extensions-4"
#endif
#ifndef KELO_NEMO_EXTENSION_DIR
#define KELO_NEMO_EXTENSION_DIR "/usr/lib/x86_64-linux-gnu/nemo/extensions-3.0"
#endif
#ifndef KELO_THUNAR_EXTENSION_DIR
#define KELO_THUNAR_EXTENSION_DIR "/usr/lib/x86_64-linux-gnu/thunarx-3"
#endif
#ifndef KELO_CAJA_EXTENSION_DIR
#define KELO_CAJA_EXTENSION_DIR "/usr/lib/x86_64-linux-gnu/caja/extensions-2.0"
#endif

namespace kelo {

namespace {

// The menus as they ship, compiled into the program.
const QString dolphinResource = QStringLiteral(":/integrations/dolphin/wex.dorvel.Kelo.desktop");
const QString nemoResources = QStringLiteral(":/integrations/nemo");
const QString nemoPattern = QStringLiteral("wex.dorvel.Kelo.*.nemo_action");

QString relativeFolder(FileManager fileManager) {
    switch (fileManager) {
    case FileManager::dolphin:
        return QStringLiteral("kio/servicemenus");
    case FileManager::nemo:
        return QStringLiteral("nemo/actions");
    case FileManager::nautilus:
    case FileManager::thunar:
    case FileManager::caja:
        break;
    }
    return {};
}

// The menu files one file manager needs: resource path, file name.
std::vector<std::pair<QString, QString>> menuFiles(FileManager fileManager) {
    std::vector<std::pair<QString, QString>> files;
    if (fileManager == FileManager::dolphin) {
        files.emplace_back(dolphinResource, QFileInfo(dolphinResource).fileName());
    } else if (fileManager == FileManager::nemo) {
        const QDir folder(nemoResources);
        for (const QString &name : folder.entryList({nemoPattern}, QDir::Files, QDir::Name))
            files.emplace_back(folder.filePath(name), name);
    }
    return files;
}

bool anyMenuFileIn(const QString &folder, FileManager fileManager) {
    if (folder.isEmpty())
        return false;
    for (const auto &[resource, name] : menuFiles(fileManager)) {
        if (QFileInfo(folder + u'/' + name).isFile())
            return true;
    }
    return false;
}

// The shipped menu with its "kelo-finder" commands pointed at `program`.
QByteArray pointedAt(const QByteArray &menu, const QString &program) {
    const QByteArray shipped = "Exec=kelo-finder ";
    const QByteArray replacement = "Exec=" + desktopExecWord(program).toUtf8() + ' ';
    QList<QByteArray> lines = menu.split('\n');
    for (QByteArray &line : lines) {
        if (line.startsWith(shipped))
            line = replacement + line.mid(shipped.size());
    }
    return lines.join('\n');
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

IntegrationPlaces IntegrationPlaces::current() {
    IntegrationPlaces places;
    places.dataHome = QDir::cleanPath(QFile::decodeName(kelo::dataHome().c_str()));
    for (const auto &folder : dataFolders())
        places.dataDirs << QDir::cleanPath(QFile::decodeName(folder.c_str()));
    places.nautilusExtensionDir = QStringLiteral(KELO_NAUTILUS_EXTENSION_DIR);
    places.nemoExtensionDir = QStringLiteral(KELO_NEMO_EXTENSION_DIR);
    places.thunarExtensionDir = QStringLiteral(KELO_THUNAR_EXTENSION_DIR);
    places.cajaExtensionDir = QStringLiteral(KELO_CAJA_EXTENSION_DIR);

    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/kelo-finder");
    if (QFileInfo(beside).isExecutable())
        places.keloFinder = beside;
    else
        places.keloFinder = QStandardPaths::findExecutable(QStringLiteral("kelo-finder"));
    return places;
}

FileManagerIntegration::FileManagerIntegration(IntegrationPlaces places)
    : m_places(std::move(places)) {
}

const std::vector<FileManager> &FileManagerIntegration::all() {
    static const std::vector<FileManager> fileManagers{FileManager::nautilus, FileManager::dolphin,
                                                       FileManager::nemo, FileManager::thunar,
                                                       FileManager::caja};
    return fileManagers;
}

QString FileManagerIntegration::programName(FileManager fileManager) {
    switch (fileManager) {
    case FileManager::nautilus:
        return QStringLiteral("nautilus");
    case FileManager::dolphin:
        return QStringLiteral("dolphin");
    case FileManager::nemo:
        return QStringLiteral("nemo");
    case FileManager::thunar:
        return QStringLiteral("thunar");
    case FileManager::caja:
        return QStringLiteral("caja");
    }
    return {};
}

QString FileManagerIntegration::moduleFile(FileManager fileManager) const {
    QString folder;
    switch (fileManager) {
    case FileManager::nautilus:
        folder = m_places.nautilusExtensionDir;
        break;
    case FileManager::nemo:
        folder = m_places.nemoExtensionDir;
        break;
    case FileManager::thunar:
        folder = m_places.thunarExtensionDir;
        break;
    case FileManager::caja:
        folder = m_places.cajaExtensionDir;
        break;
    case FileManager::dolphin:
        break;
    }
    if (folder.isEmpty())
        return {};
    return folder + QStringLiteral("/libkelo-") + programName(fileManager) + QStringLiteral(".so");
}

QString FileManagerIntegration::userFolder(FileManager fileManager) const {
    const QString relative = relativeFolder(fileManager);
    if (relative.isEmpty() || m_places.dataHome.isEmpty())
        return {};
    return m_places.dataHome + u'/' + relative;
}

FileManagerState FileManagerIntegration::state(FileManager fileManager) const {
    FileManagerState state;
    state.fileManager = fileManager;
    state.installed = !QStandardPaths::findExecutable(programName(fileManager)).isEmpty();
    const QString module = moduleFile(fileManager);
    if (!module.isEmpty())
        state.systemWide = QFileInfo(module).isFile();
    if (relativeFolder(fileManager).isEmpty())
        return state;
    state.userInstallable = true;
    state.forUser = anyMenuFileIn(userFolder(fileManager), fileManager);
    // Nemo's static actions are only ever the user's: for everyone, Nemo has the module.
    if (fileManager == FileManager::nemo)
        return state;
    for (const QString &dataDir : m_places.dataDirs) {
        // The user's own folder may also be listed among the system ones.
        if (dataDir != m_places.dataHome &&
            anyMenuFileIn(dataDir + u'/' + relativeFolder(fileManager), fileManager))
            state.systemWide = true;
    }
    return state;
}

std::optional<QString> FileManagerIntegration::installForUser(FileManager fileManager) const {
    const QString folder = userFolder(fileManager);
    if (folder.isEmpty())
        return tr("Deze bestandsbeheerder leest alleen menu’s die voor alle gebruikers zijn "
                  "geïnstalleerd.");
    if (m_places.keloFinder.isEmpty())
        return tr("Het programma kelo-finder is niet gevonden.");
    // Nemo has no escape for a literal % in a command.
    if (m_places.keloFinder.contains(u'%'))
        return tr("Het pad van kelo-finder bevat een %-teken: %1").arg(m_places.keloFinder);
    if (!QDir().mkpath(folder))
        return tr("Kan de map %1 niet maken.").arg(folder);

    QStringList written;
    const auto undo = [&written] {
        for (const QString &path : written)
            QFile::remove(path);
    };
    for (const auto &[resource, name] : menuFiles(fileManager)) {
        QFile shipped(resource);
        if (!shipped.open(QIODevice::ReadOnly)) {
            undo();
            return tr("Het menu %1 ontbreekt in Kelo.").arg(name);
        }
        const QString path = folder + u'/' + name;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            undo();
            return tr("Kan %1 niet schrijven: %2").arg(path, file.errorString());
        }
        file.write(pointedAt(shipped.readAll(), m_places.keloFinder));
        // Dolphin runs a service menu only when it is executable.
        QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ReadGroup | QFileDevice::ReadOther;
        if (fileManager == FileManager::dolphin)
            permissions |= QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        file.setPermissions(permissions);
        if (!file.commit()) {
            undo();
            return tr("Kan %1 niet schrijven: %2").arg(path, file.errorString());
        }
        written << path;
    }
    return std::nullopt;
}

std::optional<QString> FileManagerIntegration::removeForUser(FileManager fileManager) const {
    const QString folder = userFolder(fileManager);
    if (folder.isEmpty())
        return std::nullopt;
    for (const auto &[resource, name] : menuFiles(fileManager)) {
        const QString path = folder + u'/' + name;
        // unlink rather than remove: only a file of that name is ours.
        const int error = ::unlink(QFile::encodeName(path).constData()) == 0 ? 0 : errno;
        if (error != 0 && error != ENOENT)
            return tr("Kan %1 niet verwijderen: %2").arg(path, systemError(error));
    }
    return std::nullopt;
}

} // namespace kelo
