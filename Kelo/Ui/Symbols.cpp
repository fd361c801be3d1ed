#include "Symbols.h"

#include "Resources.h"

#include <QPainter>
#include <QSvgRenderer>

namespace kelo {

QImage symbolImage(const QString &name, int pixels, const QColor &color) {
    initKeloResources();
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/icons/%1.svg").arg(name));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
    // The symbols are drawn in black: keep their shape, take the colour.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

QPixmap symbolPixmap(const QString &name, int size, const QColor &color, qreal devicePixelRatio) {
    QPixmap pixmap =
        QPixmap::fromImage(symbolImage(name, qMax(1, qRound(size * devicePixelRatio)), color));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon symbolIcon(const QString &name, const QColor &color) {
    QIcon icon;
    for (int size : {16, 20, 24, 32, 44, 64})
        icon.addPixmap(symbolPixmap(name, size, color));
    return icon;
}

} // namespace kelo
