#pragma once

#include <QColor>
#include <QFrame>
#include <QPalette>
#include <QRectF>
#include <QString>

#include "Calendar.h"
#include "Freshness.h"
#include "Term.h"

class QPainter;

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

// The tint under a selected row, or the row the keyboard is on: the highlight, faint.
QColor rowHighlight(const QPalette &palette);

// The ring around what has the keyboard's focus, inside `rect`, in the highlight colour.
void paintFocusRing(QPainter &painter, const QRectF &rect, const QPalette &palette);

// The contrast of text in one colour over a background, as WCAG measures it: from 1 (none) to 21
// (black on white). A translucent text counts as mixed with the background.
double contrastRatio(const QColor &text, const QColor &background);

// A thin horizontal line in the palette's mid colour, between a body and its footer.
QFrame *dividerLine(QWidget *parent);
// Whether a palette is a dark one.
bool isDark(const QPalette &palette);

} // namespace kelo
