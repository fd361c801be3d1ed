#include "TabularText.h"

#include <QPainter>

#include <algorithm>

namespace kelo {
namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int digitWidth(const QFontMetrics &metrics) {
    int widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
    return widest;
}

// Calls visit(run, digits) for each run of digits and of other characters, in order.
template <typename Visit> void forEachRun(const QString &text, Visit visit) {
    qsizetype start = 0;
    while (start < text.size()) {
        const bool digits = isDigit(text[start]);
        qsizetype end = start;
        while (end < text.size() && isDigit(text[end]) == digits)
            ++end;
        visit(text.mid(start, end - start), digits);
        start = end;
    }
}

} // namespace

int tabularTextWidth(const QFontMetrics &metrics, const QString &text) {
    const int cell = digitWidth(metrics);
    int width = 0;
    forEachRun(text, [&](const QString &run, bool digits) {
        width += digits ? cell * static_cast<int>(run.size()) : metrics.horizontalAdvance(run);
    });
    return width;
}

void drawTabularText(QPainter &painter, const QRect &rect, const QString &text,
                     Qt::AlignmentFlag edge) {
    const QFontMetrics metrics = painter.fontMetrics();
    int x =
        edge == Qt::AlignLeft ? rect.left() : rect.right() + 1 - tabularTextWidth(metrics, text);
    const int baseline = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
    const int cell = digitWidth(metrics);
    forEachRun(text, [&](const QString &run, bool digits) {
        if (!digits) {
            painter.drawText(x, baseline, run);
            x += metrics.horizontalAdvance(run);
            return;
        }
        for (const QChar digit : run) {
            painter.drawText(x + (cell - metrics.horizontalAdvance(digit)) / 2, baseline,
                             QString(digit));
            x += cell;
        }
    });
}

} // namespace kelo
