#include "FreshnessStyle.h"

#include <QCoreApplication>

namespace kelo {
namespace {

// Gives the texts here their context for translation.
struct FreshnessStyle {
    Q_DECLARE_TR_FUNCTIONS(kelo::FreshnessStyle)
};

} // namespace

QColor freshnessColor(Freshness freshness, bool dark) {
    // The desktop's red, orange and green, a shade lighter on dark backgrounds; amber is fixed.
    switch (freshness) {
    case Freshness::expired:
        return dark ? QColor(255, 69, 58) : QColor(255, 59, 48);
    case Freshness::thisWeek:
        return dark ? QColor(255, 159, 10) : QColor(255, 149, 0);
    case Freshness::thisMonth:
        return QColor::fromRgbF(0.78f, 0.60f, 0.0f, 1.0f);
    case Freshness::fresh:
        return dark ? QColor(48, 209, 88) : QColor(52, 199, 89);
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

QFrame *dividerLine(QWidget *parent) {
    auto *divider = new QFrame(parent);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setStyleSheet(QStringLiteral("color: palette(mid);"));
    return divider;
}

} // namespace kelo
