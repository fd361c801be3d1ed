#pragma once

#include <QHash>
#include <QMimeDatabase>
#include <QPixmap>
#include <QString>

#include <filesystem>
#include <string>

namespace kelo {

// File icons for shelf rows, by the file's type as its name tells it: the icon theme's icon for
// the type, else the generic one, else Kelo's own document or folder symbol. Types are judged by
// the name alone, so drawing a row reads nothing from disk, except once for a name without a
// known type, to tell a folder from a file. Main thread only.
class FileIcons {
public:
    // The icon of the file at `path`, `size` points square.
    QPixmap icon(const std::filesystem::path &path, int size, qreal devicePixelRatio,
                 const QColor &symbolColor);

    // The type name the icon is chosen by: a MIME type, or "inode/directory" for a folder.
    QString typeName(const std::filesystem::path &path);

private:
    bool isFolder(const std::filesystem::path &path);

    QMimeDatabase m_mimeDatabase;
    // Bounded: cleared when full, refilled by the rows that are drawn.
    QHash<QByteArray, QString> m_typeByName;
    QHash<QByteArray, bool> m_folderByPath;
    QHash<QString, QPixmap> m_pixmapByType;
};

} // namespace kelo
