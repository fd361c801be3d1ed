#include "FolderText.h"

#include <QDir>

namespace kelo {

QString displayText(const std::filesystem::path &path) {
    return QString::fromLocal8Bit(path.native());
}

QString folderText(const std::filesystem::path &folder, const std::filesystem::path &home) {
    const std::string &path = folder.native();
    std::string base = home.native();
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const bool atHome = !base.empty() && base != "/" && path.compare(0, base.size(), base) == 0 &&
                        (path.size() == base.size() || path[base.size()] == '/');
    if (!atHome)
        return displayText(folder);
    return QStringLiteral("~") + QString::fromLocal8Bit(path.substr(base.size()));
}

QString folderText(const std::filesystem::path &folder) {
    return folderText(folder, QDir::homePath().toStdString());
}

} // namespace kelo
