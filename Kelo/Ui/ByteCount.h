#pragma once

#include <QLocale>
#include <QString>

namespace kelo {

// A file or folder size as the user reads it: decimal units ("4,2 MB" in Dutch, "4.2 MB" in
// English) with the precision adapted to the unit. Sizes below 1000 bytes are written out in
// bytes ("0 bytes", "1 byte", "999 bytes"); a negative count reads as 0.
QString byteCountText(qint64 bytes, const QLocale &locale = QLocale());

} // namespace kelo
