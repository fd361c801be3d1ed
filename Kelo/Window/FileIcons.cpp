#include "FileIcons.h"

#include "Symbols.h"

#include <QIcon>
#include <QPainter>

namespace kelo {
namespace {

constexpr qsizetype cacheLimit = 4096;
const QString folderType = QStringLiteral("inode/directory");

QByteArray bytes(const std::string &text) {
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

template <typename Value> void keepBounded(QHash<QByteArray, Value> &cache) {
    if (cache.size() >= cacheLimit)
        cache.clear();
}

} // namespace

QString FileIcons::typeName(const std::filesystem::path &path) {
    const QByteArray name = bytes(path.filename().native());
    auto found = m_typeByName.constFind(name);
    if (found == m_typeByName.constEnd()) {
        keepBounded(m_typeByName);
        const QMimeType type = m_mimeDatabase.mimeTypeForFile(QString::fromLocal8Bit(name),
                                                              QMimeDatabase::MatchExtension);
        found = m_typeByName.insert(name, type.name());
    }
    // A name the database does not know may be a folder; only then is the disk asked.
    if (*found == QLatin1String("application/octet-stream") && isFolder(path))
        return folderType;
    return *found;
}

bool FileIcons::isFolder(const std::filesystem::path &path) {
    const QByteArray key = bytes(path.native());
    auto found = m_folderByPath.constFind(key);
    if (found == m_folderByPath.constEnd()) {
        keepBounded(m_folderByPath);
        std::error_code ignored;
        found = m_folderByPath.insert(key, std::filesystem::is_directory(path, ignored));
    }
    return *found;
}

QPixmap FileIcons::icon(const std::filesystem::path &path, int size, qreal devicePixelRatio,
                        const QColor &symbolColor) {
    const QString type = typeName(path);
    const QString key = QStringLiteral("%1@%2x%3/%4")
                            .arg(type)
                            .arg(size)
                            .arg(devicePixelRatio)
                            .arg(symbolColor.rgba());
    if (const auto found = m_pixmapByType.constFind(key); found != m_pixmapByType.constEnd())
        return *found;

    const QMimeType mime = m_mimeDatabase.mimeTypeForName(type);
    QIcon themed = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
    if (themed.isNull() && type == folderType)
        themed = QIcon::fromTheme(QStringLiteral("folder"));
    QPixmap pixmap;
    if (!themed.isNull()) {
        pixmap = themed.pixmap(QSize(size, size), devicePixelRatio);
    } else {
        const bool folder = type == folderType;
        pixmap = symbolPixmap(folder ? QStringLiteral("folder") : QStringLiteral("document"), size,
                              symbolColor, devicePixelRatio);
    }
    m_pixmapByType.insert(key, pixmap);
    return pixmap;
}

} // namespace kelo
