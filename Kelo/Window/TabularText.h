#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QString>

class QPainter;

namespace kelo {

// One line of text whose digits all take the width of the widest, so that counts and sizes do
// not shift as they change and line up in a column. Qt 6.4 cannot ask the font for its tabular
// figures, so each digit is drawn centred in a cell of its own.
int tabularTextWidth(const QFontMetrics &metrics, const QString &text);
// Draws `text` so, centred vertically in `rect` and against its right or left edge, in the
// painter's font and pen.
void drawTabularText(QPainter &painter, const QRect &rect, const QString &text,
                     Qt::AlignmentFlag edge = Qt::AlignRight);

} // namespace kelo
