#include "ByteCount.h"

#include <QCoreApplication>

namespace kelo {

// Bytes and kB are whole numbers, MB has one decimal, GB and above two. The count is rounded
// to that precision (halves away from zero) before the unit is chosen, so 999,999 bytes is
// "1 MB", never "1000 kB". Zeros at the end of the decimals are left out, as a file manager
// does: 1,000,000 bytes is "1 MB", 1,500,000 bytes "1,5 MB". Qt gives the units and the
// decimal separator of the locale.
QString byteCountText(qint64 bytes, const QLocale &locale) {
    if (bytes < 1000) {
        const qint64 count = qMax<qint64>(bytes, 0);
        return count == 1 ? QCoreApplication::translate("kelo::ByteCount", "1 byte")
                          : QCoreApplication::translate("kelo::ByteCount", "%1 bytes")
                                .arg(locale.toString(count));
    }

    int power = 1; // 1 for kB, 2 for MB, ...
    qint64 unit = 1000;
    while (power < 6 && bytes / unit >= 1000) {
        ++power;
        unit *= 1000;
    }
    for (;;) {
        const int decimals = power == 1 ? 0 : power == 2 ? 1 : 2;
        qint64 scale = 1;
        for (int i = 0; i < decimals; ++i)
            scale *= 10;
        // The count in steps of the last decimal shown, rounded.
        const qint64 step = unit / scale;
        qint64 steps = bytes / step;
        if ((bytes % step) * 2 >= step)
            ++steps;
        if (steps >= 1000 * scale && power < 6) {
            ++power;
            unit *= 1000;
            continue;
        }
        int shown = decimals;
        while (shown > 0 && steps % 10 == 0) {
            steps /= 10;
            --shown;
        }
        qint64 shownScale = 1;
        for (int i = 0; i < shown; ++i)
            shownScale *= 10;
        // Handing Qt the rounded count makes it pick this unit and print exactly these digits.
        return locale.formattedDataSize(steps * (unit / shownScale), shown,
                                        QLocale::DataSizeSIFormat);
    }
}

} // namespace kelo
