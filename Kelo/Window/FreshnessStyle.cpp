#include "FreshnessStyle.h"

namespace kelo {

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
        return QStringLiteral("Over de datum");
    case Freshness::thisWeek:
        return QStringLiteral("Deze week over de datum");
    case Freshness::thisMonth:
        return QStringLiteral("Binnen een maand");
    case Freshness::fresh:
        return QStringLiteral("Nog lang houdbaar");
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

bool isDark(const QPalette &palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondaryTextColor(const QPalette &palette) {
    QColor text = palette.color(QPalette::WindowText);
    text.setAlphaF(isDark(palette) ? 0.62f : 0.55f);
    return text;
}

} // namespace kelo
