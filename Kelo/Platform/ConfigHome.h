#pragma once

#include "UserFolders.h"

#include <QDir>
#include <QFile>
#include <QString>

namespace kelo {

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
// $HOME/.config. Read at every call, not cached the way QStandardPaths and QSettings do.
inline QString userConfigHome() {
    return QDir::cleanPath(QFile::decodeName(configHome().c_str()));
}

} // namespace kelo
