#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QString>

namespace kelo {

// The bundled symbols (":/icons/<name>.svg": "tag", "leaf.fill", "folder", ...), drawn in one
// colour at any size. The image can be drawn on any thread; the pixmap only on the GUI thread.
QImage symbolImage(const QString &name, int pixels, const QColor &color);
QPixmap symbolPixmap(const QString &name, int size, const QColor &color,
                     qreal devicePixelRatio = 1.0);
QIcon symbolIcon(const QString &name, const QColor &color);

} // namespace kelo
