#include "FreshnessStyle.h"

#include <QCoreApplication>
#include <QPainter>

#include <cmath>

namespace kelo {
namespace {

// Gives the texts here their context for translation.
struct FreshnessStyle {
    Q_DECLARE_TR_FUNCTIONS(kelo::FreshnessStyle)
};

} // namespace

QColor freshnessColor(Freshness freshness, bool dark) {
    // The desktop's red, orange, amber and green, each as light or as dark as it must be for
    // text in it to keep 4.5:1 against the list, a selected row's tint included.
    switch (freshness) {
    case Freshness::expired:
        return dark ? QColor(255, 103, 94) : QColor(210, 11, 0);
    case Freshness::thisWeek:
        return dark ? QColor(255, 159, 10) : QColor(152, 89, 0);
    case Freshness::thisMonth:
        return dark ? QColor(199, 153, 0) : QColor(130, 100, 0);
    case Freshness::fresh:
        return dark ? QColor(48, 209, 88) : QColor(31, 119, 53);
    }
    return {};
}

QString sectionTitle(Freshness freshness) {
    switch (freshness) {
    case Freshness::expired:
        return FreshnessStyle::tr("Over de datum");
    case Freshness::thisWeek:
        return FreshnessStyle::tr("Deze week over de datum");
    case Freshness::thisMonth:
        return FreshnessStyle::tr("Binnen een maand");
    case Freshness::fresh:
        return FreshnessStyle::tr("Nog lang houdbaar");
    }
    return {};
}

QString sectionSymbol(Freshness freshness) {
    switch (freshness) {
    case Freshness::expired:
        return QStringLiteral("exclamationmark.circle.fill");
    case Freshness::thisWeek:
        return QStringLiteral("clock.fill");
    case Freshness::thisMonth:
        return QStringLiteral("calendar");
    case Freshness::fresh:
        return QStringLiteral("leaf.fill");
    }
    return {};
}

QString daysLeftLabel(int days) {
    if (days >= 2)
        return FreshnessStyle::tr("nog %1 dagen").arg(days);
    if (days == 1)
        return FreshnessStyle::tr("nog 1 dag");
    if (days == 0)
        return FreshnessStyle::tr("vandaag over de datum");
    if (days == -1)
        return FreshnessStyle::tr("sinds gisteren over de datum");
    // Widened so that the most negative int still negates.
    return FreshnessStyle::tr("%1 dagen over de datum").arg(-static_cast<long long>(days));
}

QString daysLeftLabel(Instant expiry, Instant now, const Calendar &calendar) {
    return daysLeftLabel(daysLeft(expiry, now, calendar));
}

QString termLabel(Term term) {
    switch (term) {
    case Term::week:
        return FreshnessStyle::tr("1 week");
    case Term::month:
        return FreshnessStyle::tr("1 maand");
    case Term::threeMonths:
        return FreshnessStyle::tr("3 maanden");
    case Term::year:
        return FreshnessStyle::tr("1 jaar");
    }
    return {};
}

bool isDark(const QPalette &palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondaryTextColor(const QPalette &palette) {
    QColor text = palette.color(QPalette::WindowText);
    text.setAlphaF(isDark(palette) ? 0.62f : 0.55f);
    return text;
}

QColor rowHighlight(const QPalette &palette) {
    QColor highlight = palette.color(QPalette::Highlight);
    highlight.setAlphaF(0.18f);
    return highlight;
}

void paintFocusRing(QPainter &painter, const QRectF &rect, const QPalette &palette) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette.color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(rect.adjusted(1, 1, -1, -1), 5, 5);
    painter.restore();
}

namespace {

double relativeLuminance(const QColor &color) {
    const auto channel = [](float value) {
        const double c = value;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) +
           0.0722 * channel(color.blueF());
}

} // namespace

double contrastRatio(const QColor &text, const QColor &background) {
    // A translucent text is seen mixed with what is under it.
    const float alpha = text.alphaF();
    const auto mix = [alpha](float front, float back) {
        return front * alpha + back * (1 - alpha);
    };
    const QColor seen = QColor::fromRgbF(mix(text.redF(), background.redF()),
                                         mix(text.greenF(), background.greenF()),
                                         mix(text.blueF(), background.blueF()));
    const double a = relativeLuminance(seen) + 0.05;
    const double b = relativeLuminance(background) + 0.05;
    return a > b ? a / b : b / a;
}

QFrame *dividerLine(QWidget *parent) {
    auto *divider = new QFrame(parent);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet(QStringLiteral("color: palette(mid);"));
    return divider;
}

} // namespace kelo
