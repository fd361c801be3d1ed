#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace kelo {

// The file managers whose right-click menu Kelo can join.
enum class FileManager { nautilus, dolphin, nemo, thunar, caja };

// Where the file managers look for Kelo's menu, and the program the menu runs.
struct IntegrationPlaces {
    QString dataHome;             // $XDG_DATA_HOME, or ~/.local/share
    QStringList dataDirs;         // $XDG_DATA_DIRS, or /usr/local/share:/usr/share
    QString nautilusExtensionDir; // where Nautilus loads its extensions from
    QString keloFinder;           // absolute path of kelo-finder; empty when it is not found
    // Where the other file managers that load Kelo as a module look for it; empty by default, so
    // that places listed up to keloFinder leave them out.
    QString nemoExtensionDir{};
    QString thunarExtensionDir{};
    QString cajaExtensionDir{};

    // This user's places; kelo-finder is looked for beside the running program, then on PATH.
    static IntegrationPlaces current();
};

struct FileManagerState {
    FileManager fileManager = FileManager::nautilus;
    bool installed = false;       // the file manager's program is on PATH
    bool systemWide = false;      // Kelo's menu is there for every user
    bool forUser = false;         // Kelo's menu is in this user's own folder
    bool userInstallable = false; // the file manager reads menus from the user's folders
};

// Finds, installs and removes Kelo's menu per file manager. Nautilus, Nemo, Thunar and Caja load
// Kelo's module from their system folder, so they get the menu for everyone from the package
// alone. Dolphin, and Nemo without the module, read static menus from the user's data folder
// too, which is what installing for the user writes.
class FileManagerIntegration {
    Q_DECLARE_TR_FUNCTIONS(FileManagerIntegration)

public:
    explicit FileManagerIntegration(IntegrationPlaces places);

    static const std::vector<FileManager> &all();
    static QString programName(FileManager fileManager);

    FileManagerState state(FileManager fileManager) const;
    // Each returns the reason when it fails; an install that fails halfway leaves nothing.
    std::optional<QString> installForUser(FileManager fileManager) const;
    std::optional<QString> removeForUser(FileManager fileManager) const;

private:
    QString userFolder(FileManager fileManager) const;
    // The module the file manager loads; empty for one that loads none.
    QString moduleFile(FileManager fileManager) const;

    IntegrationPlaces m_places;
};

} // namespace kelo
