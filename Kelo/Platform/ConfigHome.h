#pragma once

#include <QDir>
#include <QString>

namespace kelo {

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
// $HOME/.config. Read at every call, not cached the way QStandardPaths and QSettings do.
inline QString userConfigHome() {
    const QString configured = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(configured))
        return QDir::cleanPath(configured);
    return QDir::cleanPath(QDir::homePath() + QStringLiteral("/.config"));
}

} // namespace kelo
