#pragma once

#include <QFont>

namespace kelo {

// The font scaled from the user's own, so that titles and footers follow the desktop's text size.
inline QFont scaledFont(const QFont &base, qreal factor, bool bold = false) {
    QFont font = base;
    font.setPointSizeF(base.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

} // namespace kelo
