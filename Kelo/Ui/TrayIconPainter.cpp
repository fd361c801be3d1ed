#include "TrayIconPainter.h"

#include "Symbols.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPixmap>
#include <QRectF>

#include <algorithm>
#include <array>
#include <cmath>

namespace kelo {

namespace {

// Nothing expired: a grey with a contrast ratio of 3.7:1 against a white panel and 4.4:1
// against a near-black one, so the outline reads on either.
constexpr QRgb idleColour = qRgb(0x84, 0x84, 0x84);
// Something expired: deep orange, which keeps white digits legible (about 4.4:1) and still
// stands out on a dark panel.
constexpr QRgb accentColour = qRgb(0xd8, 0x43, 0x15);
constexpr QRgb countColour = qRgb(0xff, 0xff, 0xff);

// The symbols are drawn on a 24-unit grid. The tag points left with its hole near the tip;
// this is the part of its body, right of the hole, that the count is centred in.
constexpr double symbolGrid = 24.0;
constexpr QRectF countArea{7.5, 4.9, 14.6, 14.2};
// Digits taller than this share of the icon look cramped against the tag's edges.
constexpr double tallestDigits = 0.5;
constexpr int countStretch = QFont::Condensed;

constexpr std::array traySizes{16, 22, 24, 32, 48, 64};

QFont countFont() {
    QFont font;
    font.setWeight(QFont::Bold);
    // Narrower digits where the family has them: two digits have little room at 16 pixels.
    font.setStretch(countStretch);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// The "+" after "99": a cross about half as tall as the digits, with arms as thick as the
// digits' strokes, drawn on whole pixels so it stays crisp where a font's "+" would blur.
struct Plus {
    int span = 0;
    int thickness = 0;
};

Plus plusFor(double digitHeight) {
    Plus plus;
    plus.thickness = std::max(1, static_cast<int>(std::lround(digitHeight / 6)));
    plus.span = std::max(3, static_cast<int>(std::lround(digitHeight * 0.55)));
    // Arms centred on the cross need a span of the same parity as their thickness.
    if ((plus.span - plus.thickness) % 2 != 0) {
        --plus.span;
    }
    return plus;
}

// The count in white, as large as fits the tag's body. Above 99 the "+" is drawn smaller and
// raised beside the digits, so that they keep as much of the room as possible.
void paintCount(QImage &image, const QString &text) {
    constexpr int smallestPixelSize = 5;

    const double scale = image.width() / symbolGrid;
    const QRectF box(countArea.x() * scale, countArea.y() * scale, countArea.width() * scale,
                     countArea.height() * scale);
    const double tallest = std::min(box.height(), tallestDigits * image.height());

    QString digits = text;
    const bool more = digits.endsWith(QLatin1Char('+'));
    if (more) {
        digits.chop(1);
    }

    QFont font = countFont();
    QRectF ink;
    Plus plus;
    int gap = 0;
    double width = 0;
    for (int pixelSize = static_cast<int>(std::ceil(tallest * 2)); pixelSize >= smallestPixelSize;
         --pixelSize) {
        font.setPixelSize(pixelSize);
        ink = QFontMetricsF(font).tightBoundingRect(digits);
        width = ink.width();
        if (more) {
            plus = plusFor(ink.height());
            gap = std::max(1, static_cast<int>(std::lround(ink.height() / 8)));
            width += gap + plus.span;
        }
        if (width <= box.width() && ink.height() <= tallest) {
            break;
        }
    }

    // Centre the ink, not the line box, and keep the baseline on whole pixels so the stems stay
    // crisp at small sizes.
    const QPointF baseline(std::round(box.center().x() - width / 2 - ink.left()),
                           std::round(box.center().y() - ink.center().y()));

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(QColor(countColour));
    painter.setFont(font);
    painter.drawText(baseline, digits);
    if (more) {
        const int left = static_cast<int>(std::lround(baseline.x() + ink.right())) + gap;
        const int top = static_cast<int>(std::lround(baseline.y() + ink.top()));
        const int inset = (plus.span - plus.thickness) / 2;
        painter.fillRect(left, top + inset, plus.span, plus.thickness, QColor(countColour));
        painter.fillRect(left + inset, top, plus.thickness, plus.span, QColor(countColour));
    }
}

} // namespace

QString badgeText(long long expired) {
    constexpr long long mostShown = 99;
    if (expired <= 0) {
        return {};
    }
    if (expired > mostShown) {
        return QStringLiteral("99+");
    }
    return QString::number(expired);
}

QImage trayIconImage(long long expired, int size) {
    if (size <= 0) {
        return {};
    }
    const QString text = badgeText(expired);
    if (text.isEmpty()) {
        return symbolImage(QStringLiteral("tag"), size, QColor(idleColour));
    }
    QImage image = symbolImage(QStringLiteral("tag.fill"), size, QColor(accentColour));
    paintCount(image, text);
    return image;
}

QIcon trayIcon(long long expired) {
    QIcon icon;
    for (const int size : traySizes) {
        icon.addPixmap(QPixmap::fromImage(trayIconImage(expired, size)));
    }
    return icon;
}

} // namespace kelo
