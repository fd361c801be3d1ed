#pragma once

#include <QColor>
#include <QFrame>
#include <QPalette>
#include <QString>

#include "Calendar.h"
#include "Freshness.h"
#include "Term.h"

namespace kelo {

// How each freshness class looks: its colour (shared by section headers, days-left texts and
// date badges), its section title and its symbol.
QColor freshnessColor(Freshness freshness, bool dark = false);
// "Over de datum", "Deze week over de datum", "Binnen een maand", "Nog lang houdbaar".
QString sectionTitle(Freshness freshness);
// "exclamationmark.circle.fill", "clock.fill", "calendar", "leaf.fill".
QString sectionSymbol(Freshness freshness);

// The days left before a file's date, in the user's language: "nog 12 dagen", "nog 1 dag",
// "vandaag over de datum", "sinds gisteren over de datum", "3 dagen over de datum".
QString daysLeftLabel(int days);
QString daysLeftLabel(Instant expiry, Instant now, const Calendar &calendar);
// A term's name in the user's language: "1 week", "1 maand", "3 maanden", "1 jaar".
QString termLabel(Term term);

// The secondary text colour of a palette: quieter than the text, still readable.
QColor secondaryTextColor(const QPalette &palette);

// A thin horizontal line in the palette's mid colour, between a body and its footer.
QFrame *dividerLine(QWidget *parent);
// Whether a palette is a dark one.
bool isDark(const QPalette &palette);

} // namespace kelo
