#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

namespace kelo {

// The tray icon, drawn at run time from the bundled "tag" and "tag.fill" symbols: the outline
// alone when nothing is past its date, the filled tag with the count when something is.
// Legible from 16 to 24 pixels on light and dark panels.

// The text the icon shows for a count: empty for none, the number up to 99, "99+" above.
QString badgeText(long long expired);

// One size of the icon, at device pixel ratio 1.
QImage trayIconImage(long long expired, int size);

// Every size a panel may ask for (16, 22, 24, 32, 48 and 64 pixels).
QIcon trayIcon(long long expired);

} // namespace kelo
