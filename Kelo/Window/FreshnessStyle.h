#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

#include "Freshness.h"

namespace kelo {

// How each freshness class looks: its colour (shared by section headers, days-left texts and
// date badges), its section title and its symbol.
QColor freshnessColor(Freshness freshness, bool dark = false);
// "Over de datum", "Deze week over de datum", "Binnen een maand", "Nog lang houdbaar".
QString sectionTitle(Freshness freshness);
// "exclamationmark.circle.fill", "clock.fill", "calendar", "leaf.fill".
QString sectionSymbol(Freshness freshness);

// The secondary text colour of a palette: quieter than the text, still readable.
QColor secondaryTextColor(const QPalette &palette);
// Whether a palette is a dark one.
bool isDark(const QPalette &palette);

} // namespace kelo
