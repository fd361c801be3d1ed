#pragma once

#include <QColor>
#include <QRectF>
#include <QSize>
#include <QString>

class QPainter;

namespace kelo {

// The date badge of a shelf row, drawn like a rubber stamp: "KELO", the day and month, the year,
// in a rounded frame that leans a little to the left.

// The upright size of the badge; the tilt is drawn over it and takes no room of its own.
QSize dateStampSize();
// Draws the badge centred in `rect` in one colour. `dayMonth` is shown in upper case.
void paintDateStamp(QPainter *painter, const QRectF &rect, const QString &dayMonth,
                    const QString &year, const QColor &color);

} // namespace kelo
