#include "DateStamp.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace kelo {
namespace {

constexpr qreal width = 64;
constexpr qreal margin = 3;
constexpr qreal letterSpacing = 1.5;
constexpr qreal borderWidth = 1.5;
constexpr qreal cornerRadius = 5;
constexpr qreal tilt = -3;

QFont monospaced(int pixelSize, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

struct Fonts {
    QFont brand;
    QFont dayMonth;
    QFont year;
};

const Fonts &fonts() {
    static const Fonts fonts = [] {
        Fonts made{monospaced(8, QFont::ExtraBold), monospaced(12, QFont::Bold),
                   monospaced(8, QFont::DemiBold)};
        made.brand.setLetterSpacing(QFont::AbsoluteSpacing, letterSpacing);
        return made;
    }();
    return fonts;
}

qreal lineHeight(const QFont &font) {
    return QFontMetricsF(font).height();
}

} // namespace

QSize dateStampSize() {
    const Fonts &f = fonts();
    const qreal height =
        margin + lineHeight(f.brand) + lineHeight(f.dayMonth) + lineHeight(f.year) + margin;
    return QSize(static_cast<int>(width), static_cast<int>(std::ceil(height)));
}

void paintDateStamp(QPainter *painter, const QRectF &rect, const QString &dayMonth,
                    const QString &year, const QColor &color) {
    const Fonts &f = fonts();
    const QSizeF size = dateStampSize();
    QRectF frame(QPointF(), size);
    frame.moveCenter(rect.center());

    painter->save();
    painter->setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter->translate(frame.center());
    painter->rotate(tilt);
    painter->translate(-frame.center());

    const qreal inset = borderWidth / 2;
    QPainterPath border;
    border.addRoundedRect(frame.adjusted(inset, inset, -inset, -inset), cornerRadius - inset,
                          cornerRadius - inset);
    painter->setPen(QPen(color, borderWidth));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(border);

    qreal top = frame.top() + margin;
    auto line = [&](const QFont &font, const QString &text, qreal shift) {
        const qreal height = lineHeight(font);
        painter->setFont(font);
        painter->drawText(QRectF(frame.left() + shift, top, frame.width(), height),
                          Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextSingleLine, text);
        top += height;
    };
    // Letter spacing follows the last letter too; half of it makes up for that in the centring.
    line(f.brand, QCoreApplication::translate("DateStamp", "KELO"), letterSpacing / 2);
    line(f.dayMonth, dayMonth.toUpper(), 0);
    line(f.year, year, 0);
    painter->restore();
}

} // namespace kelo
