#include "ByteCount.h"

#include <gtest/gtest.h>

#include <limits>

// Bytes below 1000, whole kB, one decimal for MB, two above; rounding first may reach the next
// unit; negative counts read as zero; the decimal sign is the locale's.
TEST(ByteCountTest, TextsPerUnitRoundingAndLocale) {
    const QLocale nl(QLocale::Dutch, QLocale::Netherlands);
    const QLocale en(QLocale::English, QLocale::UnitedStates);
    const struct {
        qint64 bytes;
        const QLocale &locale;
        const char *text;
    } cases[] = {{1, nl, "1 byte"},
                 {std::numeric_limits<qint64>::min(), nl, "0 bytes"},
                 {1500, nl, "2 kB"},
                 {999'500, nl, "1 MB"},
                 {4'249'999, nl, "4,2 MB"},
                 {999'950'000, nl, "1 GB"},
                 {1'234'567'890, en, "1.23 GB"},
                 {std::numeric_limits<qint64>::max(), en, "9.22 EB"}};
    for (const auto &c : cases)
        EXPECT_EQ(kelo::byteCountText(c.bytes, c.locale).toStdString(), c.text) << c.bytes;
}
